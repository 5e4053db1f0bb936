// `velorix --scan-pdf` of ten A4-wide 300 dpi colour pages from SANE's test device, run as the
// user runs it: its wall time against ten serial zlib level 9 compressions of the same pixels
// (goal: at most 0.55 times), and its peak resident memory against the pages' pixel bytes
// (goal: at most 1.5 times the pixel bytes plus 150 MB).
//
//   build-X/bench/ScanPdfBench [pages]
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    double seconds = 0;
    long peakKilobytes = 0;
    int status = -1;
};

Run RunScanPdf(int pages, const std::string& output) {
    const std::string count = std::to_string(pages);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        setenv("SANE_CONFIG_DIR", VELORIX_SOURCE_DIR "/data/sane.d:", 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execl(VELORIX_BINARY, VELORIX_BINARY, "--scan-pdf", "--resolution", "300", "--pages",
              count.c_str(), output.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    Run run;
    rusage usage{};
    wait4(child, &run.status, 0, &usage);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.peakKilobytes = usage.ru_maxrss;
    return run;
}

std::string Inflate(std::string_view data) {
    z_stream z{};
    inflateInit(&z);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    std::string out;
    std::vector<char> buffer(1 << 20);
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer.data());
        z.avail_out = static_cast<uInt>(buffer.size());
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buffer.data(), buffer.size() - z.avail_out);
    }
    inflateEnd(&z);
    return out;
}

// The inflated pixels of every image object of the file.
std::vector<std::string> ImagePixels(const std::string& pdf) {
    std::vector<std::string> images;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = pdf.find("\r\nstream\r\n", from);
        if (at == std::string::npos)
            return images;
        const std::size_t begin = at + 10;
        const std::size_t end = pdf.find("\nendstream", begin);
        const std::size_t object = pdf.rfind(" 0 obj", at);
        if (pdf.find("/Subtype /Image", object) < at)
            images.push_back(Inflate(std::string_view(pdf).substr(begin, end - begin)));
        from = end;
    }
}

} // namespace

int main(int argc, char** argv) {
    const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    char folder[] = "/tmp/scanpdfbenchXXXXXX";
    if (mkdtemp(folder) == nullptr)
        return 1;
    const std::string output = std::string(folder) + "/pages.pdf";
    const Run run = RunScanPdf(pages, output);
    if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
        std::fprintf(stderr, "velorix --scan-pdf failed\n");
        return 1;
    }
    std::ifstream in(output, std::ios::binary);
    const std::string pdf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<std::string> images = ImagePixels(pdf);
    std::remove(output.c_str());
    rmdir(folder);

    double pixelBytes = 0;
    const auto start = Clock::now();
    for (const std::string& pixels : images) {
        uLongf size = compressBound(static_cast<uLong>(pixels.size()));
        std::string out(size, '\0');
        compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(pixels.data()), static_cast<uLong>(pixels.size()),
                  Z_BEST_COMPRESSION);
        pixelBytes += static_cast<double>(pixels.size());
    }
    const double serial = std::chrono::duration<double>(Clock::now() - start).count();

    const double megabyte = 1024.0 * 1024.0;
    const double peak = static_cast<double>(run.peakKilobytes) * 1024.0;
    const double bound = 1.5 * pixelBytes + 150 * megabyte;
    std::printf("%zu pages, %.1f MB of pixels, file %.1f MB\n", images.size(),
                pixelBytes / megabyte, static_cast<double>(pdf.size()) / megabyte);
    std::printf("time: --scan-pdf %.2f s, serial zlib level 9 of the pixels %.2f s, ratio %.2f "
                "(goal <= 0.55)\n",
                run.seconds, serial, run.seconds / serial);
    std::printf("peak memory: --scan-pdf %.0f MB, pixel bytes %.0f MB, ratio %.2f; goal bound "
                "%.0f MB (%s)\n",
                peak / megabyte, pixelBytes / megabyte, peak / pixelBytes, bound / megabyte,
                peak <= bound ? "met" : "NOT met");
    return 0;
}
