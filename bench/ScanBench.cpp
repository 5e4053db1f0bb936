// Five 300 dpi colour pages from SANE's test device: through our scanner component (start,
// listing, connection, settings, transfer, picture in memory) against scanimage writing the same
// five pages, in the same run.
// The two take turns, round after round, so that a busy machine weighs on both alike. Prints
// each round, then both medians and their ratio (goal: at most 1.1).
//
//   build-X/bench/ScanBench [rounds]
//
// The device is configured as the demo scanner (data/sane.d/test.conf: 215.9 mm bed, colour
// pattern) but with the test backend alone, so that neither side pays for other backends.

#include "scan/ScannerComponent.h"
#include "scan/client/WorkerPlatform.h"
#include "scan/sane/inprocess/InProcessSanePlatform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPages = 5;
constexpr int kDpi = 300;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Processor time of this process (the device's reader thread included), and of the waited-for
// children (scanimage), in seconds.
double OwnCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}
double ChildrenCpu() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    auto sec = [](const timeval& v) {
        return static_cast<double>(v.tv_sec) + static_cast<double>(v.tv_usec) / 1e6;
    };
    return sec(u.ru_utime) + sec(u.ru_stime);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const fs::path source = fs::path(VELORIX_SOURCE_DIR) / "data/sane.d/test.conf";
    const fs::path dir =
        fs::temp_directory_path() / ("velorix-bench-scan-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "dll.conf") << "test\n";
    fs::copy_file(source, dir / "test.conf", fs::copy_options::overwrite_existing);
    setenv("SANE_CONFIG_DIR", dir.c_str(), 1);

    // scanimage with the same corners as our full-bed scan (pixels at 300 dpi back to mm).
    const int bedThousandths = static_cast<int>(std::lround(215.9 / 25.4 * 1000));
    const int px = static_cast<int>(bedThousandths / 1000.0 * kDpi);
    char mm[64];
    std::snprintf(mm, sizeof mm, "%.17g", px * 25.4 / kDpi);
    const std::string command = "scanimage -d test:0 --mode Color --depth 8 --resolution " +
                                std::to_string(kDpi) + " -l 0 -t 0 -x " + mm + " -y " + mm +
                                " --format=pnm --batch=" + (dir / "page%d.pnm").string() +
                                " --batch-count=" + std::to_string(kPages) + " 2>/dev/null";

    // VELORIX_SCAN_WORKER=1: the drivers in their worker process, as the program runs them then.
    const char* workerEnv = std::getenv("VELORIX_SCAN_WORKER");
    const bool worker = workerEnv && std::string(workerEnv) == "1";
    if (worker) {
        setenv(velorix::scan::worker::WorkerExeEnv, VELORIX_WORKER_EXE, 0);
        // The worker's start-up: process, libsane and an empty listing.
        std::ofstream(dir / "dll.conf") << "\n";
        std::vector<double> starts;
        for (int i = 0; i < 5; ++i) {
            const auto start = Clock::now();
            velorix::scan::worker::CreateWorkerScanPlatform()->CreateDeviceManager()->DeviceInfos();
            starts.push_back(Seconds(Clock::now() - start));
        }
        std::printf("worker start-up with an empty listing: %.3f s (median of 5)\n",
                    Median(starts));
        std::ofstream(dir / "dll.conf") << "test\n";
    }
    std::vector<double> ours, theirs, oursCpu, theirsCpu;
    long long bytes = 0;
    QSize page;
    // As scanimage does in each of its runs: start SANE, list, open the device, then scan.
    auto runOurs = [&] {
        const auto start = Clock::now();
        const double cpu = OwnCpu();
        {
            TWIAScan scan(worker ? velorix::scan::worker::CreateWorkerScanPlatform()
                                 : velorix::scan::sane::CreateInProcessSanePlatform());
            scan.SetOpen(true);
            scan.SetSelectedDevice("Noname frontend-tester (test:0)");
            scan.SetDPI(kDpi);
            scan.SetIntent(wiColor);
            for (int p = 0; p < kPages; ++p) {
                if (!scan.Acquire())
                    return false;
                bytes = static_cast<long long>(scan.Graphic()->Image.sizeInBytes());
                page = scan.Graphic()->Image.size();
            }
        }
        ours.push_back(Seconds(Clock::now() - start));
        oursCpu.push_back(OwnCpu() - cpu);
        return true;
    };
    auto runTheirs = [&] {
        const auto start = Clock::now();
        const double cpu = ChildrenCpu();
        if (std::system(command.c_str()) != 0)
            return false;
        theirs.push_back(Seconds(Clock::now() - start));
        theirsCpu.push_back(ChildrenCpu() - cpu);
        return true;
    };
    for (int r = 0; r < rounds; ++r) {
        const bool oursFirst = r % 2 == 0;
        if (!(oursFirst ? runOurs() : runTheirs()) || !(oursFirst ? runTheirs() : runOurs())) {
            std::fprintf(stderr, "scan failed\n");
            return 1;
        }
        std::printf("round %d: ours %.3f s (processor %.3f), scanimage %.3f s (processor %.3f)\n",
                    r + 1, ours.back(), oursCpu.back(), theirs.back(), theirsCpu.back());
    }
    std::printf("page: %d x %d pixels\n", page.width(), page.height());
    fs::remove_all(dir);

    const double a = Median(ours), b = Median(theirs);
    std::printf("%d pages, %d dpi colour, %.1f MB per page in memory\n", kPages, kDpi, bytes / 1e6);
    std::printf("our layer (component, picture in memory): %.3f s (median)\n", a);
    std::printf("scanimage (PNM files)                   : %.3f s (median)\n", b);
    std::printf("ratio ours / scanimage                  : %.2f (goal <= 1.10)\n", a / b);
    std::printf("processor time: ours %.3f s, scanimage %.3f s, ratio %.2f (medians)\n",
                Median(oursCpu), Median(theirsCpu), Median(oursCpu) / Median(theirsCpu));
    return 0;
}
