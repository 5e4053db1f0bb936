#pragma once
// TScreenCapture: lets the user pick a rectangle of any screen with the mouse, over a frozen
// picture of the desktop, and returns the rectangle's pixels; optionally takes the program's own
// windows off the screen first.
#include "capture/ScreenGrab.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace velorix::capture {

class TCaptureRectForm;

class TScreenCapture : public QObject {
    Q_OBJECT
public:
    // grab: how the screen is frozen; null takes the platform's (LoadScreenGrab).
    explicit TScreenCapture(QObject* owner = nullptr, std::shared_ptr<IScreenGrab> grab = nullptr);
    ~TScreenCapture() override;

    // Pause in milliseconds before the screen is frozen, and again after a selection.
    int Delay() const { return delay_; }
    void SetDelay(int ms) { delay_ = ms; }
    // Take the program's windows off the screen before the capture, back afterwards.
    bool Minimize() const { return minimize_; }
    void SetMinimize(bool on) { minimize_ = on; }
    // Also put every capture on the clipboard.
    bool Auto() const { return auto_; }
    void SetAuto(bool on) { auto_ = on; }
    QString Version() const { return QStringLiteral("TScreenCapture v1.0"); }
    void SetVersion(const QString&) {} // read-only: setting it does nothing
    // Called after each capture taken, with this component.
    std::function<void(TScreenCapture*)> OnCapture;

    // The last picture captured (null before the first).
    const QImage& LastCapture() const { return last_; }

    // Runs one capture: freezes the screen, shows the overlay modally and waits for the user.
    // Returns the selected pixels (a null picture when the release followed no drag towards
    // the lower right), or nothing when the overlay was closed without a release or the desktop
    // refused the capture. Throws EScreenCaptureError when the screen cannot be reached; the
    // program's windows come back in every case.
    std::optional<QImage> CaptureSelection();
    // Puts the last capture on the clipboard as a picture.
    void CopyToClipboard();

    // Called once the overlays are on screen, with the primary screen's (tests drive it from
    // here; Overlays() has the others).
    std::function<void(TCaptureRectForm&)> OnOverlayShown;
    // The overlays of the capture running, one per screen, the primary screen's first; empty
    // between captures.
    const std::vector<TCaptureRectForm*>& Overlays() const { return overlays_; }

    IScreenGrab& Grab() const { return *grab_; }

private:
    std::optional<QImage> RunOverlays(const DesktopPicture& desktop);

    std::shared_ptr<IScreenGrab> grab_;
    int delay_ = 500;
    bool minimize_ = true;
    bool auto_ = true;
    QImage last_;
    std::vector<TCaptureRectForm*> overlays_;
};

} // namespace velorix::capture
