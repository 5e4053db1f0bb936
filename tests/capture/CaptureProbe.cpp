// Drives real captures on a real X server for X11CaptureTest.sh:
//   CaptureProbe picture FILE W H [mirrored]  writes a picture whose every pixel can be told
//                                       apart (mirrored left to right)
//   CaptureProbe capture MINIMIZE ROOT  shows a window of its own, captures a drag made with
//                                       xdotool, checks the pixels against ROOT (the picture on
//                                       the root window) and the clipboard through a second
//                                       process while this one still runs
//   CaptureProbe read-clipboard FILE    saves the clipboard's picture
//   CaptureProbe same-part WHOLE PART X Y  exit 0 when PART is WHOLE's pixels at (X, Y)
//   CaptureProbe desktop REF [xdotool]  on a desktop of one or more screens: a desktop capture on
//                                       each screen in turn, checked against REF (the whole
//                                       desktop as a reference tool saw it); the drag is made
//                                       with xdotool, or with Qt's events
//   CaptureProbe portal PICTURE         captures a drag on each screen over what the desktop
//                                       portal returns (PICTURE of the whole desktop, through
//                                       the fake backend)
// Exit status 0 when every check holds; the failed checks are printed.
#include "tests/capture/OverlayDriver.h"
#include "tests/capture/ProbeChecks.h"

#include "capture/CaptureRectForm.h"
#include "capture/ScreenCapture.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdio>

using namespace velorix::capture;

namespace {

using probe::check;
using probe::failures;

// Runs a program without blocking this one's event loop (it may ask us for the clipboard).
int runAndWait(const QString& program, const QStringList& args, int timeoutMs) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    p.start(program, args);
    loop.exec();
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

int readClipboard(const QString& file) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        const QImage img = QGuiApplication::clipboard()->image();
        if (!img.isNull())
            return img.save(file) ? 0 : 1;
        QTest::qWait(100);
    }
    std::fprintf(stderr, "no picture on the clipboard\n");
    return 1;
}

int capture(bool minimize, const QString& rootFile) {
    const QImage root = QImage(rootFile).convertToFormat(QImage::Format_RGB32);
    check(!root.isNull(), QStringLiteral("root picture readable"));

    QWidget window;
    window.setWindowTitle(QStringLiteral("Velorix capture probe"));
    window.setStyleSheet(QStringLiteral("background: #ff00ff"));
    window.setGeometry(40, 40, 300, 200);
    if (!probe::showAndWait(window))
        check(false, QStringLiteral("probe window shown"));
    QTest::qWait(300);

    TScreenCapture component(nullptr, LoadScreenGrab());
    component.SetMinimize(minimize);
    component.SetDelay(200);
    QImage snapshot;
    component.OnOverlayShown = [&](TCaptureRectForm& form) {
        snapshot = form.Snapshot();
        QTimer::singleShot(0, &form, [&form] {
            if (!QTest::qWaitForWindowExposed(&form))
                check(false, QStringLiteral("overlay shown"));
            QTest::qWait(200);
            const int rc = runAndWait(
                QStringLiteral("xdotool"),
                QString("mousemove 100 100 sleep 0.1 mousedown 1 sleep 0.1 mousemove 200 180 "
                        "sleep 0.1 mousemove 300 250 sleep 0.2 mouseup 1")
                    .split(QLatin1Char(' ')),
                20000);
            check(rc == 0, QStringLiteral("xdotool ran"));
        });
    };
    std::optional<QImage> got;
    try {
        got = component.CaptureSelection();
    } catch (const std::exception& e) {
        check(false, QStringLiteral("capture failed: ") + QString::fromUtf8(e.what()));
    }
    check(got.has_value() && !got->isNull(), QStringLiteral("a picture was captured"));
    if (!got || got->isNull())
        return 1;

    const QImage picture = got->convertToFormat(QImage::Format_RGB32);
    check(picture.size() == QSize(200, 150),
          QStringLiteral("size %1x%2").arg(picture.width()).arg(picture.height()));
    QImage frozen = snapshot.convertToFormat(QImage::Format_RGB32);
    frozen.setDevicePixelRatio(1);
    check(picture == frozen.copy(100, 100, 200, 150),
          QStringLiteral("the drag gives exactly the frozen screen's pixels"));
    const QPoint inside = window.geometry().center();
    if (minimize) {
        check(frozen == root, QStringLiteral("the desktop capture is the root picture alone"));
        if (frozen != root && qEnvironmentVariableIsSet("CAPTURE_PROBE_DUMP"))
            frozen.save(qEnvironmentVariable("CAPTURE_PROBE_DUMP"));
    } else {
        check(frozen.pixel(inside) == qRgb(255, 0, 255),
              QStringLiteral("the window left in view is in the capture"));
    }

    check(window.isVisible() && QTest::qWaitForWindowExposed(&window),
          QStringLiteral("the window is back on screen"));

    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clipboard.png"));
    const int rc = runAndWait(QCoreApplication::applicationFilePath(),
                              {QStringLiteral("read-clipboard"), clip}, 20000);
    check(rc == 0, QStringLiteral("clipboard read by another program"));
    check(QImage(clip).convertToFormat(QImage::Format_RGB32) == picture,
          QStringLiteral("the clipboard holds the captured picture"));
    return failures == 0 ? 0 : 1;
}

