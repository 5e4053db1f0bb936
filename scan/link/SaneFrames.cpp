#include "scan/link/SaneFrames.h"

#include "scan/ScanPlatform.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include <sys/mman.h>

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

[[noreturn]] void Incomplete(long long received, int announced) {
    throw EPlatformError("Image incomplète: " + std::to_string(received) + " lignes reçues sur " +
                         std::to_string(announced));
}

int LinesIn(const Frame& f) {
    if (f.bytesPerLine <= 0)
        throw EPlatformError("Paramètres d'image invalides");
    const auto available = static_cast<long long>(f.data.size()) / f.bytesPerLine;
    if (f.lines < 0)
        return static_cast<int>(available);
    if (available < f.lines)
        Incomplete(available, f.lines);
    return f.lines;
}

void CheckRow(const Frame& f, int samplesPerPixel) {
    if (f.depth != 1 && f.depth != 8 && f.depth != 16)
        throw EPlatformError("Profondeur d'image non prise en charge: " + std::to_string(f.depth));
    if (f.pixelsPerLine <= 0 || f.bytesPerLine <= 0)
        throw EPlatformError("Paramètres d'image invalides");
    const long long bits = static_cast<long long>(f.pixelsPerLine) * samplesPerPixel * f.depth;
    if ((bits + 7) / 8 > f.bytesPerLine)
        throw EPlatformError("Paramètres d'image invalides");
}

int DotsPerMetre(int dpi) {
    return static_cast<int>((dpi > 0 ? dpi : 72) / 0.0254 + 0.5);
}

// A page's rows are touched once each as they arrive, and where the first touch of memory is
// slow (virtual machines) the faults of small pages cost as much as the reading: the picture's
// memory asks for large pages. A hint only; the system may ignore it.
void PreferLargePages([[maybe_unused]] QImage& picture) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kLarge = 2 * 1024 * 1024;
    const auto begin = reinterpret_cast<std::uintptr_t>(picture.bits());
    const std::uintptr_t end = begin + static_cast<std::uintptr_t>(picture.sizeInBytes());
    const std::uintptr_t first = (begin + kLarge - 1) & ~(kLarge - 1);
    const std::uintptr_t last = end & ~(kLarge - 1);
    if (first < last)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

// An empty picture of the kind a scan gives; raises when it does not fit in memory.
QImage NewPicture(int width, int height, bool grey, int dpi) {
    if (height < 1)
        throw EPlatformError("Aucune image reçue");
    QImage picture(width, height, grey ? QImage::Format_Indexed8 : QImage::Format_RGB888);
    if (picture.isNull())
        throw EPlatformError("Image trop grande");
    PreferLargePages(picture);
    if (grey) {
        QList<QRgb> palette(256);
        for (int i = 0; i < 256; ++i)
            palette[i] = qRgb(i, i, i);
        picture.setColorTable(palette);
    }
    picture.setDotsPerMeterX(DotsPerMetre(dpi));
    picture.setDotsPerMeterY(DotsPerMetre(dpi));
    return picture;
}

bool SinglePass(FrameFormat f) {
    return f == FrameFormat::Gray || f == FrameFormat::Rgb;
}

} // namespace

QImage ImageFromFrames(const std::vector<Frame>& frames, int dpi) {
    if (frames.empty())
        throw EPlatformError("Aucune image reçue");
    const Frame& first = frames.front();
    if (SinglePass(first.format)) {
        if (frames.size() != 1)
            throw EPlatformError("Trames d'image inattendues");
        const bool grey = first.format == FrameFormat::Gray;
        const int spp = grey ? 1 : 3;
        CheckRow(first, spp);
        QImage picture = NewPicture(first.pixelsPerLine, LinesIn(first), grey, dpi);
        const int samples = picture.width() * spp;
        for (int y = 0; y < picture.height(); ++y) {
            const std::uint8_t* row =
                first.data.data() + static_cast<std::size_t>(y) * first.bytesPerLine;
            std::uint8_t* out = picture.scanLine(y);
            if (first.depth == 8) {
                std::memcpy(out, row, static_cast<std::size_t>(samples));
                continue;
            }
            for (int i = 0; i < samples; ++i)
                out[i] = Sample(row, i, first.depth, grey);
        }
        return picture;
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
    const int width = planes[0]->pixelsPerLine;
    const int height = LinesIn(*planes[0]);
    for (const Frame* p : planes)
        if (p->pixelsPerLine != width || LinesIn(*p) != height)
            throw EPlatformError("Trames d'image de tailles différentes");
    QImage picture = NewPicture(width, height, false, dpi);
    for (int c = 0; c < 3; ++c) {
        const Frame& f = *planes[c];
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* row = f.data.data() + static_cast<std::size_t>(y) * f.bytesPerLine;
            std::uint8_t* out = picture.scanLine(y) + c;
            for (int x = 0; x < width; ++x, out += 3)
                *out = Sample(row, x, f.depth, false);
        }
    }
    return picture;
}

// ---- Assembler ---------------------------------------------------------------------------

void FrameAssembler::BeginFrame(const Frame& parameters) {
    if (directDone_)
        throw EPlatformError("Trames d'image inattendues");
    direct_ = frames_.empty() && SinglePass(parameters.format) && parameters.depth == 8 &&
              parameters.lines > 0;
    if (!direct_) {
        frames_.push_back(parameters);
        frames_.back().data.clear();
        return;
    }
    const bool grey = parameters.format == FrameFormat::Gray;
    CheckRow(parameters, grey ? 1 : 3);
    picture_ = NewPicture(parameters.pixelsPerLine, parameters.lines, grey, dpi_);
    rowBytes_ = static_cast<std::size_t>(parameters.pixelsPerLine) * (grey ? 1 : 3);
    lineBytes_ = static_cast<std::size_t>(parameters.bytesPerLine);
    row_ = 0;
    column_ = 0;
}

