// Smooth scaling: any part equals that rectangle of the whole, in every picture format; the
// pixels are those of bilinear filtering with pixel centres on pixel centres.
#include "imaging/SmoothScale.h"

#include <gtest/gtest.h>

#include <QColor>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Pixels with no pattern a wrong offset could match by chance.
QImage Noise(int w, int h, QImage::Format format, std::uint32_t seed = 2463534242u) {
    QImage image(w, h, QImage::Format_ARGB32);
    std::uint32_t x = seed;
    for (int y = 0; y < h; ++y) {
        for (int i = 0; i < w; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            image.setPixel(i, y, x | 0x40000000u); // some transparency, never fully clear
        }
    }
    return image.convertToFormat(format);
}

QImage GreyPaletteNoise(int w, int h) {
    QImage image = Noise(w, h, QImage::Format_Grayscale8);
    QImage indexed(w, h, QImage::Format_Indexed8);
    QList<QRgb> ramp;
    for (int i = 0; i < 256; ++i)
        ramp.append(qRgb(i, i, i));
    indexed.setColorTable(ramp);
    for (int y = 0; y < h; ++y)
        std::copy_n(image.constScanLine(y), w, indexed.scanLine(y));
    return indexed;
}

// The first pixel where two pictures' colours differ, as text; empty when none does.
std::string FirstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return "sizes differ";
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                return "at " + std::to_string(x) + "," + std::to_string(y) + ": " +
                       QColor::fromRgba(a.pixel(x, y)).name(QColor::HexArgb).toStdString() +
                       " against " +
                       QColor::fromRgba(b.pixel(x, y)).name(QColor::HexArgb).toStdString();
            }
        }
    }
    return {};
}

// Bilinear filtering in real numbers, as a reference: channel c of scaled pixel (x, y).
double Ideal(const QImage& source, QSize size, int x, int y, int c) {
    auto position = [](int i, int from, int to) {
        const double p = (i + 0.5) * from / to - 0.5;
        return std::clamp(p, 0.0, double(from - 1));
    };
    const double px = position(x, source.width(), size.width());
    const double py = position(y, source.height(), size.height());
    const int x0 = int(px);
    const int y0 = int(py);
    const int x1 = std::min(x0 + 1, source.width() - 1);
    const int y1 = std::min(y0 + 1, source.height() - 1);
    auto at = [&](int i, int j) {
        const QRgb p = source.pixel(i, j);
        const int channels[] = {qRed(p), qGreen(p), qBlue(p)};
        return double(channels[c]);
    };
    const double fx = px - x0;
    const double fy = py - y0;
    const double top = at(x0, y0) * (1 - fx) + at(x1, y0) * fx;
    const double bottom = at(x0, y1) * (1 - fx) + at(x1, y1) * fx;
    return top * (1 - fy) + bottom * fy;
}

} // namespace

TEST(SmoothScale, EveryPartIsThatRectangleOfTheWholeInEveryFormat) {
    const std::vector<QImage> sources = {
        Noise(37, 23, QImage::Format_RGB32),
        Noise(37, 23, QImage::Format_RGB888),
        Noise(37, 23, QImage::Format_BGR888),
        Noise(37, 23, QImage::Format_Grayscale8),
        Noise(37, 23, QImage::Format_ARGB32_Premultiplied),
        Noise(37, 23, QImage::Format_ARGB32),
        Noise(37, 23, QImage::Format_RGB16),
        Noise(37, 23, QImage::Format_Indexed8),
        Noise(37, 23, QImage::Format_Mono),
        GreyPaletteNoise(37, 23),
    };
    const QSize size(103, 79);
    // Corners, edges, single pixels, odd widths, and parts partly outside the picture.
    const QRect parts[] = {QRect(0, 0, 103, 79),  QRect(0, 0, 17, 5),   QRect(50, 40, 1, 1),
                           QRect(86, 60, 17, 19), QRect(31, 0, 33, 79), QRect(0, 78, 103, 1),
                           QRect(90, 70, 40, 40), QRect(-5, -5, 12, 9)};
    for (const QImage& source : sources) {
        SCOPED_TRACE(testing::Message() << "format " << int(source.format()));
        const QImage whole = SmoothScaled(source, size);
        ASSERT_EQ(whole.size(), size);
        EXPECT_EQ(whole.format(), source.format());
        for (const QRect& part : parts) {
            SCOPED_TRACE(testing::Message() << "part " << part.x() << "," << part.y() << " "
                                            << part.width() << "x" << part.height());
            const QRect inside = part & QRect(QPoint(0, 0), size);
            const QImage piece = SmoothScaledPart(source, size, part);
            EXPECT_EQ(piece.format(), source.format());
            EXPECT_EQ(FirstDifference(piece, whole.copy(inside)), "");
        }
    }
}

