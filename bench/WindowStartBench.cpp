// Time from the start of the process to the main window's first paint, with the demo scanner
// configuration and every SANE backend of the system (as a user's desktop has them): listing the
// scanners in the background (the program) against listing them before the window is built.
// Each run is a process of its own, so that no SANE state carries over; median of the rounds.
//
//   build-X/bench/WindowStartBench [rounds]
#include "app/cli/CommandLineCommon.h"
#include "app/window/MainWindow.h"

#include <QApplication>
#include <QEvent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class FirstPaint final : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

// One start in this process: prints the seconds to the first paint.
int StartOnce(const Clock::time_point start, bool background, int argc, char** argv) {
    QApplication app(argc, argv);
    velorix::Services services =
        velorix::CommandLineServices(std::make_shared<velorix::QtPrompts>());
    services.scanner = velorix::scan::LoadScanPlatform();
    services.listScannersInBackground = background;
    velorix::Tvelorix_2 window(services);
    FirstPaint paint;
    window.installEventFilter(&paint);
    window.show();
    while (!paint.painted)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("%.6f\n", std::chrono::duration<double>(Clock::now() - start).count());
    std::fflush(stdout);
    // The background listing may still run: leave without waiting for SANE.
    std::_Exit(0);
}

double RunChild(const char* self, const char* mode) {
    int out[2];
    if (pipe(out) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        execl(self, self, "--once", mode, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char text[64] = {};
    const ssize_t n = read(out[0], text, sizeof text - 1);
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return n > 0 ? std::atof(text) : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const auto start = Clock::now();
    setenv("SANE_CONFIG_DIR", VELORIX_SOURCE_DIR "/data/sane.d:", 1);
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (argc == 3 && std::strcmp(argv[1], "--once") == 0) {
        int one = 1;
        return StartOnce(start, std::strcmp(argv[2], "background") == 0, one, argv);
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> ours, reference;
    for (int i = 0; i < rounds; ++i) {
        ours.push_back(RunChild(argv[0], "background"));
        reference.push_back(RunChild(argv[0], "before"));
    }
    const double a = Median(ours), b = Median(reference);
    std::printf("to the first paint: %.3f s listing in the background, %.3f s listing first; "
                "ratio %.3f (goal <= 0.5 s: %s)\n",
                a, b, a / b, a <= 0.5 ? "met" : "NOT met");
    return 0;
}
