// A series of scans with a backend that takes 5 s to list its devices, the drivers in their worker:
// the time from each "Oui" to the first row of the next page (goal: at most 0.2 s), since no page
// of a series lists the scanners again. First, the time from the window's making to its
// scanner connected, with the scanner of the last run stored by its place in the list only (the
// window waits for the list) and with its name beside it (opened by that name at once).
//
//   build-X/bench/SeriesListingBench [pages]
#include "app/window/MainWindow.h"
#include "report/PReport.h"
#include "scan/ScannerComponent.h"
#include "scan/client/WorkerPlatform.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QTemporaryDir>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Times {
    std::optional<Clock::time_point> answer;
    std::vector<double> latencies;
};

// Notes when the first bytes of a page arrive.
class FirstRow final : public velorix::scan::IScanProgress {
public:
    explicit FirstRow(Times& times) : times_(times) {}
    void Show() override { shown_ = true; }
    bool IsShown() const override { return shown_; }
    void SetDone(double fraction) override {
        if (fraction > 0 && times_.answer) {
            times_.latencies.push_back(
                std::chrono::duration<double>(Clock::now() - *times_.answer).count());
            times_.answer.reset();
        }
    }
    bool CancelRequested() const override { return false; }
    void Finish() override {}

private:
    Times& times_;
    bool shown_ = false;
};

class User final : public velorix::Prompts {
public:
    User(int pages, Times& times) : yesLeft_(pages - 1), times_(times) {}
    bool confirm(const QString&) override {
        const bool yes = yesLeft_-- > 0;
        if (yes)
            times_.answer = Clock::now();
        return yes;
    }
    void inform(const QString& text) override { complain(text); }
    void warning(const QString& text) override { complain(text); }
    void error(const QString& text) override { complain(text); }
    int execDialog(QDialog&) override { return QDialog::Accepted; }
    std::unique_ptr<velorix::scan::IScanProgress> scanProgress(const std::string&,
                                                               const std::string&, bool) override {
        return std::make_unique<FirstRow>(times_);
    }

private:
    static void complain(const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    int yesLeft_;
    Times& times_;
};

class StoredChoice final : public velorix::SettingsStore {
public:
    explicit StoredChoice(bool withName) : withName_(withName) {}
    bool available() const override { return true; }
    bool keyExists() const override { return true; }
    std::optional<QString> read(const QString& name) const override {
        if (name == QStringLiteral("Scanner"))
            return QStringLiteral("0"); // the good device is listed first
        if (withName_ && name == velorix::kScannerNameSetting)
            return QStringLiteral("Velorix good (velorixtest:good)");
        return std::nullopt;
    }
    void write(const QString&, const QString&) override {}

private:
    bool withName_;
};

double StartToConnected(bool withName) {
    static Times unused;
    velorix::Services services;
    services.prompts = std::make_shared<User>(1, unused);
    services.settings = std::make_shared<StoredChoice>(withName);
    services.scanner = velorix::scan::worker::CreateWorkerScanPlatform();
    services.listScannersInBackground = true;
    const auto start = Clock::now();
    velorix::Tvelorix_2 window(services);
    window.show();
    while (!window.WIAScan->Connected())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const int pages = argc > 1 ? std::max(2, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    std::ofstream(dir.filePath(QStringLiteral("dll.conf")).toStdString()) << "velorixtest\n";
    setenv("SANE_CONFIG_DIR", dir.path().toUtf8().constData(), 1);
    setenv("LD_LIBRARY_PATH", VELORIX_MISBEHAVING_BACKEND_DIR, 1);
    setenv("VELORIXTEST_LIST", "slow:5", 1);
    setenv(velorix::scan::worker::WorkerExeEnv, VELORIX_WORKER_EXE, 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    const double byPlace = StartToConnected(false);
    const double byName = StartToConnected(true);
    std::printf("window made to scanner connected: %.3f s by its place in the list, %.3f s by its "
                "stored name\n",
                byPlace, byName);

    Times times;
    velorix::Services services;
    services.prompts = std::make_shared<User>(pages, times);
    services.scanner = velorix::scan::worker::CreateWorkerScanPlatform();
    velorix::Tvelorix_2 window(services);
    window.FormShow(&window); // lists once, slowly
    const int index =
        window.cbDevice->findText(QStringLiteral("(velorixtest:good)"), Qt::MatchEndsWith);
    if (index < 0) {
        std::fprintf(stderr, "no test device\n");
        return 1;
    }
    window.cbDevice->setCurrentIndex(index);
    window.cbDeviceChange(window.cbDevice); // the user's pick: lists again, slowly
    window.res->setEditText(QStringLiteral("300"));
    window.multi->setChecked(true);
    const auto start = Clock::now();
    window.btnScanClick(window.scanner);
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(times.latencies.begin(), times.latencies.end());
    for (double t : times.latencies)
        std::printf("\"Oui\" to first row: %.3f s\n", t);
    if (times.latencies.empty())
        return 1;
    std::printf(
        "%d pages in %.2f s; median \"Oui\" to first row %.3f s (goal <= 0.2), worst %.3f s\n",
        window.PageCount(), total, times.latencies[times.latencies.size() / 2],
        times.latencies.back());
    return 0;
}
