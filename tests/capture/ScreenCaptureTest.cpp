// The capture component with a stand-in for the screen: what a capture returns, keeps and puts
// on the clipboard; the program's windows off the screen while it is frozen and back afterwards,
// also when the grab fails; the pauses; the screen-grab layer's loader and fallback.
#include "tests/capture/OverlayDriver.h"

#include "capture/CaptureRectForm.h"
#include "capture/ScreenCapture.h"
#include "capture/ScreenGrab.h"
#include "capture/wlroots/WlrootsScreenGrab.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

#include <functional>
#include <memory>

using namespace velorix::capture;

namespace {

// The screen as a fixed picture; records what the program showed when it was grabbed.
class FakeGrab final : public IScreenGrab {
public:
    QImage screen = overlay::distinctPicture(800, 600);
    std::function<std::optional<QImage>()> answer; // replaces the picture when set
    QWidget* watched = nullptr;
    bool watchedVisible = false;
    bool watchedExposed = false;
    qint64 grabbedAtMs = -1;
    QElapsedTimer clock;
    int calls = 0;

    QString Name() const override { return QStringLiteral("fake"); }
    std::optional<DesktopPicture> GrabDesktop(const QString&) override {
        ++calls;
        grabbedAtMs = clock.isValid() ? clock.elapsed() : -1;
        if (watched) {
            watchedVisible = watched->isVisible();
            watchedExposed = watched->windowHandle() && watched->windowHandle()->isExposed();
        }
        const std::optional<QImage> picture = answer ? answer() : screen;
        if (!picture)
            return std::nullopt;
        return DesktopPicture{{QRect(QPoint(0, 0), picture->size()), *picture}};
    }
};

class Unavailable final : public IScreenGrab {
public:
    QString Name() const override { return QStringLiteral("none"); }
    std::optional<DesktopPicture> GrabDesktop(const QString&) override {
        throw EScreenUnavailable(QStringLiteral("pas ici"));
    }
};

} // namespace

class ScreenCaptureTest : public QObject {
    Q_OBJECT

    std::shared_ptr<FakeGrab> grab;
    std::unique_ptr<TScreenCapture> capture;
    int overlays = 0;

    // Each overlay gets this drag, or is closed by the system when `closeIt`.
    void driveWith(QPoint from, QPoint to, bool closeIt = false) {
        capture->OnOverlayShown = [=, this](TCaptureRectForm& form) {
            ++overlays;
            if (closeIt)
                form.close();
            else
                overlay::drag(form, from, to);
        };
    }

private slots:
    void init() {
        grab = std::make_shared<FakeGrab>();
        capture = std::make_unique<TScreenCapture>(nullptr, grab);
        capture->SetDelay(0);
        capture->SetMinimize(false);
        overlays = 0;
    }

    void defaults() {
        TScreenCapture fresh(nullptr, grab);
        QCOMPARE(fresh.Delay(), 500);
        QVERIFY(fresh.Minimize());
        QVERIFY(fresh.Auto());
        QCOMPARE(fresh.Version(), QStringLiteral("TScreenCapture v1.0"));
        fresh.SetVersion(QStringLiteral("autre"));
        QCOMPARE(fresh.Version(), QStringLiteral("TScreenCapture v1.0"));
        QVERIFY(fresh.LastCapture().isNull());
    }

