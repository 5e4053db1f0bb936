#pragma once
// The rules every wait on the worker follows: how long a driver may stay silent, and the progress
// window that keeps painting meanwhile.

#include "scan/ScanPlatform.h"

#include <QElapsedTimer>

#include <memory>
#include <string>

namespace velorix::scan::worker {

struct Limits {
    double first = 60; // seconds without data before the first bytes (lamp warming up)
    double after = 30; // once data has come
};

// The limits, as VELORIX_SCAN_WATCHDOG sets them: each in seconds, above 0 and at most an hour
// (a larger one, "inf" too, is an hour; one that is no number keeps the default).
inline constexpr double kMaxWatchdogSeconds = 3600;
Limits ReadLimits();

// How long the driver has to let go of a scan the user cancelled before its worker is stopped.
constexpr qint64 kCancelGraceMs = 2000;

// The progress window of a call made on the user-interface thread of a widget application; the
// call waits on the worker in short slices and lets the window paint in between. Every call to
// the worker waits behind one, so a driver that hangs never freezes the window. A scan's window
// shows at once; any other call's after showAfterMs, so that short calls show none.
class Pump {
public:
    Pump(const ScanProgressFactory& factory, const std::string& title, const std::string& text,
         bool cancellable, qint64 showAfterMs = 300);
    ~Pump();
    void Tick(long long received, long long expected);
    bool CancelRequested() const { return window_ && window_->CancelRequested(); }

private:
    qint64 showAfterMs_;
    std::unique_ptr<IScanProgress> window_;
    QElapsedTimer clock_;
};

} // namespace velorix::scan::worker
