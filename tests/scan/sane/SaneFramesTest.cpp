// Frames as a SANE device sends them -> one image -> a BMP file, checked with an independent
// BMP reader (Qt's).

#include "sane/SaneFrames.h"

#include "ScanPlatform.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstring>

using namespace velorix::scan::sane;
using velorix::scan::EPlatformError;

namespace {

Frame Make(FrameFormat f, int ppl, int bpl, int lines, int depth, std::vector<std::uint8_t> data) {
    Frame fr;
    fr.format = f;
    fr.pixelsPerLine = ppl;
    fr.bytesPerLine = bpl;
    fr.lines = lines;
    fr.depth = depth;
    fr.data = std::move(data);
    return fr;
}

QImage Decode(const std::vector<std::uint8_t>& bmp) {
    QImage img;
    img.loadFromData(bmp.data(), static_cast<int>(bmp.size()), "BMP");
    return img;
}

} // namespace

TEST(ScanFrames, GreyDepthsAndLinePadding) {
    // 3 pixels per line, one byte of padding per line (a device losing pixels at the line end).
    auto g8 = ImageFromFrames({Make(FrameFormat::Gray, 3, 4, 2, 8, {1, 2, 3, 99, 4, 5, 6, 99})});
    EXPECT_TRUE(g8.grey);
    EXPECT_EQ(g8.pixels, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));

    // 1-bit grey: a set bit is black.
    auto g1 = ImageFromFrames({Make(FrameFormat::Gray, 10, 2, 1, 1, {0b10100000, 0b01000000})});
    EXPECT_EQ(g1.pixels, (std::vector<std::uint8_t>{0, 255, 0, 255, 255, 255, 255, 255, 255, 0}));

    // 16-bit samples in host order keep their high byte.
    std::uint16_t s[2] = {0x1234, 0xff01};
    std::vector<std::uint8_t> raw(4);
    std::memcpy(raw.data(), s, 4);
    auto g16 = ImageFromFrames({Make(FrameFormat::Gray, 2, 4, 1, 16, raw)});
    EXPECT_EQ(g16.pixels, (std::vector<std::uint8_t>{0x12, 0xff}));
}

TEST(ScanFrames, ColourSinglePassAndThreePass) {
    auto rgb = ImageFromFrames({Make(FrameFormat::Rgb, 2, 6, 1, 8, {1, 2, 3, 4, 5, 6})});
    EXPECT_FALSE(rgb.grey);
    EXPECT_EQ(rgb.pixels, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));

    // Planes may come in any order.
    auto three = ImageFromFrames({Make(FrameFormat::Blue, 2, 2, 1, 8, {30, 60}),
                                  Make(FrameFormat::Red, 2, 2, 1, 8, {10, 40}),
                                  Make(FrameFormat::Green, 2, 2, 1, 8, {20, 50})});
    EXPECT_EQ(three.pixels, (std::vector<std::uint8_t>{10, 20, 30, 40, 50, 60}));

    EXPECT_THROW(ImageFromFrames({Make(FrameFormat::Red, 2, 2, 1, 8, {1, 2}),
                                  Make(FrameFormat::Green, 2, 2, 1, 8, {1, 2})}),
                 EPlatformError);
    EXPECT_THROW(ImageFromFrames({Make(FrameFormat::Red, 2, 2, 1, 8, {1, 2}),
                                  Make(FrameFormat::Green, 2, 2, 1, 8, {1, 2}),
                                  Make(FrameFormat::Blue, 1, 1, 1, 8, {1})}),
                 EPlatformError);
}

TEST(ScanFrames, UnknownHeightAndShortData) {
    // Height unknown in advance: whole lines received make the image, a partial one is dropped.
    auto hand = ImageFromFrames({Make(FrameFormat::Gray, 2, 2, -1, 8, {1, 2, 3, 4, 5})});
    EXPECT_EQ(hand.height, 2);
    // Less than announced is an error, never a silently short page.
    EXPECT_THROW(ImageFromFrames({Make(FrameFormat::Gray, 2, 2, 3, 8, {1, 2, 3, 4})}),
                 EPlatformError);
    EXPECT_THROW(ImageFromFrames({}), EPlatformError);
    EXPECT_THROW(ImageFromFrames({Make(FrameFormat::Gray, 4, 2, 1, 8, {1, 2})}), EPlatformError);
    EXPECT_THROW(ImageFromFrames({Make(FrameFormat::Gray, 1, 1, 1, 4, {1})}), EPlatformError);
}

TEST(ScanFrames, BmpFilesDecodeToTheSamePixels) {
    ScannedImage colour;
    colour.width = 3; // 9 bytes per row: padded to 12
    colour.height = 2;
    colour.pixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30, 40, 50, 60, 70, 80, 90};
    const auto bmp = EncodeBmp(colour, 300);
    EXPECT_EQ(bmp.size(), 14u + 40 + 12 * 2);
    EXPECT_EQ(bmp[28], 24);
    QImage c = Decode(bmp);
    ASSERT_EQ(c.size(), QSize(3, 2));
    EXPECT_EQ(c.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(c.pixel(2, 0), qRgb(0, 0, 255));
    EXPECT_EQ(c.pixel(1, 1), qRgb(40, 50, 60));
    EXPECT_EQ(c.dotsPerMeterX(), 11811);

    ScannedImage grey;
    grey.grey = true;
    grey.width = 5;
    grey.height = 2;
    grey.pixels = {0, 1, 2, 3, 4, 250, 251, 252, 253, 255};
    const auto gb = EncodeBmp(grey);
    EXPECT_EQ(gb[28], 8);
    EXPECT_EQ(gb.size(), 14u + 40 + 1024 + 8 * 2);
    QImage g = Decode(gb);
    ASSERT_EQ(g.size(), QSize(5, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) {
            const int v = grey.pixels[static_cast<std::size_t>(y * 5 + x)];
            EXPECT_EQ(g.pixel(x, y), qRgb(v, v, v));
        }
}
