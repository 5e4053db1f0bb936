// Five 300 dpi colour pages from SANE's test device: through our scanner component (settings,
// transfer, BMP file, decoded image) against scanimage writing the same five pages, in the same
// run. Prints both times and their ratio; median of three rounds.
//
//   build-X/bench/ScanBench [rounds]
//
// The device is configured as the demo scanner (data/sane.d/test.conf: 215.9 mm bed, colour
// pattern) but with the test backend alone, so that neither side pays for other backends.

#include "ScannerComponent.h"
#include "sane/SaneBackend.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
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

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const fs::path source = fs::path(VELORIX_SOURCE_DIR) / "data/sane.d/test.conf";
    const fs::path dir =
        fs::temp_directory_path() / ("velorix-bench-scan-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "dll.conf") << "test\n";
    fs::copy_file(source, dir / "test.conf", fs::copy_options::overwrite_existing);
    setenv("SANE_CONFIG_DIR", dir.c_str(), 1);

    std::vector<double> ours, theirs;
    long long bytes = 0;
    {
        TWIAScan scan(velorix::scan::sane::CreateSaneScanPlatform());
        scan.SetOpen(true);
        scan.SetSelectedDevice("Noname frontend-tester (test:0)");
        scan.SetDPI(kDpi);
        scan.SetIntent(wiColor);
        for (int r = 0; r < rounds; ++r) {
            const auto start = Clock::now();
            for (int p = 0; p < kPages; ++p) {
                if (!scan.Acquire()) {
                    std::fprintf(stderr, "scan failed\n");
                    return 1;
                }
                bytes = static_cast<long long>(scan.Graphic()->Image.sizeInBytes());
            }
            ours.push_back(Seconds(Clock::now() - start));
        }
        std::printf("page: %d x %d pixels\n", scan.Graphic()->Image.width(),
                    scan.Graphic()->Image.height());
    }
    // scanimage with the same corners as our full-bed scan (pixels at 300 dpi back to mm).
    const int bedThousandths = static_cast<int>(std::lround(215.9 / 25.4 * 1000));
    const int px = static_cast<int>(bedThousandths / 1000.0 * kDpi);
    char mm[64];
    std::snprintf(mm, sizeof mm, "%.17g", px * 25.4 / kDpi);
    const std::string command = "scanimage -d test:0 --mode Color --depth 8 --resolution " +
                                std::to_string(kDpi) + " -l 0 -t 0 -x " + mm + " -y " + mm +
                                " --format=pnm --batch=" + (dir / "page%d.pnm").string() +
                                " --batch-count=" + std::to_string(kPages) + " 2>/dev/null";
    for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "scanimage failed\n");
            return 1;
        }
        theirs.push_back(Seconds(Clock::now() - start));
    }
    fs::remove_all(dir);

    const double a = Median(ours), b = Median(theirs);
    std::printf("%d pages, %d dpi colour, %.1f MB per page decoded\n", kPages, kDpi, bytes / 1e6);
    std::printf("our layer (component, BMP, decode): %.3f s\n", a);
    std::printf("scanimage (PNM files)             : %.3f s\n", b);
    std::printf("ratio ours / scanimage            : %.2f\n", a / b);
    return 0;
}
