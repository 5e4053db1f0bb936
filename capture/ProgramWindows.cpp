#include "capture/ProgramWindows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>

namespace velorix::capture {

void WaitMs(int ms) {
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
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

    QElapsedTimer clock;
    clock.start();
    for (;;) {
        bool exposed = false;
        for (const Hidden& h : hidden_) {
            if (h.window && h.window->windowHandle() && h.window->windowHandle()->isExposed())
                exposed = true;
        }
        if (!exposed || clock.elapsed() >= maxWaitMs)
            break;
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
        WaitMs(10);
    }
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
