#include "imaging/PageFit.h"

#include "imaging/ImageEngine.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace velorix::imaging {

long roundHalfEven(double value) {
    // The default rounding mode of the floating-point environment is to nearest, ties to even.
    return std::lrint(value);
}

QImage stretchNearest(const QImage& source, int width, int height) {
    if (source.isNull() || width < 1 || height < 1)
        return {};
    const QImage src = source.convertToFormat(QImage::Format_RGB32);
    QImage target(width, height, QImage::Format_RGB32);
    const int64_t sw = src.width(), sh = src.height();
    // Destination pixel d takes source pixel floor(d * source / destination): the first pixel of
    // each run, as a drop-or-repeat stretch does.
    std::vector<int> columns(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x)
        columns[static_cast<size_t>(x)] = static_cast<int>(x * sw / width);
    for (int y = 0; y < height; ++y) {
        const auto* from =
            reinterpret_cast<const uint32_t*>(src.constScanLine(static_cast<int>(y * sh / height)));
        auto* to = reinterpret_cast<uint32_t*>(target.scanLine(y));
        for (int x = 0; x < width; ++x)
            to[x] = from[columns[static_cast<size_t>(x)]];
    }
    return target;
}

void FitToBox(const QImage& source, QImage& target, int box) {
    if (source.isNull() || source.width() < 1 || source.height() < 1 || box < 1)
        return;
    target = QImage();
    const double x = static_cast<double>(source.height()) / source.width();
    const long width = x > 1.0 ? roundHalfEven(box / x) : box;
    const long height = roundHalfEven(static_cast<double>(width) * x);
    // A very thin source rounds one side to 0: nothing is left to draw.
    if (width < 1 || height < 1)
        return;
    target = stretchNearest(source, static_cast<int>(width), static_cast<int>(height));
}

QImage FitToPage(TImageEngine& engine) {
    const long double h = engine.Height();
    const long double w = engine.Width();
    if (w > 0 && h / w == 4.0L / 3.0L) {
        const QImage s = engine.Bitmap();
        QImage target;
        FitToBox(s, target, kPageHeight);
        return target;
    }
    engine.ImageResize(kPageWidth, kPageHeight, TAlign::Centre, TAlign::Centre);
    return engine.Bitmap();
}

} // namespace velorix::imaging