void FrameAssembler::Append(const std::uint8_t* bytes, std::size_t size) {
    if (!direct_) {
        if (frames_.empty())
            throw EPlatformError("Paramètres d'image invalides");
        frames_.back().data.insert(frames_.back().data.end(), bytes, bytes + size);
        return;
    }
    const int lines = picture_.height();
    while (size > 0 && row_ < lines) {
        const std::size_t take = std::min(size, lineBytes_ - column_);
        if (column_ < rowBytes_)
            std::memcpy(picture_.scanLine(row_) + column_, bytes,
                        std::min(take, rowBytes_ - column_));
        column_ += take;
        bytes += take;
        size -= take;
        if (column_ == lineBytes_) {
            column_ = 0;
            ++row_;
        }
    }
    // Bytes past the announced lines are not part of the picture.
}

void FrameAssembler::EndFrame() {
    if (!direct_)
        return;
    direct_ = false;
    directDone_ = true;
    if (row_ == 0) {
        const int announced = picture_.height();
        picture_ = QImage();
        Incomplete(row_, announced);
    }
    if (row_ < picture_.height()) {
        // The first rows of the same block: nothing is copied. The pointer is taken before the
        // block gains its second owner, or asking for it would copy the block.
        uchar* bits = picture_.bits();
        auto* owner = new QImage(picture_);
        QImage rows(
            bits, picture_.width(), row_, picture_.bytesPerLine(), picture_.format(),
            [](void* p) { delete static_cast<QImage*>(p); }, owner);
        rows.setColorTable(picture_.colorTable());
        rows.setDotsPerMeterX(picture_.dotsPerMeterX());
        rows.setDotsPerMeterY(picture_.dotsPerMeterY());
        picture_ = rows;
    }
}

QImage FrameAssembler::Finish() {
    if (direct_)
        EndFrame();
    QImage picture;
    if (directDone_) {
        picture = std::move(picture_);
    } else {
        picture = ImageFromFrames(frames_, dpi_);
        frames_.clear();
    }
    if (dpiY_ > 0)
        picture.setDotsPerMeterY(DotsPerMetre(dpiY_));
    return picture;
}

// ---- BMP ---------------------------------------------------------------------------------

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

std::vector<std::uint8_t> EncodeBmp(const QImage& source) {
    const bool grey = source.format() == QImage::Format_Indexed8;
    const QImage image = grey ? source : source.convertToFormat(QImage::Format_RGB888);
    const int bpp = grey ? 8 : 24;
    const std::size_t stride =
        ((static_cast<std::size_t>(image.width()) * bpp / 8) + 3) & ~std::size_t(3);
    const std::size_t paletteSize = grey ? 256 * 4 : 0;
    const std::size_t offset = 14 + 40 + paletteSize;
    const std::size_t imageSize = stride * static_cast<std::size_t>(image.height());
    if (offset + imageSize > 0xffffffffu)
        throw EPlatformError("Image trop grande");
    std::vector<std::uint8_t> b(offset + imageSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    Put32(b, 10, static_cast<std::uint32_t>(offset));
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<std::uint32_t>(image.width()));
    Put32(b, 22, static_cast<std::uint32_t>(image.height()));
    Put16(b, 26, 1);
    Put16(b, 28, static_cast<std::uint16_t>(bpp));
    Put32(b, 30, 0); // uncompressed
    Put32(b, 34, static_cast<std::uint32_t>(imageSize));
    Put32(b, 38, static_cast<std::uint32_t>(std::max(image.dotsPerMeterX(), 0)));
    Put32(b, 42, static_cast<std::uint32_t>(std::max(image.dotsPerMeterY(), 0)));
    if (grey) {
        Put32(b, 46, 256);
        Put32(b, 50, 256);
        const QList<QRgb> palette = image.colorTable();
        for (int i = 0; i < 256; ++i) {
            const QRgb c = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
            const std::size_t at = 54 + static_cast<std::size_t>(i) * 4;
            b[at] = static_cast<std::uint8_t>(qBlue(c));
            b[at + 1] = static_cast<std::uint8_t>(qGreen(c));
            b[at + 2] = static_cast<std::uint8_t>(qRed(c));
        }
    }
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t* src = image.constScanLine(y);
        std::uint8_t* dst =
            b.data() + offset + static_cast<std::size_t>(image.height() - 1 - y) * stride;
        if (grey) {
            std::memcpy(dst, src, static_cast<std::size_t>(image.width()));
        } else {
            for (int x = 0; x < image.width(); ++x, src += 3, dst += 3) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
            }
        }
    }
    return b;
}

namespace {

class BmpPictureFile : public IImageFile {
public:
    explicit BmpPictureFile(QImage picture) : picture_(std::move(picture)) {}
    std::string FormatID() override { return wia::ImgFmt_BMP; }
    std::vector<std::uint8_t> FileData() override { return EncodeBmp(picture_); }
    void SaveFile(const std::string& fileName) override {
        const std::vector<std::uint8_t> bytes = EncodeBmp(picture_);
        std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out)
            throw EPlatformError("Impossible d'écrire le fichier " + fileName);
    }
    QImage Picture() override { return picture_; }

private:
    QImage picture_;
};

} // namespace

std::unique_ptr<IImageFile> PictureFile(QImage picture) {
    return std::make_unique<BmpPictureFile>(std::move(picture));
}

} // namespace velorix::scan::sane
