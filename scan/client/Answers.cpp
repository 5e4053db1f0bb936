#include "scan/client/Answers.h"

#include "scan/ScanPlatform.h"

#include <limits>

namespace velorix::scan::worker {

namespace {

[[noreturn]] void Invalid() {
    throw EPlatformError("Réponse invalide du module des scanners");
}
[[noreturn]] void BadPicture() {
    throw EPlatformError("Image scannée invalide");
}

// A page side longer than this (17 m at 600 dpi) is no scan.
constexpr long long kMaxSide = 400000;
// Dots per metre: 1,000,000 is 25,400 dpi.
constexpr long long kMaxDotsPerMetre = 1000000;

} // namespace

Table TableFrom(const Fields& args) {
    if (args.size() % 5 != 0)
        Invalid();
    Table table;
    for (std::size_t i = 0; i + 4 < args.size(); i += 5) {
        const std::string& kind = args[i + 2];
        if ((args[i] != "device" && args[i] != "item") ||
            (kind != "i" && kind != "s" && kind != "n" && kind != "e"))
            Invalid();
        table[{args[i], args[i + 1]}] = Known{kind, args[i + 3], args[i + 4] == "1"};
    }
    return table;
}

std::optional<Listed> DeviceFrom(const Fields& args) {
    if (args.size() != 4 || args[0].empty())
        return std::nullopt;
    return Listed{args[0], args[1], args[2], args[3], {}};
}

std::size_t BlockSizeFrom(const Fields& args) {
    const auto size = args.size() == 2
                          ? ParseNumber(args[1], 0, std::numeric_limits<long long>::max())
                          : std::nullopt;
    if (!size)
        Invalid();
    return static_cast<std::size_t>(*size);
}

QImage PictureFrom(const Fields& args, std::size_t blockSize, const BlockReader& read) {
    if (args.size() != 6)
        BadPicture();
    const auto width = ParseNumber(args[0], 1, kMaxSide);
    const auto height = ParseNumber(args[1], 1, kMaxSide);
    const auto bytesPerLine = ParseNumber(args[2], 1, std::numeric_limits<int>::max());
    const auto format = ParseNumber(args[3], 0, std::numeric_limits<int>::max());
    const auto dpmX = ParseNumber(args[4], 1, kMaxDotsPerMetre);
    const auto dpmY = ParseNumber(args[5], 1, kMaxDotsPerMetre);
    if (!width || !height || !bytesPerLine || !format || !dpmX || !dpmY)
        BadPicture();
    // Checked as a number first: any other value is no format at all.
    if (*format != QImage::Format_Indexed8 && *format != QImage::Format_RGB888)
        BadPicture();
    const auto qformat = static_cast<QImage::Format>(*format);
    // Sides and row below 2^31 each: the products fit in 64 bits.
    const long long pixelBytes = qformat == QImage::Format_RGB888 ? 3 : 1;
    const long long rowBytes = *width * pixelBytes;
    if (*bytesPerLine < rowBytes)
        BadPicture();
    const long long total = *bytesPerLine * *height;
    if (static_cast<unsigned long long>(total) > blockSize)
        BadPicture();

    QImage picture(static_cast<int>(*width), static_cast<int>(*height), qformat);
    if (picture.isNull())
        throw EPlatformError("Mémoire insuffisante pour l'image scannée");
    const auto row = static_cast<std::size_t>(rowBytes);
    const auto stride = static_cast<std::size_t>(*bytesPerLine);
    if (stride == static_cast<std::size_t>(picture.bytesPerLine())) {
        read(picture.bits(), 0, static_cast<std::size_t>(total));
    } else {
        for (int y = 0; y < picture.height(); ++y)
            read(picture.scanLine(y), static_cast<std::size_t>(y) * stride, row);
    }
    if (qformat == QImage::Format_Indexed8) {
        QList<QRgb> grey(256);
        for (int i = 0; i < 256; ++i)
            grey[i] = qRgb(i, i, i);
        picture.setColorTable(grey);
    }
    picture.setDotsPerMeterX(static_cast<int>(*dpmX));
    picture.setDotsPerMeterY(static_cast<int>(*dpmY));
    return picture;
}

} // namespace velorix::scan::worker
