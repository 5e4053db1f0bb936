// A duplex stack through the program's scanner worker against scanimage --batch on the same
// device and settings, in the same run: our feeder test backend's "fujitsu" device, 10 sheets
// (20 sides) at 300 dpi colour, each side feeding for VELORIXFEEDER_FEED_MS (default 0, a device
// at full speed; a real feeder takes 300 ms and more a side). The two take turns, round after
// round; prints each round, both medians and their ratio (goal: at most 1.1), and the peak
// memory of our process and of the worker against the stack's pixels (goal: at most 1.5 x the
// pixels + 150 MB).
// With --window, the same stack through the window, one click: when the first page is painted
// against when the backend starts feeding the second sheet (goal: before).
//
//   build-X/bench/FeederStackBench [rounds] [--window]
//   (with --window, on a display: xvfb-run -a build-X/bench/FeederStackBench --window)
#include "app/cli/CommandLineCommon.h"
#include "app/window/MainWindow.h"
#include "report/PReport.h"
#include "scan/ScannerComponent.h"
#include "scan/client/WorkerPlatform.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSheets = 10;
constexpr int kDpi = 300;
const char* const kDevice = "Velorix fujitsu (velorixfeeder:fujitsu)";

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}
double Monotonic() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
double PeakMb(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_maxrss) / 1024.0; // kilobytes on Linux
}

// What the control file says.
std::string FeedMs() {
    std::ifstream in(std::getenv("VELORIXFEEDER_CONTROL"));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("FEED_MS=", 0) == 0)
            return line.substr(8);
    return "0";
}

struct Stack {
    int pages = 0;
    QSize size;
    double pixelMb = 0;
};

// One stack through the component and its worker, as the window's scan command runs it.
std::optional<Stack> Ours() {
    Stack stack;
    // Kept, as the window keeps its pages: the memory figure is the program's with the stack.
    std::vector<QImage> kept;
    TWIAScan scan(velorix::scan::worker::CreateWorkerScanPlatform());
    scan.SetOpen(true);
    scan.SetSelectedDevice(kDevice);
    scan.SetDPI(kDpi);
    scan.SetIntent(wiColor);
    scan.SetDocumentHandling(velorix::scan::wia::FEEDER | velorix::scan::wia::DUPLEX);
    scan.SetPages(0);
    const auto result = scan.AcquireStack([&](QImage page) {
        ++stack.pages;
        stack.size = page.size();
        stack.pixelMb += double(page.width()) * page.height() * 3 / (1024.0 * 1024.0);
        kept.push_back(std::move(page));
    });
    if (result != TWIAScan::TStackResult::Complete)
        return std::nullopt;
    return stack;
}

// The same area as ours: A4, the whole bed and the page size of this feeder.
bool Theirs(const fs::path& dir) {
    const std::string command =
        "scanimage -d velorixfeeder:fujitsu --source 'ADF Duplex' --mode Color --resolution " +
        std::to_string(kDpi) +
        " -l 0 -t 0 -x 210 -y 297 --page-width 210 --page-height 297 --format=pnm --batch=" +
        (dir / "side%d.pnm").string() + " 2>/dev/null";
    const int status = std::system(command.c_str());
    // scanimage --batch ends its stack with the empty feeder's status, 7.
    return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 7);
}

QSize PnmSize(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string word;
    std::vector<int> numbers;
    while (numbers.size() < 2 && in >> word) {
        if (word[0] == '#')
            std::getline(in, word); // scanimage's comment line
        else if (word[0] != 'P')
            numbers.push_back(std::atoi(word.c_str()));
    }
    return numbers.size() == 2 ? QSize(numbers[0], numbers[1]) : QSize();
}

int Stacks(int rounds, const fs::path& dir) {
    // First ours alone, so that the children's peak is the worker's.
    const auto first = Ours();
    if (!first) {
        std::fprintf(stderr, "the stack failed\n");
        return 1;
    }
    const double ownPeak = PeakMb(RUSAGE_SELF), workerPeak = PeakMb(RUSAGE_CHILDREN);
    std::vector<double> ours, theirs;
    for (int r = 0; r < rounds; ++r) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool oursNow = (r + turn) % 2 == 0;
            const auto start = Clock::now();
            if (oursNow ? !Ours() : !Theirs(dir)) {
                std::fprintf(stderr, "%s failed\n", oursNow ? "our stack" : "scanimage");
                return 1;
            }
            (oursNow ? ours : theirs).push_back(Seconds(Clock::now() - start));
        }
        std::printf("round %d: ours %.3f s, scanimage --batch %.3f s\n", r + 1, ours.back(),
                    theirs.back());
    }
    int sides = 0;
    while (fs::exists(dir / ("side" + std::to_string(sides + 1) + ".pnm")))
        ++sides;
    const QSize theirSize = PnmSize(dir / "side1.pnm");
    std::printf("ours: %d sides of %d x %d; scanimage: %d sides of %d x %d\n", first->pages,
                first->size.width(), first->size.height(), sides, theirSize.width(),
                theirSize.height());
    std::printf("%d sheets duplex, %d dpi colour, feeding %s ms a side\n", kSheets, kDpi,
                FeedMs().c_str());
    const double a = Median(ours), b = Median(theirs);
    std::printf("through the worker (pictures in memory): %.3f s (median)\n", a);
    std::printf("scanimage --batch (PNM files)          : %.3f s (median)\n", b);
    std::printf("ratio ours / scanimage                 : %.2f (goal <= 1.10: %s)\n", a / b,
                a / b <= 1.1 ? "met" : "NOT met");
    const double goal = 1.5 * first->pixelMb + 150;
    std::printf("peak memory: this process %.0f MB, the worker %.0f MB, for %.0f MB of pixels "
                "(goal <= %.0f MB: %s)\n",
                ownPeak, workerPeak, first->pixelMb, goal, ownPeak <= goal ? "met" : "NOT met");
    return 0;
}

