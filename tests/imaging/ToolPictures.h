#pragma once
// Pictures for the image tools' tests: distinct pixels, so that every displacement shows.
#include <QImage>

namespace velorix::testing {

inline QImage toolPattern(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x % 256, y % 256, (x / 256) * 16 + y / 256));
    return img;
}

// A pixel's colour, opaque whatever the picture's format.
inline QRgb opaqueAt(const QImage& img, int x, int y) {
    return img.pixel(x, y) | 0xff000000;
}

} // namespace velorix::testing
