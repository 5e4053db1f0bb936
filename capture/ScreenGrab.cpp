#include "capture/ScreenGrab.h"

#if VELORIX_HAVE_X11_GRAB
#include "capture/x11/X11ScreenGrab.h"
#endif
#if VELORIX_HAVE_PORTAL_GRAB
#include "capture/portal/PortalScreenGrab.h"
#endif
#if VELORIX_HAVE_WLROOTS_GRAB
#include "capture/wlroots/WlrootsScreenGrab.h"
#endif

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

#include <cmath>

namespace velorix::capture {

QString noScreenAccessMessage() {
    return QStringLiteral("Impossible de capturer l'écran : aucun moyen d'accéder à l'écran.");
}

QList<QRect> DesktopScreens() {
    QList<QRect> places;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        places << primary->geometry();
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary)
            places << screen->geometry();
    }
    return places;
}

DesktopPicture CutDesktopPicture(const QImage& desktop, const QList<QRect>& screens) {
    QRect bounds;
    for (const QRect& r : screens)
        bounds |= r;
    if (bounds.isEmpty() || desktop.isNull())
        return {ScreenPicture{QRect(QPoint(0, 0), desktop.size()), desktop}};
    const double sx = double(desktop.width()) / bounds.width();
    const double sy = double(desktop.height()) / bounds.height();
    DesktopPicture parts;
    for (const QRect& r : screens) {
        // Edges rounded, not sizes: neighbouring screens share their edge pixel for pixel.
        const int left = int(std::lround((r.left() - bounds.left()) * sx));
        const int top = int(std::lround((r.top() - bounds.top()) * sy));
        const int right = int(std::lround((r.left() + r.width() - bounds.left()) * sx));
        const int bottom = int(std::lround((r.top() + r.height() - bounds.top()) * sy));
        parts.push_back({r, desktop.copy(left, top, right - left, bottom - top)});
    }
    return parts;
}

std::optional<DesktopPicture> NullScreenGrab::GrabDesktop(const QString&) {
    throw EScreenUnavailable(noScreenAccessMessage());
}

QString FallbackScreenGrab::Name() const {
    QStringList names;
    for (const auto& b : backends_)
        names << b->Name();
    return names.join(QLatin1Char('+'));
}

std::optional<DesktopPicture> FallbackScreenGrab::GrabDesktop(const QString& parentWindow) {
    for (const auto& backend : backends_) {
        try {
            return backend->GrabDesktop(parentWindow);
        } catch (const EScreenUnavailable&) {
            // This desktop offers the screen another way: try the next backend.
        }
    }
    throw EScreenUnavailable(noScreenAccessMessage());
}

bool IsWaylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

std::shared_ptr<IScreenGrab> LoadScreenGrab() {
    const QString forced = qEnvironmentVariable(ScreenGrabEnv);
#if VELORIX_HAVE_X11_GRAB
    if (forced == QLatin1String("x11"))
        return std::make_shared<X11ScreenGrab>();
#endif
#if VELORIX_HAVE_PORTAL_GRAB
    if (forced == QLatin1String("portal"))
        return std::make_shared<PortalScreenGrab>();
#endif
#if VELORIX_HAVE_WLROOTS_GRAB
    if (forced == QLatin1String("wlroots"))
        return std::make_shared<WlrootsScreenGrab>();
#endif
    if (!forced.isEmpty())
        return std::make_shared<NullScreenGrab>();

    std::vector<std::shared_ptr<IScreenGrab>> chain;
    const bool wayland = IsWaylandSession();
#if VELORIX_HAVE_X11_GRAB
    if (!wayland)
        chain.push_back(std::make_shared<X11ScreenGrab>());
#endif
#if VELORIX_HAVE_PORTAL_GRAB
    chain.push_back(std::make_shared<PortalScreenGrab>());
#endif
#if VELORIX_HAVE_WLROOTS_GRAB
    // A wlroots compositor's own screen copy where its portal offers no screenshots.
    if (wayland)
        chain.push_back(std::make_shared<WlrootsScreenGrab>());
#endif
    if (chain.empty())
        return std::make_shared<NullScreenGrab>();
    return std::make_shared<FallbackScreenGrab>(std::move(chain));
}

} // namespace velorix::capture
