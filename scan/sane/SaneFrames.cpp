#include "SaneFrames.h"

#include "../ScanPlatform.h"

#include <cstring>
#include <string>

namespace velorix::scan::sane {

namespace {

// Sample x of a row, reduced to 8 bits. In 1-bit data a set bit is black for grey and full
// intensity for a colour channel.
std::uint8_t Sample(const std::uint8_t* row, int index, int depth, bool oneIsBlack) {
    switch (depth) {
    case 1: {
        const bool bit = (row[index / 8] >> (7 - index % 8)) & 1;
        return (bit != oneIsBlack) ? 255 : 0;
    }
    case 16: {
        std::uint16_t v;
        std::memcpy(&v, row + 2 * index, 2);
        return static_cast<std::uint8_t>(v >> 8);
    }
    default:
        return row[index];
    }
}

int LinesIn(const Frame& f) {
    if (f.bytesPerLine <= 0)
        throw EPlatformError("Paramètres d'image invalides");
    const auto available = static_cast<long long>(f.data.size()) / f.bytesPerLine;
    if (f.lines < 0)
        return static_cast<int>(available);
    if (available < f.lines)
        throw EPlatformError("Image incomplète: " + std::to_string(available) +
                             " lignes reçues sur " + std::to_string(f.lines));
    return f.lines;
}

void CheckRow(const Frame& f, int samplesPerPixel) {
    if (f.depth != 1 && f.depth != 8 && f.depth != 16)
        throw EPlatformError("Profondeur d'image non prise en charge: " + std::to_string(f.depth));
    if (f.pixelsPerLine <= 0)
        throw EPlatformError("Paramètres d'image invalides");
    const long long bits = static_cast<long long>(f.pixelsPerLine) * samplesPerPixel * f.depth;
    if ((bits + 7) / 8 > f.bytesPerLine)
        throw EPlatformError("Paramètres d'image invalides");
}

} // namespace

ScannedImage ImageFromFrames(const std::vector<Frame>& frames) {
    if (frames.empty())
        throw EPlatformError("Aucune image reçue");
    ScannedImage img;
    const Frame& first = frames.front();
    if (first.format == FrameFormat::Gray || first.format == FrameFormat::Rgb) {
        if (frames.size() != 1)
            throw EPlatformError("Trames d'image inattendues");
        const bool grey = first.format == FrameFormat::Gray;
        const int spp = grey ? 1 : 3;
        CheckRow(first, spp);
        img.width = first.pixelsPerLine;
        img.height = LinesIn(first);
        img.grey = grey;
        img.pixels.resize(static_cast<std::size_t>(img.width) * img.height * spp);
        std::uint8_t* out = img.pixels.data();
        for (int y = 0; y < img.height; ++y) {
            const std::uint8_t* row =
                first.data.data() + static_cast<std::size_t>(y) * first.bytesPerLine;
            for (int i = 0; i < img.width * spp; ++i)
                *out++ = Sample(row, i, first.depth, grey);
        }
        return img;
    }
    // Three-pass colour: one plane per channel, in any order.
    const Frame* planes[3] = {nullptr, nullptr, nullptr};
    for (const Frame& f : frames) {
        int c = f.format == FrameFormat::Red     ? 0
                : f.format == FrameFormat::Green ? 1
                : f.format == FrameFormat::Blue  ? 2
                                                 : -1;
        if (c < 0 || planes[c])
            throw EPlatformError("Trames d'image inattendues");
        planes[c] = &f;
    }
    if (!planes[0] || !planes[1] || !planes[2])
        throw EPlatformError("Trames d'image incomplètes");
    for (const Frame* p : planes)
        CheckRow(*p, 1);
    img.width = planes[0]->pixelsPerLine;
    img.height = LinesIn(*planes[0]);
    for (const Frame* p : planes)
        if (p->pixelsPerLine != img.width || LinesIn(*p) != img.height)
            throw EPlatformError("Trames d'image de tailles différentes");
    img.grey = false;
    img.pixels.resize(static_cast<std::size_t>(img.width) * img.height * 3);
    for (int c = 0; c < 3; ++c) {
        const Frame& f = *planes[c];
        for (int y = 0; y < img.height; ++y) {
            const std::uint8_t* row = f.data.data() + static_cast<std::size_t>(y) * f.bytesPerLine;
            std::uint8_t* out =
                img.pixels.data() + (static_cast<std::size_t>(y) * img.width) * 3 + c;
            for (int x = 0; x < img.width; ++x, out += 3)
                *out = Sample(row, x, f.depth, false);
        }
    }
    return img;
}

namespace {
void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = v & 0xff;
    b[at + 1] = v >> 8;
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = (v >> (8 * i)) & 0xff;
}
} // namespace

std::vector<std::uint8_t> EncodeBmp(const ScannedImage& image, int dpi) {
    const int bpp = image.grey ? 8 : 24;
    const std::size_t stride =
        ((static_cast<std::size_t>(image.width) * bpp / 8) + 3) & ~std::size_t(3);
    const std::size_t paletteSize = image.grey ? 256 * 4 : 0;
    const std::size_t offset = 14 + 40 + paletteSize;
    const std::size_t imageSize = stride * image.height;
    if (offset + imageSize > 0xffffffffu)
        throw EPlatformError("Image trop grande");
    std::vector<std::uint8_t> b(offset + imageSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    Put32(b, 10, static_cast<std::uint32_t>(offset));
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<std::uint32_t>(image.width));
    Put32(b, 22, static_cast<std::uint32_t>(image.height));
    Put16(b, 26, 1);
    Put16(b, 28, static_cast<std::uint16_t>(bpp));
    Put32(b, 30, 0); // uncompressed
    Put32(b, 34, static_cast<std::uint32_t>(imageSize));
    const auto ppm = static_cast<std::uint32_t>((dpi > 0 ? dpi : 72) / 0.0254 + 0.5);
    Put32(b, 38, ppm);
    Put32(b, 42, ppm);
    if (image.grey) {
        Put32(b, 46, 256);
        Put32(b, 50, 256);
        for (int i = 0; i < 256; ++i) {
            const std::size_t at = 54 + static_cast<std::size_t>(i) * 4;
            b[at] = b[at + 1] = b[at + 2] = static_cast<std::uint8_t>(i);
        }
    }
    const int spp = image.grey ? 1 : 3;
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* src =
            image.pixels.data() + static_cast<std::size_t>(y) * image.width * spp;
        std::uint8_t* dst =
            b.data() + offset + static_cast<std::size_t>(image.height - 1 - y) * stride;
        if (image.grey) {
            std::memcpy(dst, src, static_cast<std::size_t>(image.width));
        } else {
            for (int x = 0; x < image.width; ++x, src += 3, dst += 3) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
            }
        }
    }
    return b;
}

} // namespace velorix::scan::sane
