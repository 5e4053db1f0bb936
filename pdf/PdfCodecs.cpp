#include "pdf/PdfCodecs.h"

#include "pdf/PdfErrors.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <tiffio.h>

namespace pdfcodec {

namespace {

// The tables of the JPEG standard (its annex K), in natural order as libjpeg takes them.
constexpr int kLumaTable[DCTSIZE2] = {16,  11,  10,  16,  24, 40, 51,  61,  12,  12,  14,  19,  26,
                                      58,  60,  55,  14,  13, 16, 24,  40,  57,  69,  56,  14,  17,
                                      22,  29,  51,  87,  80, 62, 18,  22,  37,  56,  68,  109, 103,
                                      77,  24,  35,  55,  64, 81, 104, 113, 92,  49,  64,  78,  87,
                                      103, 121, 120, 101, 72, 92, 95,  98,  112, 100, 103, 99};
constexpr int kChromaTable[DCTSIZE2] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegFail(j_common_ptr cinfo) {
    auto* error = reinterpret_cast<JpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

void JpegQuiet(j_common_ptr, int) {}

// Only plain C objects live here, so that libjpeg's jump out of a failure skips no destructor.
// The result is malloc'ed by libjpeg (free it), or null with message filled.
unsigned char* CompressJpeg(const unsigned char* pixels, int width, int height, int components,
                            std::size_t stride, const TJpegOptions& options, unsigned long* size,
                            char* message) {
    jpeg_compress_struct cinfo;
    JpegError error;
    unsigned char* volatile out = nullptr;
    unsigned long outSize = 0;
    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegFail;
    error.manager.emit_message = JpegQuiet;
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_compress(&cinfo);
        std::free(out);
        std::strncpy(message, error.message, JMSG_LENGTH_MAX);
        return nullptr;
    }
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    jpeg_mem_dest(&cinfo, &buffer, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    const int quality = std::clamp(options.quality, 1, 100);
    const int chromaQuality =
        options.chromaQuality > 0 ? std::clamp(options.chromaQuality, 1, 100) : quality;
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (options.maxLumaStep > 0 || chromaQuality != quality) {
        // The standard tables weigh the fine detail of brightness as hardly visible; on text its
        // edges are what the eye reads, and a cap on their steps keeps them at little cost.
        unsigned int luma[DCTSIZE2];
        unsigned int chroma[DCTSIZE2];
        const int lumaScale = jpeg_quality_scaling(quality);
        const int chromaScale = jpeg_quality_scaling(chromaQuality);
        for (int i = 0; i < DCTSIZE2; ++i) {
            int step = std::clamp((kLumaTable[i] * lumaScale + 50) / 100, 1, 255);
            if (options.maxLumaStep > 0) {
                step = std::min(step, options.maxLumaStep);
            }
            luma[i] = static_cast<unsigned int>(step);
            chroma[i] = static_cast<unsigned int>(
                std::clamp((kChromaTable[i] * chromaScale + 50) / 100, 1, 255));
        }
        jpeg_add_quant_table(&cinfo, 0, luma, 100, TRUE);
        jpeg_add_quant_table(&cinfo, 1, chroma, 100, TRUE);
    }
    // The exact integer transform: the same bytes on every machine.
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.optimize_coding = TRUE;
    cinfo.write_JFIF_header = TRUE;
    if (components == 3) {
        const int h = options.subsample ? 2 : 1;
        cinfo.comp_info[0].h_samp_factor = h;
        cinfo.comp_info[0].v_samp_factor = h;
        for (int c = 1; c < 3; ++c) {
            cinfo.comp_info[c].h_samp_factor = 1;
            cinfo.comp_info[c].v_samp_factor = 1;
        }
    }
    if (options.progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(pixels + static_cast<std::size_t>(cinfo.next_scanline) * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    out = buffer;
    jpeg_destroy_compress(&cinfo);
    *size = outSize;
    return out;
}

// A TIFF file in memory, for libtiff's client procedures.
struct MemoryFile {
    std::vector<unsigned char> bytes;
    std::size_t position = 0;
    std::string error;
};

tmsize_t MemoryRead(thandle_t handle, void* data, tmsize_t size) {
    auto* file = static_cast<MemoryFile*>(handle);
    const std::size_t n =
        std::min(static_cast<std::size_t>(size),
                 file->bytes.size() - std::min(file->position, file->bytes.size()));
    if (n > 0) {
        std::memcpy(data, file->bytes.data() + file->position, n);
    }
    file->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t MemoryWrite(thandle_t handle, void* data, tmsize_t size) {
    auto* file = static_cast<MemoryFile*>(handle);
    const auto n = static_cast<std::size_t>(size);
    if (file->position + n > file->bytes.size()) {
        file->bytes.resize(file->position + n);
    }
    std::memcpy(file->bytes.data() + file->position, data, n);
    file->position += n;
    return size;
}

toff_t MemorySeek(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(handle);
    const std::size_t base = whence == SEEK_CUR   ? file->position
                             : whence == SEEK_END ? file->bytes.size()
                                                  : 0;
    file->position = base + static_cast<std::size_t>(offset);
    return static_cast<toff_t>(file->position);
}

int MemoryClose(thandle_t) {
    return 0;
}

toff_t MemorySize(thandle_t handle) {
    return static_cast<MemoryFile*>(handle)->bytes.size();
}

int MemoryMap(thandle_t, void**, toff_t*) {
    return 0;
}

void MemoryUnmap(thandle_t, void*, toff_t) {}

int TiffError(TIFF*, void* user, const char*, const char* format, va_list args) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    auto* file = static_cast<MemoryFile*>(user);
    if (file->error.empty()) {
        file->error = text;
    }
    return 1;
}

int TiffQuiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// libtiff's handlers are per file here: the image engine's own ones stay untouched.
TIFF* OpenMemory(MemoryFile& file, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        throw EPdfException("EncodeGroup4 --out of memory.");
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, TiffError, &file);
    TIFFOpenOptionsSetWarningHandlerExtR(options, TiffQuiet, &file);
    TIFF* tiff = TIFFClientOpenExt("mask", mode, &file, MemoryRead, MemoryWrite, MemorySeek,
                                   MemoryClose, MemorySize, MemoryMap, MemoryUnmap, options);
    TIFFOpenOptionsFree(options);
    if (tiff == nullptr) {
        throw EPdfException("EncodeGroup4 --" + file.error);
    }
    return tiff;
}

} // namespace

std::string EncodeJpeg(const unsigned char* pixels, int width, int height, int components,
                       std::size_t stride, const TJpegOptions& options) {
    if (width <= 0 || height <= 0 || width > 65500 || height > 65500 ||
        (components != 1 && components != 3)) {
        throw EPdfException("EncodeJpeg --invalid picture size.");
    }
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX] = {};
    unsigned char* out =
        CompressJpeg(pixels, width, height, components, stride, options, &size, message);
    if (out == nullptr) {
        throw EPdfException(std::string("EncodeJpeg --") + message);
    }
    std::string bytes(reinterpret_cast<const char*>(out), size);
    std::free(out);
    return bytes;
}

std::string EncodeGroup4(const unsigned char* bits, int width, int height, std::size_t stride) {
    if (width <= 0 || height <= 0) {
        throw EPdfException("EncodeGroup4 --invalid picture size.");
    }
    MemoryFile file;
    TIFF* tiff = OpenMemory(file, "w");
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width)) &&
              TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height)) &&
              TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1) &&
              TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1) &&
              TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4) &&
              TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) &&
              TIFFSetField(tiff, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) &&
              TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(height));
    for (int y = 0; ok && y < height; ++y) {
        ok = TIFFWriteScanline(tiff, const_cast<unsigned char*>(bits + stride * std::size_t(y)),
                               static_cast<std::uint32_t>(y), 0) == 1;
    }
    ok = ok && TIFFWriteDirectory(tiff);
    TIFFClose(tiff);
    if (!ok) {
        throw EPdfException("EncodeGroup4 --" + file.error);
    }
    // The strip's raw bytes are the Group 4 data itself.
    file.position = 0;
    tiff = OpenMemory(file, "r");
    std::string data;
    std::uint64_t* counts = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_STRIPBYTECOUNTS, &counts) && counts != nullptr) {
        data.resize(static_cast<std::size_t>(counts[0]));
        if (TIFFReadRawStrip(tiff, 0, data.data(), static_cast<tmsize_t>(data.size())) !=
            static_cast<tmsize_t>(data.size())) {
            data.clear();
        }
    }
    TIFFClose(tiff);
    if (data.empty()) {
        throw EPdfException("EncodeGroup4 --the strip cannot be read back.");
    }
    return data;
}

} // namespace pdfcodec
