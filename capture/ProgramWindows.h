#pragma once
// Takes the program's windows off the screen for a desktop capture and brings them back.
// Minimising alone leaves a window on screen where no window manager acts on it, so every
// visible top-level window is hidden, then minimised, and the screen is awaited until none of
// them is exposed any more.
#include <QPointer>
#include <QWidget>

#include <vector>

namespace velorix::capture {

class ProgramWindowsHidden {
public:
    // Hides and minimises now; returns once no window of the program is exposed (or after
    // maxWaitMs, for a window system that never says so).
    explicit ProgramWindowsHidden(int maxWaitMs = 3000);
    // Restore: show, raise and activate, each window in its state from before.
    ~ProgramWindowsHidden();
    ProgramWindowsHidden(const ProgramWindowsHidden&) = delete;
    ProgramWindowsHidden& operator=(const ProgramWindowsHidden&) = delete;

private:
    struct Hidden {
        QPointer<QWidget> window;
        Qt::WindowStates state;
        bool wasActive;
    };
    std::vector<Hidden> hidden_;
};

// Waits ms milliseconds running the program's timers and paint events, but no user input: no
// command can start meanwhile.
void WaitMs(int ms);

} // namespace velorix::capture
