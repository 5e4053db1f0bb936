// Frames as a SANE device sends them -> one image -> a BMP file, checked with an independent
// BMP reader (Qt's).

#include "scan/link/SaneFrames.h"

#include "tests/scan/link/FramesInPieces.h"

#include "scan/ScanPlatform.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

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

// The picture's samples row after row, without row padding.
std::vector<std::uint8_t> Bytes(const QImage& picture) {
    const int spp = picture.format() == QImage::Format_Indexed8 ? 1 : 3;
    std::vector<std::uint8_t> out;
    for (int y = 0; y < picture.height(); ++y)
        out.insert(out.end(), picture.constScanLine(y),
                   picture.constScanLine(y) + static_cast<std::size_t>(picture.width()) * spp);
    return out;
}

bool Grey(const QImage& picture) {
    return picture.format() == QImage::Format_Indexed8;
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
    EXPECT_TRUE(Grey(g8));
    EXPECT_EQ(Bytes(g8), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(g8.pixel(2, 1), qRgb(6, 6, 6));

    // 1-bit grey: a set bit is black.
    auto g1 = ImageFromFrames({Make(FrameFormat::Gray, 10, 2, 1, 1, {0b10100000, 0b01000000})});
    EXPECT_EQ(Bytes(g1), (std::vector<std::uint8_t>{0, 255, 0, 255, 255, 255, 255, 255, 255, 0}));

    // 16-bit samples in host order keep their high byte.
    std::uint16_t s[2] = {0x1234, 0xff01};
    std::vector<std::uint8_t> raw(4);
    std::memcpy(raw.data(), s, 4);
    auto g16 = ImageFromFrames({Make(FrameFormat::Gray, 2, 4, 1, 16, raw)});
    EXPECT_EQ(Bytes(g16), (std::vector<std::uint8_t>{0x12, 0xff}));
}

TEST(ScanFrames, ColourSinglePassAndThreePass) {
    auto rgb = ImageFromFrames({Make(FrameFormat::Rgb, 2, 6, 1, 8, {1, 2, 3, 4, 5, 6})});
    EXPECT_FALSE(Grey(rgb));
    EXPECT_EQ(rgb.pixel(1, 0), qRgb(4, 5, 6));
    EXPECT_EQ(Bytes(rgb), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));

    // Planes may come in any order.
    auto three = ImageFromFrames({Make(FrameFormat::Blue, 2, 2, 1, 8, {30, 60}),
                                  Make(FrameFormat::Red, 2, 2, 1, 8, {10, 40}),
                                  Make(FrameFormat::Green, 2, 2, 1, 8, {20, 50})});
    EXPECT_EQ(Bytes(three), (std::vector<std::uint8_t>{10, 20, 30, 40, 50, 60}));

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
    EXPECT_EQ(hand.height(), 2);
    // Not a single line: no picture, and that is said.
    EXPECT_THROW(ImageFromFrames({Make(FrameFormat::Gray, 2, 2, -1, 8, {1})}), EPlatformError);
    // Less than announced is an error, never a silently short page.
    EXPECT_THROW(ImageFromFrames({Make(FrameFormat::Gray, 2, 2, 3, 8, {1, 2, 3, 4})}),
                 EPlatformError);
    EXPECT_THROW(ImageFromFrames({}), EPlatformError);
    EXPECT_THROW(ImageFromFrames({Make(FrameFormat::Gray, 4, 2, 1, 8, {1, 2})}), EPlatformError);
    EXPECT_THROW(ImageFromFrames({Make(FrameFormat::Gray, 1, 1, 1, 4, {1})}), EPlatformError);

    // Fed as it arrives, a page that ends early keeps its whole lines (sheet-fed devices
    // announce the longest page), with the vertical resolution of its own; none is an error.
    FrameAssembler assembler(100, 200);
    assembler.BeginFrame(Make(FrameFormat::Gray, 2, 3, 4, 8, {}));
    const std::uint8_t bytes[] = {1, 2, 0, 3, 4, 0, 5};
    assembler.Append(bytes, sizeof bytes);
    assembler.EndFrame();
    const QImage kept = assembler.Finish();
    EXPECT_EQ(Bytes(kept), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(kept.dotsPerMeterX(), 3937);
    EXPECT_EQ(kept.dotsPerMeterY(), 7874);
    FrameAssembler empty;
    empty.BeginFrame(Make(FrameFormat::Gray, 2, 2, 4, 8, {}));
    EXPECT_THROW(empty.EndFrame(), EPlatformError);
}

TEST(ScanFrames, BmpFilesDecodeToTheSamePixels) {
    // 9 bytes per row: padded to 12 in the file.
    const QImage colour = ImageFromFrames(
        {Make(FrameFormat::Rgb, 3, 9, 2, 8,
              {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30, 40, 50, 60, 70, 80, 90})},
        300);
    const auto bmp = EncodeBmp(colour);
    EXPECT_EQ(bmp.size(), 14u + 40 + 12 * 2);
    EXPECT_EQ(bmp[28], 24);
    QImage c = Decode(bmp);
    ASSERT_EQ(c.size(), QSize(3, 2));
    EXPECT_EQ(c.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(c.pixel(2, 0), qRgb(0, 0, 255));
    EXPECT_EQ(c.pixel(1, 1), qRgb(40, 50, 60));
    EXPECT_EQ(c.dotsPerMeterX(), 11811);

    const std::vector<std::uint8_t> greyBytes = {0, 1, 2, 3, 4, 250, 251, 252, 253, 255};
    const QImage grey = ImageFromFrames({Make(FrameFormat::Gray, 5, 5, 2, 8, greyBytes)});
    EXPECT_EQ(grey.dotsPerMeterX(), 2835); // 72 dpi when the device does not say
    const auto gb = EncodeBmp(grey);
    EXPECT_EQ(gb[28], 8);
    EXPECT_EQ(gb.size(), 14u + 40 + 1024 + 8 * 2);
    QImage g = Decode(gb);
    ASSERT_EQ(g.size(), QSize(5, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) {
            const int v = greyBytes[static_cast<std::size_t>(y * 5 + x)];
            EXPECT_EQ(g.pixel(x, y), qRgb(v, v, v));
        }
}

// The assembler, fed in pieces of every size, makes what the whole frames make, and fails where
// they fail.
TEST(ScanFrames, AssemblerInPiecesEqualsWholeFrames) {
    std::vector<std::uint8_t> rgb(7 * 11 + 5); // lines of 7 bytes (2 pixels + 1 padding), extra
    for (std::size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = static_cast<std::uint8_t>(i * 37 + 11);
    std::vector<std::uint8_t> grey16(8 * 3);
    for (std::size_t i = 0; i < grey16.size(); ++i)
        grey16[i] = static_cast<std::uint8_t>(i * 53);
    const std::vector<std::vector<Frame>> cases = {
        {Make(FrameFormat::Rgb, 2, 7, 11, 8, rgb)},
        {Make(FrameFormat::Gray, 7, 7, 11, 8, rgb)},
        {Make(FrameFormat::Gray, 5, 7, -1, 8, rgb)},    // height unknown
        {Make(FrameFormat::Gray, 4, 8, 3, 16, grey16)}, // 16-bit samples
        {Make(FrameFormat::Rgb, 3, 7, 11, 8, rgb)},     // line longer than its bytes
        {Make(FrameFormat::Rgb, 2, 7, 11, 8, rgb), Make(FrameFormat::Rgb, 2, 7, 1, 8, rgb)},
        {Make(FrameFormat::Green, 7, 7, 11, 8, rgb), Make(FrameFormat::Red, 7, 7, 11, 8, rgb),
         Make(FrameFormat::Blue, 7, 7, 11, 8, rgb)},
    };
    // A frame a line short: the whole frames make no picture, the frame as it arrives keeps the
    // lines received, which are the whole frames' pixels of a frame announcing them.
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{1000}}) {
        const QImage kept = AssembleInPieces({Make(FrameFormat::Rgb, 2, 7, 12, 8, rgb)}, piece);
        EXPECT_EQ(Bytes(kept), Bytes(ImageFromFrames({Make(FrameFormat::Rgb, 2, 7, 11, 8, rgb)})));
    }
    EXPECT_THROW(ImageFromFrames({Make(FrameFormat::Rgb, 2, 7, 12, 8, rgb)}), EPlatformError);
    for (std::size_t k = 0; k < cases.size(); ++k) {
        SCOPED_TRACE(k);
        std::optional<QImage> whole;
        try {
            whole = ImageFromFrames(cases[k], 150);
        } catch (const EPlatformError&) {
        }
        for (const std::size_t piece :
             {std::size_t{1}, std::size_t{3}, std::size_t{7}, std::size_t{13}, std::size_t{1000}}) {
            SCOPED_TRACE(piece);
            std::optional<QImage> pieces;
            try {
                pieces = AssembleInPieces(cases[k], piece, 150);
            } catch (const EPlatformError&) {
            }
            ASSERT_EQ(pieces.has_value(), whole.has_value());
            if (whole) {
                EXPECT_EQ(pieces->format(), whole->format());
                EXPECT_EQ(Bytes(*pieces), Bytes(*whole));
                EXPECT_EQ(pieces->dotsPerMeterY(), 5906);
            }
        }
    }
}
