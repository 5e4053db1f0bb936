// Drives real captures on a real X server for X11CaptureTest.sh:
//   CaptureProbe picture FILE W H      writes a picture whose every pixel can be told apart
//   CaptureProbe capture MINIMIZE ROOT  shows a window of its own, captures a drag made with
//                                       xdotool, checks the pixels against ROOT (the picture on
//                                       the root window) and the clipboard through a second
//                                       process while this one still runs
//   CaptureProbe read-clipboard FILE    saves the clipboard's picture
//   CaptureProbe portal PICTURE         captures a drag over what the desktop portal returns
//                                       (PICTURE, through the fake backend)
// Exit status 0 when every check holds; the failed checks are printed.
#include "OverlayDriver.h"

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

int failures = 0;

void check(bool ok, const QString& what) {
    if (!ok) {
        ++failures;
        std::fprintf(stderr, "FAILED: %s\n", qPrintable(what));
    }
}

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
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
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
// next. The overlay is driven with Qt's events.
int portal(const QString& screenFile) {
    const QImage screen = QImage(screenFile).convertToFormat(QImage::Format_RGB32);
    TScreenCapture component(nullptr, LoadScreenGrab());
    component.SetMinimize(false);
    component.SetDelay(0);
    QImage snapshot;
    component.OnOverlayShown = [&](TCaptureRectForm& form) {
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
    std::fprintf(stderr, "grab backend %s, snapshot %dx%d, capture %s\n",
                 qPrintable(component.Grab().Name()), snapshot.width(), snapshot.height(),
                 got ? (got->isNull() ? "empty" : "taken") : "none");
    check(snapshot == screen, QStringLiteral("the overlay shows the portal's picture"));
    check(got && got->convertToFormat(QImage::Format_RGB32) == screen.copy(100, 100, 200, 150),
          QStringLiteral("the drag gives the portal picture's pixels"));
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == QLatin1String("picture"))
        return overlay::distinctPicture(args.value(3).toInt(), args.value(4).toInt())
                       .save(args.value(2))
                   ? 0
                   : 1;
    if (mode == QLatin1String("read-clipboard"))
        return readClipboard(args.value(2));
    if (mode == QLatin1String("portal"))
        return portal(args.value(2));
    if (mode == QLatin1String("capture"))
        return capture(args.value(2) == QLatin1String("1"), args.value(3));
    std::fprintf(stderr, "usage: CaptureProbe picture|capture|read-clipboard ...\n");
    return 2;
}
