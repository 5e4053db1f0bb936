#pragma once
// The desktop portal's Screenshot interface on the session bus: the way to the screen where the
// compositor keeps it to itself (Wayland). The portal writes the picture to a file and hands
// back its address; the file is ours to delete.
#include "capture/ScreenGrab.h"

namespace velorix::capture {

class PortalScreenGrab final : public IScreenGrab {
public:
    // timeoutMs bounds the wait for the portal's answer (the desktop may ask the user first).
    explicit PortalScreenGrab(int timeoutMs = 120000) : timeoutMs_(timeoutMs) {}
    QString Name() const override { return QStringLiteral("portal"); }
    // Non-interactive request: the whole screen, no dialog of the desktop's own. Throws
    // EScreenUnavailable when there is no session bus or no portal on it.
    // The portal's picture holds the whole desktop; it is cut into the screens' parts.
    std::optional<DesktopPicture> GrabDesktop(const QString& parentWindow) override;

private:
    int timeoutMs_;
};

} // namespace velorix::capture
