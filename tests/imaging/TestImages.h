#pragma once
// Small pictures and files for the imaging tests, all made on the spot.

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <cstdlib>

namespace velorix::testing {

// A colour picture whose every pixel differs from its neighbours; odd sizes catch row padding.
inline QImage colourPattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y,
                qRgb((x * 37 + y * 11) & 0xff, (y * 53 + x * 3) & 0xff, (x * y * 7 + 90) & 0xff));
    return image;
}

// Gentle gradients: what lossy coders keep close.
inline QImage smoothPattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           qRgb(40 + 150 * x / width, 60 + 120 * y / height,
                                200 - 100 * (x + y) / (width + height)));
    return image;
}

inline QImage greyPattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int g = (x * 29 + y * 17) & 0xff;
            image.setPixel(x, y, qRgb(g, g, g));
        }
    return image;
}

inline QImage blackWhitePattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, ((x / 3 + y / 2) % 2) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return image;
}

inline QImage solid(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Largest difference of one colour channel between two pictures of the same size (-1: sizes
// differ).
inline int maxChannelDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return -1;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

inline double meanChannelDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

inline QByteArray readAll(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeAll(const QString& fileName, const QByteArray& bytes) {
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace velorix::testing
