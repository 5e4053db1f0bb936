#include "capture/ScreenGrab.h"

#if VELORIX_HAVE_X11_GRAB
#include "capture/x11/X11ScreenGrab.h"
#endif
#if VELORIX_HAVE_PORTAL_GRAB
#include "capture/portal/PortalScreenGrab.h"
#endif

#include <QStringList>

namespace velorix::capture {

QString noScreenAccessMessage() {
    return QStringLiteral("Impossible de capturer l'écran : aucun moyen d'accéder à l'écran.");
}

std::optional<QImage> NullScreenGrab::GrabPrimaryScreen(const QString&) {
    throw EScreenUnavailable(noScreenAccessMessage());
}

QString FallbackScreenGrab::Name() const {
    QStringList names;
    for (const auto& b : backends_)
        names << b->Name();
    return names.join(QLatin1Char('+'));
}

std::optional<QImage> FallbackScreenGrab::GrabPrimaryScreen(const QString& parentWindow) {
    for (const auto& backend : backends_) {
        try {
            return backend->GrabPrimaryScreen(parentWindow);
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
    if (!forced.isEmpty())
        return std::make_shared<NullScreenGrab>();
    if (IsWaylandSession()) {
#if VELORIX_HAVE_PORTAL_GRAB
        return std::make_shared<PortalScreenGrab>();
#else
        return std::make_shared<NullScreenGrab>();
#endif
    }

    std::vector<std::shared_ptr<IScreenGrab>> chain;
#if VELORIX_HAVE_X11_GRAB
    chain.push_back(std::make_shared<X11ScreenGrab>());
#endif
#if VELORIX_HAVE_PORTAL_GRAB
    chain.push_back(std::make_shared<PortalScreenGrab>());
#endif
    if (chain.empty())
        return std::make_shared<NullScreenGrab>();
    return std::make_shared<FallbackScreenGrab>(std::move(chain));
}

} // namespace velorix::capture