// The desktop as a portal gives it: Qt's own grab gets nothing here (offscreen), the portal is
// next. Its picture holds every screen at one pixel per logical pixel; one capture per screen,
// each overlay driven with Qt's events.
int portal(const QString& screenFile) {
    const QImage desktop = QImage(screenFile).convertToFormat(QImage::Format_RGB32);
    const QList<QRect> screens = DesktopScreens();
    QRect bounds;
    for (const QRect& r : screens)
        bounds |= r;
    TScreenCapture component(nullptr, LoadScreenGrab());
    component.SetMinimize(false);
    component.SetDelay(0);
    for (int i = 0; i < screens.size(); ++i) {
        const QImage part = desktop.copy(screens[i].translated(-bounds.topLeft()));
        QImage snapshot;
        int shown = 0;
        component.OnOverlayShown = [&](TCaptureRectForm&) {
            shown = int(component.Overlays().size());
            TCaptureRectForm& form = *component.Overlays().at(std::size_t(i));
            snapshot = form.Snapshot().convertToFormat(QImage::Format_RGB32);
            overlay::drag(form, QPoint(100, 100), QPoint(300, 250));
        };
        std::optional<QImage> got;
        try {
            got = component.CaptureSelection();
        } catch (const std::exception& e) {
            check(false, QStringLiteral("capture failed: ") + QString::fromUtf8(e.what()));
            return 1;
        }
        snapshot.setDevicePixelRatio(1);
        std::fprintf(stderr, "grab backend %s, screen %d of %d, snapshot %dx%d, capture %s\n",
                     qPrintable(component.Grab().Name()), i + 1, shown, snapshot.width(),
                     snapshot.height(), got ? (got->isNull() ? "empty" : "taken") : "none");
        check(shown == screens.size(), QStringLiteral("an overlay on every screen"));
        check(snapshot == part, QStringLiteral("the overlay shows its screen's part"));
        check(got && got->convertToFormat(QImage::Format_RGB32) == part.copy(100, 100, 200, 150),
              QStringLiteral("the drag gives the portal picture's pixels"));
    }
    return failures == 0 ? 0 : 1;
}

