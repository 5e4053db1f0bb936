// The capture overlay: its frame read back from its own pixels, the band repainted when the frame
// moves, the mouse rules and the selection taken from the frozen screen.
#include "tests/capture/OverlayDriver.h"

#include "capture/CaptureRectForm.h"
#include "capture/MarchingAnts.h"

#include <QPaintEvent>
#include <QTimer>
#include <QtTest>

#include <memory>

using velorix::capture::OutlineBand;
using velorix::capture::TCaptureRectForm;

namespace {

constexpr QRgb kWhite = 0xffffffff;
constexpr QRgb kRed = 0xffff0000;

// Records the regions painted in a widget.
class PaintSpy : public QObject {
public:
    QRegion painted;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};

// The walk of a frame from p1 to p2 as a list of points, in order.
QList<QPoint> walk(QPoint p1, QPoint p2) {
    std::uint8_t pen = 0x80;
    QList<QPoint> out;
    for (const auto& px : velorix::capture::WalkOutline(p1, p2, pen))
        out << px.at;
    return out;
}

} // namespace

class CaptureRectFormTest : public QObject {
    Q_OBJECT

    QImage snapshot = overlay::distinctPicture(800, 600);
    std::unique_ptr<TCaptureRectForm> form;

    // still: the real timer is stopped before it can tick, so that only the test moves the frame.
    void open(bool still = false) {
        form.reset();
        form = std::make_unique<TCaptureRectForm>(snapshot, QRect(0, 0, 800, 600));
        if (still)
            form->Timer1->stop();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

private slots:
    void init() { open(); }
    void cleanup() { form.reset(); }

    void windowAsMade() {
        QCOMPARE(form->windowTitle(), QStringLiteral("CaptureRectForm"));
        QVERIFY(form->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(form->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(form->cursor().shape(), Qt::CrossCursor);
        QVERIFY(form->testAttribute(Qt::WA_OpaquePaintEvent));
        QVERIFY(form->Timer1->isActive());
        QCOMPARE(form->Timer1->interval(), 100);
        // Before any drag the overlay is the frozen screen, pixel for pixel.
        QCOMPARE(overlay::onScreen(*form), snapshot);
    }

    void walkVisitsEachFramePixelOnce() {
        const QList<QPoint> pts = walk(QPoint(2, 3), QPoint(6, 5));
        QCOMPARE(pts.size(), 2 * (4 + 2));
        QCOMPARE(pts.first(), QPoint(2, 3));
        QCOMPARE(pts[4], QPoint(6, 3)); // second edge starts at the first one's end point
        QCOMPARE(QSet<QPoint>(pts.begin(), pts.end()).size(), pts.size());
        for (const QPoint& p : pts)
            QVERIFY(OutlineBand(QPoint(2, 3), QPoint(6, 5)).contains(p));
        // A drag to the upper left walks the same frame the other way round.
        const QList<QPoint> back = walk(QPoint(6, 5), QPoint(2, 3));
        QCOMPARE(QSet<QPoint>(back.begin(), back.end()), QSet<QPoint>(pts.begin(), pts.end()));
        QVERIFY(walk(QPoint(4, 4), QPoint(4, 4)).isEmpty());
    }

    // 5 white, 3 red along the walk, from the first pixel; each tick moves it two pixels on.
    void antsPatternAndMarchReadFromTheScreen() {
        open(true);
        const QPoint p1(10, 10), p2(50, 30);
        overlay::press(*form, p1);
        overlay::move(*form, p2);
        const QList<QPoint> pts = walk(p1, p2);
        QCOMPARE(pts.size(), 2 * (40 + 20));

        auto check = [&](const QImage& img, int shift) {
            for (int k = 0; k < pts.size(); ++k) {
                const bool red = ((k - shift) % 8 + 8) % 8 >= 5;
                if (img.pixel(pts[k]) != (red ? kRed : kWhite))
                    return QStringLiteral("pixel %1 of the walk (%2,%3) shift %4")
                        .arg(k)
                        .arg(pts[k].x())
                        .arg(pts[k].y())
                        .arg(shift);
            }
            return QString();
        };
        QCOMPARE(check(overlay::onScreen(*form), 0), QString());
        form->Timer1Timer();
        QCOMPARE(check(overlay::onScreen(*form), 2), QString());
        form->Timer1Timer();
        QCOMPARE(check(overlay::onScreen(*form), 4), QString());
        form->Timer1Timer();
        form->Timer1Timer(); // four ticks: round again
        QCOMPARE(check(overlay::onScreen(*form), 0), QString());
        // Inside and outside the frame the frozen screen is untouched.
        const QImage img = overlay::onScreen(*form);
        QCOMPARE(img.pixel(30, 20), snapshot.pixel(30, 20));
        QCOMPARE(img.pixel(60, 40), snapshot.pixel(60, 40));

        // Left half-way round the pattern, the next overlay still starts at its beginning.
        form->Timer1Timer();
        QCOMPARE(check(overlay::onScreen(*form), 2), QString());
        open(true);
        overlay::press(*form, p1);
        overlay::move(*form, p2);
        QCOMPARE(check(overlay::onScreen(*form), 0), QString());
    }

    void theRealTimerMarches() {
        overlay::press(*form, QPoint(10, 10));
        overlay::move(*form, QPoint(40, 40));
        const QImage before = overlay::onScreen(*form);
        QTest::qWait(250);
        QVERIFY(overlay::onScreen(*form) != before);
    }

    // A moving frame repaints only the bands of its old and new places, and the old frame is gone.
    void onlyTheBandIsRepainted() {
        overlay::press(*form, QPoint(100, 100));
        overlay::move(*form, QPoint(200, 160));
        overlay::onScreen(*form);
        PaintSpy spy;
        form->installEventFilter(&spy);
        overlay::move(*form, QPoint(150, 130));
        QCoreApplication::processEvents();
        const QRegion allowed = OutlineBand(QPoint(100, 100), QPoint(200, 160)) +
                                OutlineBand(QPoint(100, 100), QPoint(150, 130));
        QVERIFY(!spy.painted.isEmpty());
        QCOMPARE(spy.painted - allowed, QRegion());

        spy.painted = QRegion();
        form->Timer1Timer();
        QCoreApplication::processEvents();
        QCOMPARE(spy.painted - OutlineBand(QPoint(100, 100), QPoint(150, 130)), QRegion());
        form->removeEventFilter(&spy);

        const QImage img = overlay::onScreen(*form);
        for (const QPoint& p : walk(QPoint(100, 100), QPoint(200, 160))) {
            if (p.x() > 150 || p.y() > 130)
                QCOMPARE(img.pixel(p), snapshot.pixel(p));
        }
    }

    void selectionIsCutFromTheFrozenScreen() {
        overlay::drag(*form, QPoint(100, 100), QPoint(300, 250));
        QCOMPARE(form->result(), int(QDialog::Accepted));
        QCOMPARE(form->Result().size(), QSize(200, 150));
        QCOMPARE(form->Result().pixel(0, 0), snapshot.pixel(100, 100));
        QCOMPARE(form->Result().pixel(199, 149), snapshot.pixel(299, 249));
        QCOMPARE(form->Result().convertToFormat(QImage::Format_RGB32),
                 snapshot.copy(100, 100, 200, 150));
        QCOMPARE(form->Selection(), QRect(100, 100, 200, 150));
    }

    // A snapshot with more pixels than the screen (a fractional scale, or a desktop picture of
    // other proportions) is cut at its own pixels, each axis at its own scale.
    void selectionIsCutAtSnapshotPixels_data() {
        QTest::addColumn<QSize>("snapshotSize");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("scale 1.5") << QSize(1200, 900) << QRect(150, 150, 300, 225);
        QTest::newRow("1.5 across, 2 down") << QSize(1200, 1200) << QRect(150, 200, 300, 300);
    }
    void selectionIsCutAtSnapshotPixels() {
        QFETCH(QSize, snapshotSize);
        QFETCH(QRect, expected);
        const QImage big = overlay::distinctPicture(snapshotSize.width(), snapshotSize.height());
        TCaptureRectForm scaled(big, QRect(0, 0, 800, 600));
        scaled.show();
        QVERIFY(QTest::qWaitForWindowExposed(&scaled));
        overlay::drag(scaled, QPoint(100, 100), QPoint(300, 250));
        QCOMPARE(scaled.Result().size(), expected.size());
        QCOMPARE(scaled.Result().convertToFormat(QImage::Format_RGB32), big.copy(expected));
    }

    void emptyPictures_data() {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::newRow("click without drag") << QPoint(120, 80) << QPoint(120, 80);
        QTest::newRow("to the upper left") << QPoint(300, 250) << QPoint(100, 100);
        QTest::newRow("to the left") << QPoint(300, 100) << QPoint(100, 250);
        QTest::newRow("upwards") << QPoint(100, 250) << QPoint(300, 100);
        QTest::newRow("flat") << QPoint(100, 100) << QPoint(300, 100);
    }
    void emptyPictures() {
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        if (from == to) {
            overlay::press(*form, from);
            overlay::release(*form, to);
        } else {
            overlay::drag(*form, from, to);
        }
        QCOMPARE(form->result(), int(QDialog::Accepted));
        QVERIFY(form->isHidden());
        QVERIFY(form->Result().isNull());
    }

    // The right button restarts the rectangle but neither drags nor ends it.
    void rightButtonRestartsButDoesNotEnd() {
        overlay::press(*form, QPoint(10, 10));
        overlay::move(*form, QPoint(100, 100));
        overlay::press(*form, QPoint(50, 60), Qt::RightButton, Qt::LeftButton);
        QCOMPARE(form->StartPoint(), QPoint(50, 60));
        QCOMPARE(form->EndPoint(), QPoint(50, 60));
        overlay::move(*form, QPoint(70, 70), Qt::RightButton); // right held only: no drag
        QCOMPARE(form->EndPoint(), QPoint(50, 60));
        overlay::release(*form, QPoint(70, 70), Qt::RightButton, Qt::LeftButton);
        QVERIFY(form->isVisible());
        overlay::move(*form, QPoint(90, 80), Qt::LeftButton);
        overlay::release(*form, QPoint(90, 80));
        QCOMPARE(form->result(), int(QDialog::Accepted));
        QCOMPARE(form->Result().size(), QSize(40, 20));
        QCOMPARE(form->Result().pixel(0, 0), snapshot.pixel(50, 60));
    }

    void rightDragAloneNeverEnds() {
        overlay::press(*form, QPoint(10, 10), Qt::RightButton);
        overlay::move(*form, QPoint(100, 100), Qt::RightButton);
        overlay::release(*form, QPoint(100, 100), Qt::RightButton);
        QVERIFY(form->isVisible());
        QVERIFY(form->Result().isNull());
    }

    void systemCloseGivesNoResult() {
        overlay::press(*form, QPoint(10, 10));
        overlay::move(*form, QPoint(100, 100));
        form->close();
        QCOMPARE(form->result(), int(QDialog::Rejected));
        QVERIFY(form->Result().isNull());
    }
};

QTEST_MAIN(CaptureRectFormTest)
#include "CaptureRectFormTest.moc"
