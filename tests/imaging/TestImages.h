#pragma once
// Small pictures and files for the imaging tests, all made on the spot.

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <Magick++.h>

#include <cstdlib>
#include <functional>

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

// A placeable Windows metafile of width x height units (unitsPerInch of them to the inch; the
// library draws at 72 dpi) drawing a red rectangle with no outline.
inline QByteArray redRectangleMetafile(int width = 40, int height = 30, int unitsPerInch = 72) {
    QByteArray records;
    auto word = [&records](int v) {
        records.append(char(v & 0xff));
        records.append(char((v >> 8) & 0xff));
    };
    auto record = [&](int function, std::initializer_list<int> params) {
        const int size = 3 + int(params.size());
        word(size & 0xffff);
        word(size >> 16);
        word(function);
        for (int p : params)
            word(p);
    };
    record(0x020B, {0, 0});                 // window origin
    record(0x020C, {height, width});        // window extent
    record(0x02FC, {0, 0x00FF, 0x0000, 0}); // solid red brush
    record(0x012D, {0});
    record(0x02FA, {5, 0, 0, 0, 0}); // null pen
    record(0x012D, {1});
    record(0x041B, {height, width, 0, 0}); // rectangle
    record(0x0000, {});                    // end of file

    QByteArray header;
    auto hword = [&header](int v) {
        header.append(char(v & 0xff));
        header.append(char((v >> 8) & 0xff));
    };
    const int totalWords = (18 + records.size()) / 2;
    hword(1);
    hword(9);
    hword(0x0300);
    hword(totalWords & 0xffff);
    hword(totalWords >> 16);
    hword(2);
    hword(8);
    hword(0);
    hword(0);

    QByteArray placeable;
    auto pword = [&placeable](int v) {
        placeable.append(char(v & 0xff));
        placeable.append(char((v >> 8) & 0xff));
    };
    pword(0xCDD7);
    pword(0x9AC6);
    for (int v : {0, 0, 0, width, height, unitsPerInch, 0, 0})
        pword(v);
    int checksum = 0;
    for (int i = 0; i < 20; i += 2)
        checksum ^= (uchar(placeable[i]) | (uchar(placeable[i + 1]) << 8));
    pword(checksum);
    return placeable + header + records;
}

// Writes picture with the library's own writer of the given name, as another program would.
inline void writeWith(const QImage& picture, const QString& fileName, const char* magick,
                      std::function<void(Magick::Image&)> tune = {}) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    Magick::Image image(size_t(rgb.width()), size_t(rgb.height()), "BGRA", Magick::CharPixel,
                        rgb.constBits());
    image.matte(false);
    image.depth(8);
    if (tune)
        tune(image);
    image.magick(magick);
    image.write(fileName.toStdString());
}

} // namespace velorix::testing
