#pragma once
// The screen-grab platform layer: one call that freezes every screen of the desktop.
// Backends: "x11" (the X server's root window through Qt, x11/), "portal" (the desktop portal's
// Screenshot interface over D-Bus, for Wayland, portal/), "wlroots" (the screen copy of wlroots
// compositors through grim, wlroots/) and "null" (no access to the screen). VELORIX_SCREEN
// forces one; otherwise a Wayland session goes through the portal, then the compositor's own
// screen copy where the portal offers no screenshots, and other desktops try Qt's grab first and
// the portal where Qt gets nothing.

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace velorix::capture {

// A capture that failed; the message is French and shown to the user as it is.
class EScreenCaptureError : public std::runtime_error {
public:
    explicit EScreenCaptureError(const QString& message)
        : std::runtime_error(message.toStdString()) {}
};

// The backend cannot reach the screen on this desktop at all (a later backend may).
class EScreenUnavailable : public EScreenCaptureError {
public:
    using EScreenCaptureError::EScreenCaptureError;
};

// The message when no backend can reach the screen.
QString noScreenAccessMessage();

// One screen as frozen: its place on the desktop in logical pixels (as QScreen::geometry()
// gives it) and its pixels in device pixels (a scaled screen gives more pixels than its size).
struct ScreenPicture {
    QRect geometry;
    QImage picture;
};
// Every screen of the desktop, the primary one first.
using DesktopPicture = std::vector<ScreenPicture>;

// The places of the program's screens in logical pixels, the primary one first.
QList<QRect> DesktopScreens();

// Cuts a picture of the whole desktop (the rectangle that bounds every screen) into each
// screen's part. Each axis has its own scale: a desktop of screens with different scales comes
// as one picture at one scale, whose proportions need not be the layout's.
DesktopPicture CutDesktopPicture(const QImage& desktop, const QList<QRect>& screens);

class IScreenGrab {
public:
    virtual ~IScreenGrab() = default;
    virtual QString Name() const = 0;
    // Every screen of the desktop. parentWindow is the platform's text for the window asking
    // ("x11:1e00007"), possibly empty; backends that show a dialog put it over that window.
    // Returns nothing when the user refused the capture in a dialog of the desktop. Throws
    // EScreenUnavailable when this backend cannot work here, EScreenCaptureError for other
    // failures.
    virtual std::optional<DesktopPicture> GrabDesktop(const QString& parentWindow) = 0;
};

// Reaches nothing and says so.
class NullScreenGrab final : public IScreenGrab {
public:
    QString Name() const override { return QStringLiteral("null"); }
    std::optional<DesktopPicture> GrabDesktop(const QString&) override;
};

// Environment variable forcing a backend: "null", "x11", "portal" or "wlroots".
inline constexpr const char* ScreenGrabEnv = "VELORIX_SCREEN";

// A Wayland session: WAYLAND_DISPLAY is set or XDG_SESSION_TYPE is "wayland", whichever
// platform Qt itself runs on.
bool IsWaylandSession();

// The backend VELORIX_SCREEN names (an unknown name gives the null backend), or the desktop's:
// in a Wayland session the portal, then a wlroots compositor's screen copy (never Qt's grab,
// which gets nothing there natively and a black picture through Xwayland, which would pass for
// a capture); elsewhere Qt's grab first, then the portal.
std::shared_ptr<IScreenGrab> LoadScreenGrab();

// Tries each backend in turn, moving on while one reports EScreenUnavailable.
class FallbackScreenGrab final : public IScreenGrab {
public:
    explicit FallbackScreenGrab(std::vector<std::shared_ptr<IScreenGrab>> backends)
        : backends_(std::move(backends)) {}
    QString Name() const override;
    std::optional<DesktopPicture> GrabDesktop(const QString& parentWindow) override;

private:
    std::vector<std::shared_ptr<IScreenGrab>> backends_;
};

} // namespace velorix::capture
