// Writer throughput against bare zlib: a document of ten A4 colour scans at 300 dpi
// (2480 x 3508), generated here with scan-like content. Prints the writer's MB/s (image objects
// made from the pictures, the document built and saved) and compress2 level 9's MB/s over the
// same pixel bytes, and the writer's overhead over zlib (target: under 5 %).
//
// Times are CPU times of the benchmark's thread.
// Usage: PdfWriterBench [rounds]   (default 3; the best round of each counts)
#include "PdfDoc.h"
#include "PdfImages.h"

#include <QImage>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <time.h>

namespace {

constexpr int kWidth = 2480;
constexpr int kHeight = 3508;
constexpr int kPages = 10;

struct Rng {
    std::uint64_t state;
    std::uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<std::uint32_t>(state);
    }
};

int Clamp(int v) {
    return std::clamp(v, 0, 255);
}

// Paper tint, lines of text, a photo-like block and mild sensor noise.
QImage ScanLikePage(int page) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    Rng rng{0x9E3779B97F4A7C15ULL * static_cast<std::uint64_t>(page + 1)};
    const int photoTop = 1400 + 40 * page;
    const int photoLeft = 300;
    const int photoWidth = 1800;
    const int photoHeight = 1100;

    // Where the ink of the text lines falls: words of letter-sized strokes.
    std::vector<std::uint8_t> ink(static_cast<std::size_t>(kWidth));
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const int line = (y - 250) / 60;
        const int inLine = (y - 250) % 60;
        const bool textRow = y >= 250 && y < 3300 && inLine >= 12 && inLine < 42 &&
                             (y < photoTop - 40 || y > photoTop + photoHeight + 40);
        if (textRow && inLine == 12) {
            Rng lineRng{static_cast<std::uint64_t>(line * 7919 + page * 104729 + 1)};
            std::fill(ink.begin(), ink.end(), 0);
            int x = 250;
            while (x < kWidth - 250) {
                const int word = 3 + static_cast<int>(lineRng.Next() % 9);
                for (int c = 0; c < word && x < kWidth - 250; ++c) {
                    const int glyph = 14 + static_cast<int>(lineRng.Next() % 10);
                    const std::uint32_t shape = lineRng.Next();
                    for (int k = 0; k < glyph; ++k) {
                        // A few vertical strokes per letter.
                        ink[static_cast<std::size_t>(x + k)] =
                            ((shape >> (k % 24)) & 1) != 0 || k % 7 == 0 ? 1 : 0;
                    }
                    x += glyph + 3;
                }
                x += 22;
            }
        }
        for (int x = 0; x < kWidth; ++x) {
            // Slightly uneven paper.
            int r = 244 - x / 400 - y / 900;
            int g = 241 - x / 420 - y / 950;
            int b = 232 - x / 450 - y / 1000;
            if (textRow && ink[static_cast<std::size_t>(x)] != 0) {
                r = g = b = 40 + (inLine % 5) * 6;
            }
            if (y >= photoTop && y < photoTop + photoHeight && x >= photoLeft &&
                x < photoLeft + photoWidth) {
                const double u = (x - photoLeft) / static_cast<double>(photoWidth);
                const double v = (y - photoTop) / static_cast<double>(photoHeight);
                r = static_cast<int>(120 + 90 * std::sin(6.0 * u + 2.0 * v + page));
                g = static_cast<int>(110 + 80 * std::sin(4.0 * v - 3.0 * u));
                b = static_cast<int>(100 + 70 * std::cos(5.0 * u * v + 1.0));
            }
            const std::uint32_t noise = rng.Next();
            r = Clamp(r + static_cast<int>(noise & 7) - 3);
            g = Clamp(g + static_cast<int>((noise >> 3) & 7) - 3);
            b = Clamp(b + static_cast<int>((noise >> 6) & 7) - 3);
            row[x] = qRgb(r, g, b);
        }
    }
    return image;
}

// CPU time of this thread: the machine may be busy with other work, which wall time would count.
double Now() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::printf("generating %d scan-like pages of %d x %d...\n", kPages, kWidth, kHeight);
    std::vector<QImage> pages;
    for (int p = 0; p < kPages; ++p) {
        pages.push_back(ScanLikePage(p));
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
