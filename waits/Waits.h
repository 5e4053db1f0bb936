#pragma once
// The one way the program waits on the window's thread, and the "command running" state.
//
// While a wait runs, the program's events are handled (windows paint, timers and queued calls
// run), but user input reaches only modal windows and the windows they own: the progress
// window's "Annuler" and the dialogs the waiting command shows. Input to any other window of
// ours is dropped, not kept for later: a click on a window that is busy would otherwise run its
// command once the first one ends, on pages the user no longer sees as they were, and an
// impatient second click on the same button would run the command twice.
#include <functional>

class QObject;

namespace velorix::waits {

// Runs the program's events until done() returns true or timeoutMs passes (negative: no limit).
// done() is asked at once, then after each batch of events and at least every 10 ms, so it may
// read what other threads set. Returns whether done() returned true. Off the application's
// thread it only polls done().
bool Until(const std::function<bool()>& done, int timeoutMs = -1);

// Runs the program's events for ms milliseconds.
void For(int ms);

// Handles the events already waiting (painting, queued calls) and returns.
void Pending();

// Marks a command as running for its lifetime; commands may nest.
class CommandRun {
public:
    CommandRun();
    ~CommandRun();
    CommandRun(const CommandRun&) = delete;
    CommandRun& operator=(const CommandRun&) = delete;
};

// Whether a command runs now.
bool CommandRunning();

// Runs work on the application's thread once no command runs: at once when none does, else
// after the last one ends, in the order asked. Dropped when context is destroyed first.
void WhenNoCommand(QObject* context, std::function<void()> work);

} // namespace velorix::waits
