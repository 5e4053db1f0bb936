#pragma once
// The screen copy of wlroots compositors (sway, Hyprland, river, Wayfire) through grim: the way
// to the screen on those desktops where no desktop portal offers screenshots (a stock sway
// session has no access dialog, so its portal leaves the Screenshot interface out).
#include "capture/ScreenGrab.h"

namespace velorix::capture {

class WlrootsScreenGrab final : public IScreenGrab {
public:
    // timeoutMs bounds each screen's copy.
    explicit WlrootsScreenGrab(int timeoutMs = 10000) : timeoutMs_(timeoutMs) {}
    QString Name() const override { return QStringLiteral("wlroots"); }
    // Each screen copied on its own, at its own scale: grim on the screen's rectangle of the
    // desktop, its picture read from grim's output (never a file) and checked against the
    // screen's size. Throws EScreenUnavailable outside a Wayland session, without grim, or on a
    // compositor without wlroots' screen copy.
    std::optional<DesktopPicture> GrabDesktop(const QString& parentWindow) override;

private:
    int timeoutMs_;
};

} // namespace velorix::capture
