#include "capture/x11/X11ScreenGrab.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

namespace velorix::capture {

std::optional<QImage> X11ScreenGrab::GrabPrimaryScreen(const QString&) {
    // Platforms without a real screen behind them (offscreen, minimal) make up a picture.
    const QString platform = QGuiApplication::platformName();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen ||
        !(platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"))))
        throw EScreenUnavailable(noScreenAccessMessage());
    // Window 0 is the whole desktop; the pixmap is in device pixels.
    QImage picture = screen->grabWindow(0).toImage();
    if (picture.isNull())
        throw EScreenUnavailable(noScreenAccessMessage());
    picture.setDevicePixelRatio(1);
    return picture.convertToFormat(QImage::Format_RGB32);
}

} // namespace velorix::capture
