#include "capture/x11/X11ScreenGrab.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

namespace velorix::capture {

std::optional<DesktopPicture> X11ScreenGrab::GrabDesktop(const QString&) {
    // Platforms without a real screen behind them (offscreen, minimal) make up a picture.
    const QString platform = QGuiApplication::platformName();
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary ||
        !(platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"))))
        throw EScreenUnavailable(noScreenAccessMessage());
    QList<QScreen*> screens{primary};
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary)
            screens << screen;
    }
    DesktopPicture desktop;
    for (QScreen* screen : screens) {
        // Window 0 is the desktop; Qt gives this screen's part of it, in device pixels.
        QImage picture = screen->grabWindow(0).toImage();
        if (picture.isNull())
            throw EScreenUnavailable(noScreenAccessMessage());
        picture.setDevicePixelRatio(1);
        desktop.push_back({screen->geometry(), picture.convertToFormat(QImage::Format_RGB32)});
    }
    return desktop;
}

} // namespace velorix::capture
