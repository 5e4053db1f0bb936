#include "Watchdog.h"

#include "WorkerPlatform.h"
#include "waits/Waits.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QThread>

#include <cstdlib>
#include <string>

namespace velorix::scan::worker {

Limits ReadLimits() {
    Limits limits;
    if (const char* text = std::getenv(WatchdogEnv)) {
        const std::string s = text;
        const std::size_t comma = s.find(',');
        const double first = std::atof(s.substr(0, comma).c_str());
        const double after = comma == std::string::npos ? first : std::atof(s.c_str() + comma + 1);
        if (first > 0)
            limits.first = first;
        if (after > 0)
            limits.after = after;
    }
    return limits;
}

Pump::Pump(const ScanProgressFactory& factory, const std::string& title, const std::string& text,
           bool cancellable)
    : cancellable_(cancellable) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QGuiApplication*>(app) || QThread::currentThread() != app->thread())
        return;
    window_ = factory ? factory(title, text, cancellable)
                      : CreateScanProgressDialog(title, text, cancellable);
    clock_.start();
}
Pump::~Pump() {
    if (window_)
        window_->Finish();
}
void Pump::Tick(long long received, long long expected) {
    if (!window_)
        return;
    // Short calls show no window at all; a scan always shows it.
    if (!window_->IsShown() && clock_.elapsed() >= (cancellable_ ? 0 : 300))
        window_->Show();
    if (expected > 0)
        window_->SetDone(static_cast<double>(received) / static_cast<double>(expected));
    velorix::waits::Pending();
}

} // namespace velorix::scan::worker
