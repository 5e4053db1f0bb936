#pragma once
// The X server's screens through Qt: each screen's part of the root window.
#include "capture/ScreenGrab.h"

namespace velorix::capture {

class X11ScreenGrab final : public IScreenGrab {
public:
    QString Name() const override { return QStringLiteral("x11"); }
    // Throws EScreenUnavailable when Qt gets no picture (no screen, or a compositor that keeps
    // its screen to itself, as Wayland ones do) or runs on no real screen at all (offscreen).
    std::optional<DesktopPicture> GrabDesktop(const QString& parentWindow) override;
};

} // namespace velorix::capture
