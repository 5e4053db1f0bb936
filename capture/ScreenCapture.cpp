#include "capture/ScreenCapture.h"

#include "capture/CaptureRectForm.h"
#include "capture/ProgramWindows.h"

#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

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

std::optional<QImage> TScreenCapture::RunOverlay(const QImage& snapshot) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect geometry = screen ? screen->geometry() : QRect(QPoint(0, 0), snapshot.size());
    TCaptureRectForm form(snapshot, geometry);
    QEventLoop loop;
    connect(&form, &QDialog::finished, &loop, &QEventLoop::quit);
    form.showFullScreen();
    if (OnOverlayShown)
        OnOverlayShown(form);
    if (form.isVisible())
        loop.exec();
    if (form.result() != QDialog::Accepted)
        return std::nullopt;
    return form.Result();
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
        const std::optional<QImage> snapshot = grab_->GrabPrimaryScreen(parent);
        if (!snapshot)
            return std::nullopt;
        picture = RunOverlay(*snapshot);
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