// A desktop capture on each screen of a real desktop, compared with a reference picture of the
// whole desktop at one pixel per logical pixel.
int desktop(const QString& refFile, bool xdotool) {
    const QImage ref = QImage(refFile).convertToFormat(QImage::Format_RGB32);
    const QList<QRect> screens = DesktopScreens();
    const QRect bounds = probe::desktopOf(screens, ref);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Velorix capture probe"));
    window.setStyleSheet(QStringLiteral("background: #ff00ff"));
    window.resize(300, 200);
    if (!probe::showAndWait(window))
        check(false, QStringLiteral("probe window shown"));

    TScreenCapture component(nullptr, LoadScreenGrab());
    component.SetMinimize(true);
    component.SetDelay(300);
    component.SetAuto(false);
    for (int i = 0; i < screens.size(); ++i) {
        const QRect place = screens[i].translated(-bounds.topLeft());
        const QPoint from = screens[i].topLeft() + QPoint(100, 100);
        QImage snapshot;
        int shown = 0;
        component.OnOverlayShown = [&](TCaptureRectForm&) {
            shown = int(component.Overlays().size());
            if (std::size_t(i) >= component.Overlays().size()) {
                component.Overlays().front()->close();
                return;
            }
            TCaptureRectForm& form = *component.Overlays()[std::size_t(i)];
            snapshot = form.Snapshot().convertToFormat(QImage::Format_RGB32);
            if (!xdotool) {
                overlay::drag(form, QPoint(100, 100), QPoint(300, 250));
                return;
            }
            QTimer::singleShot(0, &form, [&component, from] {
                for (TCaptureRectForm* f : component.Overlays()) {
                    if (!QTest::qWaitForWindowExposed(f))
                        check(false, QStringLiteral("overlay shown"));
                }
                QTest::qWait(300);
                const QPoint mid = from + QPoint(100, 80);
                const QPoint to = from + QPoint(200, 150);
                const int rc = runAndWait(
                    QStringLiteral("xdotool"),
                    QString("mousemove %1 %2 sleep 0.1 mousedown 1 sleep 0.1 mousemove %3 %4 "
                            "sleep 0.1 mousemove %5 %6 sleep 0.2 mouseup 1")
                        .arg(from.x())
                        .arg(from.y())
                        .arg(mid.x())
                        .arg(mid.y())
                        .arg(to.x())
                        .arg(to.y())
                        .split(QLatin1Char(' ')),
                    20000);
                check(rc == 0, QStringLiteral("xdotool ran"));
                for (TCaptureRectForm* f : component.Overlays())
                    std::fprintf(stderr, "overlay at %d,%d %dx%d saw %d,%d to %d,%d\n",
                                 f->geometry().x(), f->geometry().y(), f->width(), f->height(),
                                 f->StartPoint().x(), f->StartPoint().y(), f->EndPoint().x(),
                                 f->EndPoint().y());
                // A drag the overlay never saw must not leave the test waiting.
                QTimer::singleShot(3000, component.Overlays().front(), [&component] {
                    if (!component.Overlays().empty())
                        component.Overlays().front()->close();
                });
            });
        };
        std::optional<QImage> got;
        try {
            got = component.CaptureSelection();
        } catch (const std::exception& e) {
            check(false, QStringLiteral("capture failed: ") + QString::fromUtf8(e.what()));
            return 1;
        }
        snapshot.setDevicePixelRatio(1);
        std::fprintf(stderr,
                     "grab backend %s, screen %d of %d at %d,%d, frozen %dx%d, capture %s\n",
                     qPrintable(component.Grab().Name()), i + 1, shown, screens[i].x(),
                     screens[i].y(), snapshot.width(), snapshot.height(),
                     got ? (got->isNull() ? "empty" : "taken") : "none");
        check(shown == screens.size(), QStringLiteral("an overlay on every screen"));
        check(snapshot == ref.copy(place),
              QStringLiteral("screen %1 frozen as the reference shows it").arg(i + 1));
        check(got && got->convertToFormat(QImage::Format_RGB32) ==
                         ref.copy(place.x() + 100, place.y() + 100, 200, 150),
              QStringLiteral("the drag on screen %1 gives the reference's pixels").arg(i + 1));
        if (snapshot != ref.copy(place) && qEnvironmentVariableIsSet("CAPTURE_PROBE_DUMP"))
            snapshot.save(qEnvironmentVariable("CAPTURE_PROBE_DUMP") +
                          QStringLiteral("-%1.png").arg(i + 1));
        check(window.isVisible() && QTest::qWaitForWindowExposed(&window),
              QStringLiteral("the window is back on screen"));
    }

    // Escape over the last screen leaves the capture with nothing.
    const QPoint last = screens.back().center();
    int shown = 0;
    component.OnOverlayShown = [&](TCaptureRectForm&) {
        shown = int(component.Overlays().size());
        TCaptureRectForm* target = component.Overlays().back();
        if (!xdotool) {
            QTest::keyClick(target, Qt::Key_Escape);
            return;
        }
        QTimer::singleShot(0, target, [&component, last] {
            for (TCaptureRectForm* f : component.Overlays()) {
                if (!QTest::qWaitForWindowExposed(f))
                    check(false, QStringLiteral("overlay shown"));
            }
            QTest::qWait(300);
            const int rc =
                runAndWait(QStringLiteral("xdotool"),
                           {QStringLiteral("mousemove"), QString::number(last.x()),
                            QString::number(last.y()), QStringLiteral("sleep"),
                            QStringLiteral("0.2"), QStringLiteral("key"), QStringLiteral("Escape")},
                           20000);
            check(rc == 0, QStringLiteral("xdotool ran"));
            QTimer::singleShot(3000, component.Overlays().front(), [&component] {
                check(false, QStringLiteral("Escape left the overlays"));
                if (!component.Overlays().empty())
                    component.Overlays().front()->accept();
            });
        });
    };
    std::optional<QImage> escaped;
    try {
        escaped = component.CaptureSelection();
    } catch (const std::exception& e) {
        check(false, QStringLiteral("capture failed: ") + QString::fromUtf8(e.what()));
    }
    std::fprintf(stderr, "Escape over screen %d: %s\n", int(screens.size()),
                 escaped ? "a capture" : "nothing");
    check(shown == screens.size() && !escaped, QStringLiteral("Escape gives nothing"));
    check(window.isVisible() && QTest::qWaitForWindowExposed(&window),
          QStringLiteral("the window is back on screen after Escape"));
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == QLatin1String("picture"))
        return overlay::distinctPicture(args.value(3).toInt(), args.value(4).toInt())
                       .mirrored(args.value(5) == QLatin1String("mirrored"), false)
                       .save(args.value(2))
                   ? 0
                   : 1;
    if (mode == QLatin1String("read-clipboard"))
        return readClipboard(args.value(2));
    if (mode == QLatin1String("portal"))
        return portal(args.value(2));
    if (mode == QLatin1String("same-part")) {
        const QImage whole = QImage(args.value(2)).convertToFormat(QImage::Format_RGB32);
        const QImage part = QImage(args.value(3)).convertToFormat(QImage::Format_RGB32);
        return !part.isNull() &&
                       whole.copy(QRect(QPoint(args.value(4).toInt(), args.value(5).toInt()),
                                        part.size())) == part
                   ? 0
                   : 1;
    }
    if (mode == QLatin1String("desktop"))
        return desktop(args.value(2), args.value(3) == QLatin1String("xdotool"));
    if (mode == QLatin1String("capture"))
        return capture(args.value(2) == QLatin1String("1"), args.value(3));
    std::fprintf(stderr, "usage: CaptureProbe picture|capture|read-clipboard ...\n");
    return 2;
}