// Large pictures are made in bands of rows on several threads: the bands meet without a seam.
TEST(SmoothScale, ABigPictureMadeInBandsEqualsItsParts) {
    const QImage source = Noise(300, 410, QImage::Format_RGB32, 77);
    const QSize size(1290, 1033);
    const QImage whole = SmoothScaled(source, size);
    for (const QRect& part : {QRect(0, 0, 1290, 200), QRect(600, 500, 300, 300),
                              QRect(1000, 900, 290, 133), QRect(7, 63, 5, 3)})
        EXPECT_EQ(FirstDifference(SmoothScaledPart(source, size, part), whole.copy(part)), "");
}

TEST(SmoothScale, PixelsAreThoseOfBilinearFilteringWithCentresOnCentres) {
    const QImage source = Noise(13, 9, QImage::Format_RGB888, 5);
    for (const QSize& size : {QSize(50, 31), QSize(14, 40), QSize(13, 9)}) {
        const QImage scaled = SmoothScaled(source, size);
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                const QRgb p = scaled.pixel(x, y);
                const int got[] = {qRed(p), qGreen(p), qBlue(p)};
                for (int c = 0; c < 3; ++c)
                    ASSERT_LE(std::abs(got[c] - Ideal(source, size, x, y, c)), 1.0)
                        << "pixel " << x << "," << y << " channel " << c << " of " << size.width()
                        << "x" << size.height();
            }
        }
    }

    // Black and white side by side, doubled: the edges repeat, the middle pixels blend.
    QImage pair(2, 1, QImage::Format_Grayscale8);
    pair.scanLine(0)[0] = 0;
    pair.scanLine(0)[1] = 255;
    const QImage doubled = SmoothScaled(pair, QSize(4, 2));
    for (int y = 0; y < 2; ++y) {
        const uchar* line = doubled.constScanLine(y);
        EXPECT_EQ(line[0], 0);
        EXPECT_NEAR(line[1], 64, 1);
        EXPECT_NEAR(line[2], 191, 1);
        EXPECT_EQ(line[3], 255);
    }
}

// Palette pictures keep their palette: a grey ramp blends its grey levels, another palette takes
// the nearest of its own colours, never a blend of colour numbers.
TEST(SmoothScale, PalettesKeepTheirColours) {
    const QSize size(90, 50);
    const QImage grey = GreyPaletteNoise(37, 23);
    const QImage fromGrey = SmoothScaled(grey, size);
    EXPECT_EQ(fromGrey.colorTable(), grey.colorTable());
    EXPECT_EQ(FirstDifference(fromGrey,
                              SmoothScaled(grey.convertToFormat(QImage::Format_Grayscale8), size)
                                  .convertToFormat(QImage::Format_Indexed8, grey.colorTable())),
              "");

    const QImage colours =
        Noise(37, 23, QImage::Format_RGB32).convertToFormat(QImage::Format_Indexed8);
    const QImage fromColours = SmoothScaled(colours, size);
    const QImage blended = SmoothScaled(colours.convertToFormat(QImage::Format_RGB32), size);
    EXPECT_EQ(fromColours.colorTable(), colours.colorTable());
    int far = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRgb a = fromColours.pixel(x, y);
            const QRgb b = blended.pixel(x, y);
            far += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                       std::abs(qBlue(a) - qBlue(b)) >
                   120;
        }
    }
    EXPECT_LT(far, size.width() * size.height() / 50);
}

TEST(SmoothScale, SameSizeEmptyPartsAndNullPictures) {
    const QImage source = Noise(20, 10, QImage::Format_RGB32);
    // The same size is the source itself, not a copy.
    EXPECT_EQ(SmoothScaled(source, source.size()).cacheKey(), source.cacheKey());
    EXPECT_EQ(SmoothScaledPart(source, source.size(), QRect(3, 2, 5, 4)), source.copy(3, 2, 5, 4));
    EXPECT_TRUE(SmoothScaledPart(source, QSize(40, 20), QRect(40, 0, 10, 10)).isNull());
    EXPECT_TRUE(SmoothScaledPart(source, QSize(40, 20), QRect()).isNull());
    EXPECT_TRUE(SmoothScaledPart(QImage(), QSize(40, 20), QRect(0, 0, 5, 5)).isNull());

    // A plain colour stays that colour everywhere, in colour and in a palette.
    QImage plain(7, 5, QImage::Format_RGB32);
    plain.fill(qRgb(12, 200, 99));
    const QImage big = SmoothScaled(plain, QSize(61, 47));
    const QImage indexed = SmoothScaled(plain.convertToFormat(QImage::Format_Indexed8), {61, 47});
    for (int y = 0; y < 47; ++y) {
        for (int x = 0; x < 61; ++x) {
            ASSERT_EQ(big.pixel(x, y), qRgb(12, 200, 99));
            ASSERT_EQ(indexed.pixel(x, y), qRgb(12, 200, 99));
        }
    }
}
