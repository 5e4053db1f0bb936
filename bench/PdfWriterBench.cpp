// Writer throughput against bare zlib: a document of ten A4 colour scans at 300 dpi
// (2480 x 3508), generated here with scan-like content. Prints the writer's MB/s (image objects
// made from the pictures, the document built and saved) and compress2 level 9's MB/s over the
// same pixel bytes, and the writer's overhead over zlib (target: under 5 %).
//
// Times are wall times; run it on an otherwise idle machine.
// Usage: PdfWriterBench [rounds]   (default 3; the best round of each counts)
#include "pdf/PdfDoc.h"
#include "pdf/PdfImages.h"
#include "tests/support/ScanLikePage.h"

#include <QImage>

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 2480;
constexpr int kHeight = 3508;
constexpr int kPages = 10;

// Wall time: the writer compresses on every core, so this thread's CPU time would undercount it.
double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::printf("generating %d scan-like pages of %d x %d...\n", kPages, kWidth, kHeight);
    std::vector<QImage> pages;
    for (int p = 0; p < kPages; ++p) {
        pages.push_back(velorix::testing::ScanLikePage(p, kWidth, kHeight));
    }
    const double megabytes = static_cast<double>(kPages) * kWidth * kHeight * 3 / (1024.0 * 1024.0);

    double bestWriter = 1e300;
    double bestZlib = 1e300;
    std::int64_t fileSize = 0;
    std::uint64_t zlibSize = 0;
    for (int round = 0; round < rounds; ++round) {
        // The writer: image objects from the pictures, pages, the whole file.
        const double start = Now();
        TPdfDoc doc;
        doc.NewDocument();
        for (int p = 0; p < kPages; ++p) {
            const std::string name = "PRImage" + std::to_string(p + 1);
            doc.AddPage();
            doc.Canvas().SetPageWidth(kWidth);
            doc.Canvas().SetPageHeight(kHeight);
            doc.AddXObject(name, CreatePdfImage(pages[static_cast<std::size_t>(p)]));
            doc.Canvas().DrawXObject(0, 0, kWidth, kHeight, name);
        }
        const double built = Now();
        TPdfCountingStream sink;
        doc.SaveToStream(sink);
        const double writer = Now() - start;
        const double building = built - start;
        fileSize = sink.Position();

        // Bare zlib over the same pixel bytes (the image objects' data).
        std::vector<const std::string*> pixels;
        for (int p = 0; p < kPages; ++p) {
            pixels.push_back(&doc.FindXObject("PRImage" + std::to_string(p + 1))->Data());
        }
        std::string out;
        zlibSize = 0;
        const double zstart = Now();
        for (const std::string* data : pixels) {
            uLongf size = compressBound(static_cast<uLong>(data->size()));
            out.resize(size);
            compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                      reinterpret_cast<const Bytef*>(data->data()),
                      static_cast<uLong>(data->size()), Z_BEST_COMPRESSION);
            zlibSize += size;
        }
        const double zlib = Now() - zstart;

        std::printf("round %d: writer %.2f s (%.1f MB/s; building %.2f s, saving %.2f s), "
                    "zlib %.2f s (%.1f MB/s)\n",
                    round + 1, writer, megabytes / writer, building, writer - building, zlib,
                    megabytes / zlib);
        bestWriter = std::min(bestWriter, writer);
        bestZlib = std::min(bestZlib, zlib);
    }

    const double overhead = (bestWriter / bestZlib - 1.0) * 100.0;
    std::printf("pixel data: %.1f MB; file: %.1f MB; zlib alone: %.1f MB\n", megabytes,
                static_cast<double>(fileSize) / (1024.0 * 1024.0),
                static_cast<double>(zlibSize) / (1024.0 * 1024.0));
    std::printf("writer: %.2f MB/s\nzlib compress2 level 9: %.2f MB/s\noverhead: %.2f %% (%s)\n",
                megabytes / bestWriter, megabytes / bestZlib, overhead,
                overhead < 5.0 ? "under 5 %" : "OVER 5 %");
    return 0;
}
