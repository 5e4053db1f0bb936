// The picture operations of the image tools: quarter and half turns and grey levels, read from
// every page format without mixing up channels.
#include "imaging/ImageTools.h"
#include "tests/imaging/ToolPictures.h"

#include <QtTest>

using velorix::imaging::GreyLevels;
using velorix::imaging::kToolFormat;
using velorix::imaging::RotatePicture;
using velorix::testing::opaqueAt;
using velorix::testing::toolPattern;

class ImageToolsTest : public QObject {
    Q_OBJECT

private slots:
    void rotationCorners_data() {
        QTest::addColumn<int>("angle");
        QTest::addColumn<QSize>("size");
        // Where the source's top-left, top-right, bottom-left and bottom-right pixels land.
        QTest::addColumn<QList<QPoint>>("corners");
        QTest::newRow("+90") << 90 << QSize(800, 600)
                             << QList<QPoint>{{799, 0}, {799, 599}, {0, 0}, {0, 599}};
        QTest::newRow("-90") << -90 << QSize(800, 600)
                             << QList<QPoint>{{0, 599}, {0, 0}, {799, 599}, {799, 0}};
        QTest::newRow("180") << 180 << QSize(600, 800)
                             << QList<QPoint>{{599, 799}, {0, 799}, {599, 0}, {0, 0}};
    }
    void rotationCorners() {
        QFETCH(int, angle);
        QFETCH(QSize, size);
        QFETCH(QList<QPoint>, corners);
        const QImage src = toolPattern(600, 800);
        QImage dst;
        RotatePicture(angle, src, dst);
        QCOMPARE(dst.size(), size);
        QCOMPARE(dst.format(), kToolFormat);
        const QList<QPoint> from{{0, 0}, {599, 0}, {0, 799}, {599, 799}};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(opaqueAt(dst, corners[i].x(), corners[i].y()),
                     opaqueAt(src, from[i].x(), from[i].y()));
        // One pixel inside: row 10, column 20 of the source.
        const QPoint inner = angle == 90    ? QPoint(799 - 10, 20)
                             : angle == -90 ? QPoint(10, 599 - 20)
                                            : QPoint(599 - 20, 799 - 10);
        QCOMPARE(opaqueAt(dst, inner.x(), inner.y()), opaqueAt(src, 20, 10));
    }

    // Turns lose nothing: every way round gives the starting pixels back, also in place and
    // from a picture with alpha (which a 24-bit result drops).
    void turnsComeBackRound() {
        const QImage start = toolPattern(601, 803).convertToFormat(kToolFormat);
        QImage p = start;
        for (int i = 0; i < 4; ++i)
            RotatePicture(90, p, p);
        QCOMPARE(p, start);
        RotatePicture(-90, start, p);
        RotatePicture(90, p, p);
        QCOMPARE(p, start);
        RotatePicture(180, start, p);
        QVERIFY(p != start);
        RotatePicture(180, p, p);
        QCOMPARE(p, start);

        QImage alpha = start.convertToFormat(QImage::Format_ARGB32);
        alpha.setPixel(0, 0, qRgba(10, 20, 30, 255));
        RotatePicture(180, alpha, p);
        QCOMPARE(p.format(), kToolFormat);
        QCOMPARE(opaqueAt(p, 600, 802), qRgb(10, 20, 30));
    }

    // Pages come in several formats; each is read where it is or converted, never mixed up.
    void sourceFormats_data() {
        QTest::addColumn<QImage::Format>("format");
        QTest::newRow("RGB888") << QImage::Format_RGB888;
        QTest::newRow("RGB32") << QImage::Format_RGB32;
        QTest::newRow("ARGB32") << QImage::Format_ARGB32;
        QTest::newRow("RGBA8888") << QImage::Format_RGBA8888;
        QTest::newRow("Grayscale8") << QImage::Format_Grayscale8;
    }
    void sourceFormats() {
        QFETCH(QImage::Format, format);
        const QImage src = toolPattern(37, 23).convertToFormat(format);
        const QImage reference = src.convertToFormat(kToolFormat);
        for (int angle : {90, -90, 180}) {
            QImage got, expected;
            RotatePicture(angle, src, got);
            RotatePicture(angle, reference, expected);
            QCOMPARE(got, expected);
        }
        QCOMPARE(GreyLevels(src), GreyLevels(reference));
        QImage same;
        RotatePicture(90, src, same);
        QCOMPARE(opaqueAt(same, 22, 0), opaqueAt(reference, 0, 0));
    }

    void greyValues() {
        QImage img(2, 1, QImage::Format_RGB32);
        img.setPixel(0, 0, qRgb(255, 0, 1));
        img.setPixel(1, 0, qRgb(255, 255, 254));
        const QImage grey = GreyLevels(img);
        QCOMPARE(grey.format(), kToolFormat);
        QCOMPARE(opaqueAt(grey, 0, 0), qRgb(85, 85, 85));
        QCOMPARE(opaqueAt(grey, 1, 0), qRgb(254, 254, 254));
    }
};

QTEST_MAIN(ImageToolsTest)
#include "ImageToolsTest.moc"
