#include "capture/ScreenCapture.h"

#include "capture/CaptureRectForm.h"
#include "capture/ProgramWindows.h"
#include "waits/Waits.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <memory>
#include <optional>

namespace velorix::capture {

namespace {

// The platform's text for the window asking, for the dialogs a desktop portal may show.
QString ParentWindowText() {
    QWidget* w = QApplication::activeWindow();
    if (!w)
        return {};
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return QStringLiteral("x11:%1").arg(quintptr(w->winId()), 0, 16);
    return {};
}

} // namespace

TScreenCapture::TScreenCapture(QObject* owner, std::shared_ptr<IScreenGrab> grab)
    : QObject(owner), grab_(grab ? std::move(grab) : LoadScreenGrab()) {}

TScreenCapture::~TScreenCapture() = default;

std::optional<QImage> TScreenCapture::RunOverlays(const DesktopPicture& desktop) {
    if (desktop.empty())
        throw EScreenCaptureError(noScreenAccessMessage());
    // One overlay per screen, each at its screen's place and scale. The first is modal and owns
    // the others, which Qt then leaves free to take input; any of them ends the capture.
    std::unique_ptr<TCaptureRectForm> first;
    TCaptureRectForm* ended = nullptr;
    struct Forget {
        std::vector<TCaptureRectForm*>& list;
        ~Forget() { list.clear(); }
    } forget{overlays_};
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (const ScreenPicture& part : desktop) {
        auto* form = new TCaptureRectForm(part.picture, part.geometry, first.get());
        if (!first)
            first.reset(form);
        else
            form->setModal(false);
        for (QScreen* screen : screens) {
            if (screen->geometry() == part.geometry)
                form->setScreen(screen);
        }
        overlays_.push_back(form);
        connect(form, &QDialog::finished, form, [&ended, form] {
            if (!ended)
                ended = form;
        });
    }
    // Through Xwayland the compositor puts every full-screen X window on the output in focus;
    // windows its window manager leaves alone stay where they are put, one on each output.
    const bool unmanaged =
        QGuiApplication::platformName() == QLatin1String("xcb") && IsWaylandSession();
    for (TCaptureRectForm* form : overlays_) {
        form->setGeometry(form->ScreenGeometry());
        if (unmanaged) {
            form->setWindowFlag(Qt::BypassWindowManagerHint);
            form->show();
        } else {
            form->showFullScreen();
        }
    }
    if (unmanaged) {
        // No window manager gives such windows the keyboard: the first takes it once it is on
        // screen, so that Escape works over any screen.
        waits::Until(
            [&first] { return first->windowHandle() && first->windowHandle()->isExposed(); }, 2000);
        first->activateWindow();
        first->grabKeyboard();
    }
    if (OnOverlayShown)
        OnOverlayShown(*first);
    // The overlays are modal: they take the user's input while the rest of ours is held.
    waits::Until([&ended] { return ended != nullptr; });
    if (!ended || ended->result() != QDialog::Accepted)
        return std::nullopt;
    return ended->Result();
}

std::optional<QImage> TScreenCapture::CaptureSelection() {
    const QString parent = ParentWindowText();
    std::optional<QImage> picture;
    {
        // Windows come back when this block ends, also on a failure.
        std::optional<ProgramWindowsHidden> hidden;
        if (minimize_)
            hidden.emplace();
        WaitMs(delay_);
        const std::optional<DesktopPicture> desktop = grab_->GrabDesktop(parent);
        if (!desktop)
            return std::nullopt;
        picture = RunOverlays(*desktop);
        if (!picture)
            return std::nullopt;
        WaitMs(delay_);
        last_ = picture->copy();
        if (auto_)
            CopyToClipboard();
        if (OnCapture)
            OnCapture(this);
    }
    return picture;
}

void TScreenCapture::CopyToClipboard() {
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setImage(last_);
}

} // namespace velorix::capture
