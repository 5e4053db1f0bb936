#include "waits/Waits.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <deque>
#include <memory>

namespace velorix::waits {

namespace {

// Bounds each pass of a wait, so that what other threads set is seen promptly.
constexpr int kTickMs = 10;

// A modal window, or one owned by a modal window (a combo's list, the other screens' capture
// overlays), belongs to the command that waits; every other window of ours is held.
bool Passes(const QWindow* window) {
    for (; window; window = window->transientParent())
        if (window->modality() != Qt::NonModal)
            return true;
    return false;
}

// The same for a widget, which may receive input without its window (a test's simulated
// clicks): inside a modal window or one it owns. Read through the widget's property, so that
// this layer stays below the widgets.
bool WidgetPasses(const QObject* widget) {
    for (; widget; widget = widget->parent())
        if (widget->property("modal").toBool())
            return true;
    return false;
}

bool IsUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Close: // the window manager's close button
        return true;
    default:
        return false;
    }
}

// Drops the user's input to windows that do not pass. Shortcuts go to actions, and are checked
// against the window that has the keyboard.
class InputHold : public QObject {
public:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (event->type() == QEvent::Shortcut)
            return !Passes(QGuiApplication::focusWindow());
        if (!event->spontaneous() || !IsUserInput(event->type()))
            return false;
        if (receiver->isWindowType() ? Passes(static_cast<QWindow*>(receiver))
                                     : !receiver->isWidgetType() || WidgetPasses(receiver))
            return false;
        event->ignore(); // a held close leaves the window open
        return true;
    }
};

int g_waits = 0; // nested waits running now
InputHold* g_hold = nullptr;

// The input rule, for as long as the outermost wait runs.
class Hold {
public:
    Hold() {
        if (g_waits++ == 0) {
            g_hold = new InputHold;
            QCoreApplication::instance()->installEventFilter(g_hold);
        }
    }
    ~Hold() {
        if (--g_waits == 0) {
            delete g_hold; // which also takes it off the application
            g_hold = nullptr;
        }
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
};

bool OnApplicationThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

int g_commands = 0; // commands running now, nested ones counted

struct Deferred {
    QPointer<QObject> context;
    std::function<void()> work;
};

std::deque<Deferred>& DeferredWork() {
    static std::deque<Deferred> work;
    return work;
}

bool g_runPosted = false;

void RunDeferred() {
    g_runPosted = false;
    std::deque<Deferred>& queue = DeferredWork();
    // A piece of work may start a command of its own: the rest then waits for that one.
    while (g_commands == 0 && !queue.empty()) {
        Deferred next = std::move(queue.front());
        queue.pop_front();
        if (next.context)
            next.work();
    }
}

} // namespace

bool Until(const std::function<bool()>& done, int timeoutMs) {
    if (done())
        return true;
    QElapsedTimer clock;
    clock.start();
    const auto expired = [&] { return timeoutMs >= 0 && clock.elapsed() >= timeoutMs; };
    if (!OnApplicationThread()) {
        while (!expired()) {
            QThread::msleep(2);
            if (done())
                return true;
        }
        return false;
    }
    const Hold hold;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.start(timeoutMs >= 0 ? std::min(kTickMs, timeoutMs) : kTickMs);
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (done())
            return true;
        if (expired())
            return false;
        if (timeoutMs >= 0) {
            // The last pass ends at the deadline, not a tick after it.
            const qint64 left = timeoutMs - clock.elapsed();
            if (left < kTickMs)
                tick.start(int(std::max<qint64>(left, 1)));
        }
    }
}

void For(int ms) {
    if (ms > 0)
        Until([] { return false; }, ms);
}

void Pending() {
    if (!OnApplicationThread())
        return;
    const Hold hold;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

CommandRun::CommandRun() {
    ++g_commands;
}

CommandRun::~CommandRun() {
    if (--g_commands > 0 || DeferredWork().empty() || g_runPosted)
        return;
    // Run after the command has returned to the loop, not inside its last statement.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        g_runPosted = true;
        QTimer::singleShot(0, app, RunDeferred);
    }
}

bool CommandRunning() {
    return g_commands > 0;
}

void WhenNoCommand(QObject* context, std::function<void()> work) {
    if (g_commands == 0 && DeferredWork().empty()) {
        work();
        return;
    }
    DeferredWork().push_back({context, std::move(work)});
    if (g_commands == 0 && !g_runPosted) {
        g_runPosted = true;
        QTimer::singleShot(0, QCoreApplication::instance(), RunDeferred);
    }
}

} // namespace velorix::waits
