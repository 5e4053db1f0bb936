// The picture operations of the image tools: quarter and half turns, grey levels.
#include "imaging/ImageTools.h"

#include <QSysInfo>

#include <algorithm>

namespace velorix::imaging {

namespace {

// The source rows as the tools read them: 3 or 4 bytes per pixel, blue first (or red first when
// `swap`). Common page formats are read where they are; the others are converted once first.
struct SourceRows {
    QImage image; // keeps the pixels alive (shared, not copied)
    int step = 3;
    bool swap = false;
};

SourceRows ReadableRows(const QImage& source) {
    constexpr bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    switch (source.format()) {
    case kToolFormat:
        return {source, 3, false};
    case QImage::Format_RGB888:
        return {source, 3, true};
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        // 0xAARRGGBB words: blue, green, red, alpha in memory on a little-endian machine.
        if (little)
            return {source, 4, false};
        break;
    default:
        break;
    }
    return {source.convertToFormat(kToolFormat), 3, false};
}

// One pixel's three bytes into the blue, green, red of the destination.
template <bool Swap> inline void CopyPixel(const uchar* src, uchar* dst) {
    dst[0] = src[Swap ? 2 : 0];
    dst[1] = src[1];
    dst[2] = src[Swap ? 0 : 2];
}

// Square blocks keep both the rows read and the rows written in the cache while a quarter turn
// walks the source across.
constexpr int kBlock = 64;

// B(row x, column H-1-y) := A(row y, column x) when clockwise, B(row W-1-x, column y) otherwise.
template <int Step, bool Swap> void QuarterTurn(const QImage& a, QImage& b, bool clockwise) {
    const int w = a.width();
    const int h = a.height();
    uchar* const out = b.bits();
    const qsizetype outLine = b.bytesPerLine();
    for (int y0 = 0; y0 < h; y0 += kBlock) {
        const int y1 = std::min(y0 + kBlock, h);
        for (int x0 = 0; x0 < w; x0 += kBlock) {
            const int x1 = std::min(x0 + kBlock, w);
            for (int y = y0; y < y1; ++y) {
                const uchar* src = a.constScanLine(y) + Step * x0;
                const int column = clockwise ? h - 1 - y : y;
                uchar* dst = out + 3 * qsizetype(column) + outLine * (clockwise ? x0 : w - 1 - x0);
                const qsizetype next = clockwise ? outLine : -outLine;
                for (int x = x0; x < x1; ++x, src += Step, dst += next)
                    CopyPixel<Swap>(src, dst);
            }
        }
    }
}

// B(row H-1-y, column x) := A(row y, column W-1-x).
template <int Step, bool Swap> void HalfTurn(const QImage& a, QImage& b) {
    const int w = a.width();
    const int h = a.height();
    for (int y = 0; y < h; ++y) {
        const uchar* src = a.constScanLine(y);
        uchar* dst = b.scanLine(h - 1 - y) + 3 * (w - 1);
        for (int x = 0; x < w; ++x, src += Step, dst -= 3)
            CopyPixel<Swap>(src, dst);
    }
}

template <int Step, bool Swap> void Turn(int angle, const QImage& a, QImage& b) {
    if (angle == 180)
        HalfTurn<Step, Swap>(a, b);
    else
        QuarterTurn<Step, Swap>(a, b, angle == 90);
}

} // namespace

void RotatePicture(int angle, const QImage& source, QImage& destination) {
    const SourceRows a = ReadableRows(source);
    if (a.image.isNull()) {
        destination = QImage();
        return;
    }
    if (angle != 90 && angle != -90 && angle != 180) {
        destination = a.image.convertToFormat(kToolFormat);
        return;
    }
    const bool quarter = angle != 180;
    QImage b(quarter ? a.image.height() : a.image.width(),
             quarter ? a.image.width() : a.image.height(), kToolFormat);
    if (b.isNull()) {
        destination = QImage();
        return;
    }
    if (a.step == 4)
        Turn<4, false>(angle, a.image, b);
    else if (a.swap)
        Turn<3, true>(angle, a.image, b);
    else
        Turn<3, false>(angle, a.image, b);
    destination = b;
}

QImage GreyLevels(const QImage& source) {
    const SourceRows a = ReadableRows(source);
    QImage c(a.image.width(), a.image.height(), kToolFormat);
    if (a.image.isNull() || c.isNull())
        return QImage();
    const int w = c.width();
    // The sum of the three channels does not depend on their order.
    for (int y = 0; y < c.height(); ++y) {
        const uchar* src = a.image.constScanLine(y);
        uchar* dst = c.scanLine(y);
        for (int x = 0; x < w; ++x, src += a.step, dst += 3) {
            const auto g = static_cast<uchar>((src[0] + src[1] + src[2]) / 3);
            dst[0] = dst[1] = dst[2] = g;
        }
    }
    return c;
}

} // namespace velorix::imaging
