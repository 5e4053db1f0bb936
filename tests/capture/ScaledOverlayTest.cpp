// Scaled screens, and several of them: each overlay shows its screen's frozen picture sharp, one
// snapshot pixel to one device pixel, and cuts the selection at device pixels. The desktop here
// is a primary screen scaled by 2 with a larger unscaled screen on its right.
#include "tests/capture/OverlayDriver.h"

#include "capture/CaptureRectForm.h"
#include "capture/ScreenCapture.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

using namespace velorix::capture;

namespace {

// Every screen as a fixed picture in its own device pixels; the second screen's pixels differ
// from the first's.
class FakeDesktop final : public IScreenGrab {
public:
    DesktopPicture desktop;
    FakeDesktop() {
        for (QScreen* screen : QGuiApplication::screens()) {
            const QSize device = screen->geometry().size() * screen->devicePixelRatio();
            QImage picture = overlay::distinctPicture(device.width(), device.height());
            if (screen != QGuiApplication::primaryScreen())
                picture = picture.mirrored(true, false);
            desktop.push_back({screen->geometry(), picture});
        }
    }
    QString Name() const override { return QStringLiteral("fake"); }
    std::optional<DesktopPicture> GrabDesktop(const QString&) override { return desktop; }
};

QImage shownBy(QWidget& w) {
    QImage shown = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    shown.setDevicePixelRatio(1);
    return shown;
}

} // namespace

class ScaledOverlayTest : public QObject {
    Q_OBJECT
private slots:
    void dragIsCutAtDevicePixels() {
        QScreen* screen = QGuiApplication::primaryScreen();
        QCOMPARE(screen->devicePixelRatio(), 2.0);
        const QRect logical = screen->geometry();
        const QImage snapshot = overlay::distinctPicture(logical.width() * 2, logical.height() * 2);
        TCaptureRectForm form(snapshot, logical);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        // Rendered at the screen's device pixels.
        QImage shown = shownBy(form);
        QCOMPARE(shown.size(), snapshot.size());
        QCOMPARE(shown, snapshot);

        overlay::drag(form, QPoint(10, 20), QPoint(210, 170));
        QCOMPARE(form.Result().size(), QSize(400, 300));
        QCOMPARE(form.Result().devicePixelRatio(), 1.0);
        QCOMPARE(form.Result().convertToFormat(QImage::Format_RGB32),
                 snapshot.copy(20, 40, 400, 300));
    }

    // An overlay covers each screen at its place and scale; a drag on either gives that screen's
    // device pixels (kept to the screen when it runs past the edge); Escape on either ends the
    // capture with nothing.
    void everyScreenHasItsOverlay_data() {
        QTest::addColumn<int>("screenIndex");
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<QRect>("expected"); // in the screen's device pixels; null: Escape
        QTest::newRow("primary, scaled")
            << 0 << QPoint(100, 100) << QPoint(300, 250) << QRect(200, 200, 400, 300);
        QTest::newRow("second screen")
            << 1 << QPoint(100, 100) << QPoint(300, 250) << QRect(100, 100, 200, 150);
        QTest::newRow("past the primary's edge")
            << 0 << QPoint(600, 400) << QPoint(900, 700) << QRect(1200, 800, 400, 400);
        QTest::newRow("Escape on the second screen") << 1 << QPoint() << QPoint() << QRect();
    }
    void everyScreenHasItsOverlay() {
        QFETCH(int, screenIndex);
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        QFETCH(QRect, expected);
        const QList<QScreen*> screens = QGuiApplication::screens();
        QCOMPARE(screens.size(), 2);
        auto grab = std::make_shared<FakeDesktop>();
        TScreenCapture capture(nullptr, grab);
        capture.SetMinimize(false);
        capture.SetDelay(0);
        capture.SetAuto(false);
        QList<TCaptureRectForm*> shown;
        capture.OnOverlayShown = [&](TCaptureRectForm& first) {
            const auto& overlays = capture.Overlays();
            shown = QList<TCaptureRectForm*>(overlays.begin(), overlays.end());
            // A failed check ends the capture at once rather than leaving it waiting.
            struct CloseUnlessDriven {
                TCaptureRectForm& form;
                bool driven = false;
                ~CloseUnlessDriven() {
                    if (!driven)
                        form.close();
                }
            } guard{first};
            QCOMPARE(shown.size(), 2);
            QCOMPARE(shown.front(), &first);
            for (int i = 0; i < 2; ++i) {
                TCaptureRectForm& form = *shown[i];
                QVERIFY(QTest::qWaitForWindowExposed(&form));
                QCOMPARE(form.screen(), screens[i]);
                QCOMPARE(form.geometry(), screens[i]->geometry());
                QCOMPARE(shownBy(form), grab->desktop[std::size_t(i)].picture);
            }
            guard.driven = true;
            TCaptureRectForm& target = *shown[screenIndex];
            if (expected.isNull())
                QTest::keyClick(&target, Qt::Key_Escape);
            else
                overlay::drag(target, from, to);
        };
        const std::optional<QImage> got = capture.CaptureSelection();
        if (QTest::currentTestFailed())
            return;
        QVERIFY(capture.Overlays().empty());
        if (expected.isNull()) {
            QVERIFY(!got.has_value());
            return;
        }
        QVERIFY(got.has_value());
        QCOMPARE(got->convertToFormat(QImage::Format_RGB32),
                 grab->desktop[std::size_t(screenIndex)].picture.copy(expected));
    }
};

int main(int argc, char** argv) {
    // Qt's offscreen platform with two screens: the primary scaled by 2, then a larger one.
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screens.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(R"({"screens": [
        {"name": "A", "x": 0, "y": 0, "width": 800, "height": 600, "logicalDpi": 96,
         "logicalBpi": 96, "dpr": 2},
        {"name": "B", "x": 800, "y": 0, "width": 1024, "height": 768, "logicalDpi": 96,
         "logicalBpi": 96, "dpr": 1}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
    QApplication app(argc, argv);
    ScaledOverlayTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "ScaledOverlayTest.moc"