// Prompts that never stop the stack: no question is asked with "Plusieurs Documents" off.
class QuietUser final : public velorix::Prompts {
public:
    bool confirm(const QString&) override { return false; }
    void inform(const QString& text) override { say(text); }
    void warning(const QString& text) override { say(text); }
    void error(const QString& text) override { say(text); }
    int execDialog(QDialog&) override { return QDialog::Accepted; }

private:
    static void say(const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); }
};

// Notes when a page's picture is first painted.
class PaintWatch final : public QObject {
public:
    explicit PaintWatch(velorix::Tvelorix_2& window) : window_(window) {}
    std::optional<double> firstPaint;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!firstPaint && event->type() == QEvent::Paint) {
            TPRImage* page = window_.FindPageImage(1);
            if (page && watched == page && !page->Picture().isNull())
                firstPaint = Monotonic();
        }
        return false;
    }

private:
    velorix::Tvelorix_2& window_;
};

int Window(int argc, char** argv, const fs::path& dir) {
    const fs::path log = dir / "feeder.log";
    setenv("VELORIXFEEDER_LOG", log.c_str(), 1);
    QApplication app(argc, argv);
    velorix::Services services = velorix::CommandLineServices(std::make_shared<QuietUser>());
    services.scanner = velorix::scan::worker::CreateWorkerScanPlatform();
    velorix::Tvelorix_2 window(services);
    window.PReport1->SetFileName(QString::fromStdString((dir / "capture.pdf").string()));
    window.show();
    for (int wait = 0; wait < 300 && window.cbDevice->findText(kDevice) < 0; ++wait) {
        QEventLoop listing;
        QTimer::singleShot(50, &listing, &QEventLoop::quit);
        listing.exec();
    }
    window.cbDevice->setCurrentIndex(window.cbDevice->findText(kDevice));
    window.cbDeviceChange(window.cbDevice);
    window.res->setEditText(QString::number(kDpi));
    window.multi->setChecked(false);
    window.cbGrayscale->setChecked(false);
    if (!window.ChooseSource(velorix::scan::SourceKind::Duplex)) {
        std::fprintf(stderr, "the scanner offers no duplex feeder\n");
        return 1;
    }
    PaintWatch watch(window);
    app.installEventFilter(&watch);
    fs::remove(log);
    const double start = Monotonic();
    window.Guarded([&] { window.btnScanClick(window.scanner); });
    const double end = Monotonic();

    // The third side started is the second sheet's front.
    std::ifstream in(log);
    std::vector<double> starts;
    int side = 0;
    double at = 0;
    while (in >> side >> at)
        starts.push_back(at);
    if (starts.size() < 3 || !watch.firstPaint) {
        std::fprintf(stderr, "no paint or no second sheet (%zu sides started)\n", starts.size());
        return 1;
    }
    double pixelMb = 0;
    for (int n = 1; n <= window.PageCount(); ++n)
        if (TPRImage* page = window.FindPageImage(n))
            pixelMb += double(page->Picture().width()) * page->Picture().height() * 3 / 1048576.0;
    const double goal = 1.5 * pixelMb + 150;
    std::printf("window: %d pages in %.2f s, feeding %s ms a side; peak memory %.0f MB for %.0f "
                "MB of pixels (goal <= %.0f MB: %s)\n",
                window.PageCount(), end - start, FeedMs().c_str(), PeakMb(RUSAGE_SELF), pixelMb,
                goal, PeakMb(RUSAGE_SELF) <= goal ? "met" : "NOT met");
    std::printf("first page painted %.3f s after the click; second sheet fed from %.3f s "
                "(goal: painted before: %s)\n",
                *watch.firstPaint - start, starts[2] - start,
                *watch.firstPaint < starts[2] ? "met" : "NOT met");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool window = argc > 1 && std::strcmp(argv[argc - 1], "--window") == 0;
    const int rounds = !window && argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const fs::path dir =
        fs::temp_directory_path() / ("velorix-bench-feeder-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "dll.conf") << "velorixfeeder\n";
    // The backend reads its settings from the control file alone when there is one.
    const char* feed = std::getenv("VELORIXFEEDER_FEED_MS");
    std::ofstream(dir / "control") << "SHEETS=" << kSheets << "\nFEED_MS="
                                   << (feed     ? feed
                                       : window ? "300"
                                                : "0")
                                   << "\n";
    setenv("SANE_CONFIG_DIR", dir.c_str(), 1);
    setenv("VELORIXFEEDER_CONTROL", (dir / "control").c_str(), 1);
    setenv("LD_LIBRARY_PATH", VELORIX_FEEDER_BACKEND_DIR, 1);
    setenv(velorix::scan::worker::WorkerExeEnv, VELORIX_WORKER_EXE, 0);
    unsetenv("VELORIX_SCAN_BACKEND");
    int status = 0;
    if (window) {
        status = Window(argc, argv, dir);
    } else {
        QCoreApplication app(argc, argv);
        status = Stacks(rounds, dir);
    }
    fs::remove_all(dir);
    return status;
}
