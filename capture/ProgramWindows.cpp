#include "capture/ProgramWindows.h"

#include "waits/Waits.h"

#include <QApplication>
#include <QWindow>

namespace velorix::capture {

void WaitMs(int ms) {
    waits::For(ms);
}

ProgramWindowsHidden::ProgramWindowsHidden(int maxWaitMs) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        // Menus and tool tips close by themselves.
        const Qt::WindowType type = w->windowType();
        if (w->isVisible() && type != Qt::Popup && type != Qt::ToolTip)
            hidden_.push_back({w, w->windowState(), w->isActiveWindow()});
    }
    for (const Hidden& h : hidden_)
        h.window->hide();
    for (const Hidden& h : hidden_)
        h.window->setWindowState(h.state | Qt::WindowMinimized);

    waits::Until(
        [this] {
            for (const Hidden& h : hidden_) {
                if (h.window && h.window->windowHandle() && h.window->windowHandle()->isExposed())
                    return false;
            }
            return true;
        },
        maxWaitMs);
}

ProgramWindowsHidden::~ProgramWindowsHidden() {
    QWidget* active = nullptr;
    for (const Hidden& h : hidden_) {
        if (!h.window)
            continue;
        h.window->setWindowState(h.state & ~Qt::WindowMinimized);
        h.window->show();
        h.window->raise();
        if (h.wasActive)
            active = h.window;
    }
    if (!active && !hidden_.empty())
        active = hidden_.front().window;
    if (active)
        active->activateWindow();
}

} // namespace velorix::capture
