#include "scan/client/Watchdog.h"

#include "scan/client/WorkerPlatform.h"
#include "waits/Waits.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QThread>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>

namespace velorix::scan::worker {

Limits ReadLimits() {
    Limits limits;
    const char* text = std::getenv(WatchdogEnv);
    if (!text)
        return limits;
    // Read in the C locale, whatever the user's; "inf", 1e300 and 1e400 are an hour.
    auto read = [](const std::string& part, double& limit) {
        double value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (error == std::errc::result_out_of_range && !part.empty() && part[0] != '-')
            limit = kMaxWatchdogSeconds;
        else if (error == std::errc() && value > 0) // NaN is not
            limit = std::min(value, kMaxWatchdogSeconds);
    };
    const std::string s = text;
    const std::size_t comma = s.find(',');
    read(s.substr(0, comma), limits.first);
    if (comma == std::string::npos)
        limits.after = limits.first;
    else
        read(s.substr(comma + 1), limits.after);
    return limits;
}

Pump::Pump(const ScanProgressFactory& factory, const std::string& title, const std::string& text,
           bool cancellable, qint64 showAfterMs)
    : showAfterMs_(showAfterMs) {
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
    if (!window_->IsShown() && clock_.elapsed() >= showAfterMs_)
        window_->Show();
    if (expected > 0)
        window_->SetDone(static_cast<double>(received) / static_cast<double>(expected));
    velorix::waits::Pending();
}

} // namespace velorix::scan::worker