    void captureIsKeptNotifiedAndOnTheClipboard() {
        QList<TScreenCapture*> notified;
        capture->OnCapture = [&](TScreenCapture* sender) { notified << sender; };
        driveWith(QPoint(100, 100), QPoint(300, 250));
        const std::optional<QImage> got = capture->CaptureSelection();
        QVERIFY(got.has_value());
        const QImage expected = grab->screen.copy(100, 100, 200, 150);
        QCOMPARE(got->convertToFormat(QImage::Format_RGB32), expected);
        QCOMPARE(capture->LastCapture().convertToFormat(QImage::Format_RGB32), expected);
        QCOMPARE(notified, QList<TScreenCapture*>{capture.get()});
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
                 expected);
        QCOMPARE(overlays, 1);
    }

    void autoOffLeavesTheClipboard() {
        QImage marker(3, 3, QImage::Format_RGB32);
        marker.fill(Qt::blue);
        QGuiApplication::clipboard()->setImage(marker);
        capture->SetAuto(false);
        driveWith(QPoint(10, 10), QPoint(60, 40));
        QVERIFY(capture->CaptureSelection().has_value());
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
                 marker);
    }

    void closedOverlayGivesNothing() {
        driveWith(QPoint(10, 10), QPoint(60, 40));
        QVERIFY(capture->CaptureSelection().has_value());
        const QImage kept = capture->LastCapture();
        int notified = 0;
        capture->OnCapture = [&](TScreenCapture*) { ++notified; };
        driveWith({}, {}, true);
        QVERIFY(!capture->CaptureSelection().has_value());
        QCOMPARE(notified, 0);
        QCOMPARE(capture->LastCapture(), kept);
    }

    void emptyDragGivesAnEmptyPicture() {
        int notified = 0;
        capture->OnCapture = [&](TScreenCapture*) { ++notified; };
        driveWith(QPoint(300, 250), QPoint(100, 100));
        const std::optional<QImage> got = capture->CaptureSelection();
        QVERIFY(got.has_value());
        QVERIFY(got->isNull());
        QCOMPARE(notified, 1);
    }

    void refusedByTheDesktopShowsNoOverlay() {
        grab->answer = [] { return std::optional<QImage>(); };
        driveWith(QPoint(10, 10), QPoint(60, 40));
        QVERIFY(!capture->CaptureSelection().has_value());
        QCOMPARE(overlays, 0);
    }

    // The window is off the screen when the screen is frozen, and back afterwards in its state.
    void minimizeTakesTheWindowsOffAndBack_data() {
        QTest::addColumn<bool>("minimize");
        QTest::addColumn<bool>("grabFails");
        QTest::newRow("minimize") << true << false;
        QTest::newRow("minimize, grab fails") << true << true;
        QTest::newRow("stay in view") << false << false;
    }
    void minimizeTakesTheWindowsOffAndBack() {
        QFETCH(bool, minimize);
        QFETCH(bool, grabFails);
        QWidget window;
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        grab->watched = &window;
        if (grabFails)
            grab->answer = []() -> std::optional<QImage> {
                throw EScreenCaptureError(QStringLiteral("en panne"));
            };
        capture->SetMinimize(minimize);
        driveWith(QPoint(10, 10), QPoint(60, 40));
        if (grabFails)
            QVERIFY_THROWS_EXCEPTION(EScreenCaptureError, capture->CaptureSelection());
        else
            QVERIFY(capture->CaptureSelection().has_value());
        QCOMPARE(grab->watchedVisible, !minimize);
        QCOMPARE(grab->watchedExposed, !minimize);
        QVERIFY(window.isVisible());
        QVERIFY(!(window.windowState() & Qt::WindowMinimized));
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    // Focus goes back to the window the user was in, whichever of the program's windows it is.
    void focusReturnsToTheWindowTheUserWasIn_data() {
        QTest::addColumn<int>("activeIndex");
        QTest::newRow("first active") << 0;
        QTest::newRow("second active") << 1;
    }
    void focusReturnsToTheWindowTheUserWasIn() {
        QFETCH(int, activeIndex);
        QWidget windows[2];
        for (QWidget& w : windows) {
            w.resize(200, 100);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
        }
        QWidget& user = windows[activeIndex];
        user.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&user));
        capture->SetMinimize(true);
        driveWith(QPoint(10, 10), QPoint(60, 40));
        QVERIFY(capture->CaptureSelection().has_value());
        QTRY_COMPARE(QApplication::activeWindow(), &user);
    }

    // The pause comes before the screen is frozen and again after a selection, also when the
    // windows stay in view.
    void delayBeforeAndAfter() {
        capture->SetDelay(150);
        driveWith(QPoint(10, 10), QPoint(60, 40));
        grab->clock.start();
        QVERIFY(capture->CaptureSelection().has_value());
        QVERIFY2(grab->grabbedAtMs >= 150, qPrintable(QString::number(grab->grabbedAtMs)));
        QVERIFY(grab->clock.elapsed() >= 300);
    }

    void noWayToTheScreen() {
        TScreenCapture none(nullptr, std::make_shared<NullScreenGrab>());
        none.SetDelay(0);
        try {
            none.CaptureSelection();
            QFAIL("no failure");
        } catch (const EScreenCaptureError& e) {
            QCOMPARE(QString::fromStdString(e.what()),
                     QStringLiteral("Impossible de capturer l'écran : aucun moyen d'accéder "
                                    "à l'écran."));
        }
    }

    void loaderHonoursTheVariable() {
        qunsetenv("WAYLAND_DISPLAY");
        qputenv("XDG_SESSION_TYPE", "x11");
        qputenv(ScreenGrabEnv, "null");
        QCOMPARE(LoadScreenGrab()->Name(), QStringLiteral("null"));
        qputenv(ScreenGrabEnv, "nonsense");
        QCOMPARE(LoadScreenGrab()->Name(), QStringLiteral("null"));
        qputenv(ScreenGrabEnv, "portal");
        QCOMPARE(LoadScreenGrab()->Name(), QStringLiteral("portal"));
        qputenv(ScreenGrabEnv, "x11");
        QCOMPARE(LoadScreenGrab()->Name(), QStringLiteral("x11"));
        qunsetenv(ScreenGrabEnv);
        QCOMPARE(LoadScreenGrab()->Name(), QStringLiteral("x11+portal"));
    }

    // A Wayland session goes through the portal, then the compositor's own screen copy, whatever
    // Qt runs on (here offscreen; through Xwayland Qt's grab would give a black picture); the
    // variable still wins.
    void waylandSessionTakesThePortal_data() {
        QTest::addColumn<QByteArray>("waylandDisplay");
        QTest::addColumn<QByteArray>("sessionType");
        QTest::addColumn<QByteArray>("forced");
        QTest::addColumn<QString>("backend");
        QTest::newRow("WAYLAND_DISPLAY") << QByteArray("wayland-1") << QByteArray("x11")
                                         << QByteArray() << QStringLiteral("portal+wlroots");
        QTest::newRow("session type") << QByteArray() << QByteArray("wayland") << QByteArray()
                                      << QStringLiteral("portal+wlroots");
        QTest::newRow("forced x11") << QByteArray("wayland-1") << QByteArray("wayland")
                                    << QByteArray("x11") << QStringLiteral("x11");
        QTest::newRow("forced wlroots") << QByteArray("wayland-1") << QByteArray("wayland")
                                        << QByteArray("wlroots") << QStringLiteral("wlroots");
    }
    void waylandSessionTakesThePortal() {
        QFETCH(QByteArray, waylandDisplay);
        QFETCH(QByteArray, sessionType);
        QFETCH(QByteArray, forced);
        QFETCH(QString, backend);
        auto set = [](const char* name, const QByteArray& value) {
            if (value.isEmpty())
                qunsetenv(name);
            else
                qputenv(name, value);
        };
        set("WAYLAND_DISPLAY", waylandDisplay);
        set("XDG_SESSION_TYPE", sessionType);
        set(ScreenGrabEnv, forced);
        QCOMPARE(LoadScreenGrab()->Name(), backend);
        qunsetenv("WAYLAND_DISPLAY");
        qunsetenv("XDG_SESSION_TYPE");
        qunsetenv(ScreenGrabEnv);
    }

    // What grim answers is checked before it counts as the screen: its status, its size against
    // the screen's (one scale for both axes), a flood or a hang cut short. A compositor without
    // wlroots' screen copy leaves the way to another backend.
    void compositorCopyIsChecked_data() {
        QTest::addColumn<QString>("grim");  // the shell script standing for grim
        QTest::addColumn<QSize>("picture"); // valid when the copy is taken
        QTest::addColumn<QString>("says");  // the message otherwise; empty: unavailable
        const QString ppm = QStringLiteral("printf 'P6\\n%1 %2\\n255\\n'; head -c %3 /dev/zero");
        const QSize screen = DesktopScreens().front().size();
        const int w = screen.width(), h = screen.height();
        QTest::newRow("at scale 2")
            << ppm.arg(2 * w).arg(2 * h).arg(12 * w * h) << QSize(2 * w, 2 * h) << QString();
        QTest::newRow("not wlroots")
            << QStringLiteral("echo \"compositor doesn't support wlr-screencopy-unstable-v1\" >&2; "
                              "exit 1")
            << QSize() << QString();
        QTest::newRow("failed") << QStringLiteral("echo 'output lost' >&2; exit 2") << QSize()
                                << QStringLiteral("(output lost)");
        QTest::newRow("other proportions")
            << ppm.arg(w).arg(h / 2).arg(3 * w * (h / 2)) << QSize()
            << QStringLiteral("image de %1 × %2 pour un écran de %1 × %3").arg(w).arg(h / 2).arg(h);
        QTest::newRow("garbage") << QStringLiteral("echo bonjour") << QSize()
                                 << QStringLiteral("(image illisible)");
        QTest::newRow("flood") << QStringLiteral("exec cat /dev/zero") << QSize()
                               << QStringLiteral("(image trop grande)");
        QTest::newRow("hang") << QStringLiteral("exec sleep 30") << QSize()
                              << QStringLiteral("(pas de réponse)");
    }
    void compositorCopyIsChecked() {
        QFETCH(QString, grim);
        QFETCH(QSize, picture);
        QFETCH(QString, says);
        QTemporaryDir bin;
        QFile script(bin.filePath(QStringLiteral("grim")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n" + grim.toUtf8() + "\n");
        script.close();
        QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ":" + path);
        qputenv("WAYLAND_DISPLAY", "wayland-velorix-test");
        QElapsedTimer clock;
        clock.start();
        QString failure;
        bool unavailable = false;
        std::optional<DesktopPicture> got;
        try {
            got = WlrootsScreenGrab(2000).GrabDesktop(QString());
        } catch (const EScreenUnavailable&) {
            unavailable = true;
        } catch (const EScreenCaptureError& e) {
            failure = QString::fromUtf8(e.what());
        }
        qputenv("PATH", path);
        qunsetenv("WAYLAND_DISPLAY");
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        if (picture.isValid()) {
            QVERIFY2(got && got->size() == 1, qPrintable(failure));
            QCOMPARE(got->front().geometry, DesktopScreens().front());
            QCOMPARE(got->front().picture.size(), picture);
        } else if (says.isEmpty()) {
            QVERIFY2(unavailable, qPrintable(failure));
        } else {
            QVERIFY2(
                failure.startsWith(QStringLiteral(
                    "Impossible de capturer l'écran : la copie d'écran du compositeur a échoué")) &&
                    failure.contains(says),
                qPrintable(failure));
        }
    }

    // A portal's one picture of the desktop is cut into each screen's part, per axis: two screens
    // of different sizes side by side, the picture at the layout's size, scaled, and stretched.
    void desktopPictureIsCutPerScreen_data() {
        QTest::addColumn<QSize>("pictureSize");
        QTest::addColumn<QRect>("first");
        QTest::addColumn<QRect>("second");
        QTest::newRow("one to one")
            << QSize(1824, 768) << QRect(0, 0, 800, 600) << QRect(800, 0, 1024, 768);
        QTest::newRow("scaled by 2")
            << QSize(3648, 1536) << QRect(0, 0, 1600, 1200) << QRect(1600, 0, 2048, 1536);
        QTest::newRow("1.5 across, 2 down")
            << QSize(2736, 1536) << QRect(0, 0, 1200, 1200) << QRect(1200, 0, 1536, 1536);
    }
    void desktopPictureIsCutPerScreen() {
        QFETCH(QSize, pictureSize);
        QFETCH(QRect, first);
        QFETCH(QRect, second);
        const QImage desktop = overlay::distinctPicture(pictureSize.width(), pictureSize.height());
        const QList<QRect> screens{QRect(0, 0, 800, 600), QRect(800, 0, 1024, 768)};
        const DesktopPicture parts = CutDesktopPicture(desktop, screens);
        QCOMPARE(parts.size(), std::size_t(2));
        QCOMPARE(parts[0].geometry, screens[0]);
        QCOMPARE(parts[1].geometry, screens[1]);
        QCOMPARE(parts[0].picture, desktop.copy(first));
        QCOMPARE(parts[1].picture, desktop.copy(second));
    }

    // Moves on only while a backend cannot reach the screen; other failures and refusals stop.
    void fallbackOrder() {
        FallbackScreenGrab both({std::make_shared<Unavailable>(), grab});
        QCOMPARE(both.GrabDesktop({})->front().picture.size(), QSize(800, 600));
        QCOMPARE(grab->calls, 1);

        FallbackScreenGrab none({std::make_shared<Unavailable>(), std::make_shared<Unavailable>()});
        QVERIFY_THROWS_EXCEPTION(EScreenUnavailable, none.GrabDesktop({}));

        auto failing = std::make_shared<FakeGrab>();
        failing->answer = []() -> std::optional<QImage> {
            throw EScreenCaptureError(QStringLiteral("refus"));
        };
        FallbackScreenGrab stops({failing, grab});
        QVERIFY_THROWS_EXCEPTION(EScreenCaptureError, stops.GrabDesktop({}));
        QCOMPARE(grab->calls, 1);
    }
};

QTEST_MAIN(ScreenCaptureTest)
#include "ScreenCaptureTest.moc"
