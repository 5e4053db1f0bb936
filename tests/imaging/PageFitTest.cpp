// Bringing pictures to the page: the canvas resize and the 3:4 scaling.

#include "imaging/PageFit.h"
#include "imaging/ImageEngine.h"
#include "tests/imaging/TestImages.h"

#include <gtest/gtest.h>

using namespace velorix::imaging;
using namespace velorix::testing;

namespace {

const QColor kFace(0xd4, 0xd0, 0xc8);

QImage fitted(const QImage& source) {
    TImageEngine engine;
    engine.SetBackgroundColor(kFace);
    engine.Assign(source);
    return FitToPage(engine);
}

// True when every pixel of rect in image has the colour.
bool filled(const QImage& image, const QRect& rect, QColor colour) {
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (image.pixel(x, y) != colour.rgb())
                return false;
    return true;
}

TEST(FitToPage, ExactThreeByFourIsScaledDropping) {
    const QImage source = colourPattern(1200, 1600);
    const QImage page = fitted(source);
    ASSERT_EQ(page.size(), QSize(600, 800));
    // Every other pixel is kept, none is blended.
    for (int y = 0; y < 800; y += 37)
        for (int x = 0; x < 600; x += 23)
            ASSERT_EQ(page.pixel(x, y), source.pixel(2 * x, 2 * y)) << x << "," << y;
}

TEST(FitToPage, PageSizedPicturePassesUnchanged) {
    const QImage source = colourPattern(600, 800);
    EXPECT_EQ(maxChannelDifference(fitted(source), source), 0);
}

TEST(FitToPage, OtherShapesKeepTheirPixelsCentred) {
    // A4 at 300 dpi: its central 600 x 800 pixels (cut of 940 columns and 1354 rows).
    const QImage a4 = colourPattern(2480, 3508);
    EXPECT_EQ(maxChannelDifference(fitted(a4), a4.copy(940, 1354, 600, 800)), 0);

    // Smaller: 100 columns of button face each side, 250 rows above and below.
    const QImage small = colourPattern(400, 300);
    const QImage page = fitted(small);
    ASSERT_EQ(page.size(), QSize(600, 800));
    EXPECT_EQ(maxChannelDifference(page.copy(100, 250, 400, 300), small), 0);
    EXPECT_TRUE(filled(page, QRect(0, 0, 100, 800), kFace));
    EXPECT_TRUE(filled(page, QRect(500, 0, 100, 800), kFace));
    EXPECT_TRUE(filled(page, QRect(100, 0, 400, 250), kFace));
    EXPECT_TRUE(filled(page, QRect(100, 550, 400, 250), kFace));
}

TEST(ImageResize, CutsAndPadsEachAxisOnItsOwnTruncatingHalves) {
    // Wider and shorter than the canvas, odd differences: cut (7-4)/2 = 1 column, margin
    // (6-3)/2 = 1 row.
    const QImage source = colourPattern(7, 3);
    const QImage out = resizeCanvas(source, 4, 6, TAlign::Centre, TAlign::Centre, kFace);
    ASSERT_EQ(out.size(), QSize(4, 6));
    EXPECT_TRUE(filled(out, QRect(0, 0, 4, 1), kFace));
    EXPECT_EQ(maxChannelDifference(out.copy(0, 1, 4, 3), source.copy(1, 0, 4, 3)), 0);
    EXPECT_TRUE(filled(out, QRect(0, 4, 4, 2), kFace));

    // Other alignments put the picture at the near or far edge.
    const QImage far = resizeCanvas(source, 4, 6, TAlign::Far, TAlign::Near, kFace);
    EXPECT_EQ(maxChannelDifference(far.copy(0, 0, 4, 3), source.copy(3, 0, 4, 3)), 0);

    // The engine pads with the palette's button face by default.
    TImageEngine engine;
    engine.Assign(solid(2, 2, Qt::black));
    engine.ImageResize(4, 4, TAlign::Centre, TAlign::Centre);
    EXPECT_EQ(QColor(engine.Bitmap().pixel(0, 0)), engine.BackgroundColor());
}

TEST(FitToBox, SizesRoundHalfToEven) {
    const struct {
        int w, h, box, outW, outH;
    } cases[] = {
        {300, 200, 800, 800, 533}, // landscape: width is the box
        {600, 800, 800, 600, 800}, // 3:4 portrait
        {50, 50, 10, 10, 10},      // square
        {2, 1, 5, 5, 2},           // 2.5 rounds down to even
        {2, 1, 7, 7, 4},           // 3.5 rounds up to even
        {1, 2, 5, 2, 4},           // portrait: 5 / 2 = 2.5 -> 2, then 2 * 2
        {1, 2, 7, 4, 8},           // 3.5 -> 4
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " box " << c.box);
        QImage target;
        FitToBox(colourPattern(c.w, c.h), target, c.box);
        EXPECT_EQ(target.size(), QSize(c.outW, c.outH));
    }
}

TEST(FitToBox, RepeatsPixelsWithoutSmoothingAndIgnoresEmptyInput) {
    QImage source(2, 1, QImage::Format_RGB32);
    source.setPixel(0, 0, qRgb(255, 0, 0));
    source.setPixel(1, 0, qRgb(0, 0, 255));
    QImage target;
    FitToBox(source, target, 6);
    ASSERT_EQ(target.size(), QSize(6, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(target.pixel(x, y), x < 3 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));

    QImage untouched = solid(3, 3, Qt::green);
    FitToBox(QImage(), untouched, 800);
    EXPECT_EQ(untouched.size(), QSize(3, 3));
    FitToBox(source, untouched, 0);
    EXPECT_EQ(untouched.size(), QSize(3, 3));
    // A sliver whose short side rounds to nothing leaves an empty target, not a crash.
    FitToBox(solid(1000, 1, Qt::red), untouched, 100);
    EXPECT_TRUE(untouched.isNull());
}

} // namespace
