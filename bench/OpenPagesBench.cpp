// Opening scans as pages: ten 2480 x 3508 colour pages (A4 at 300 dpi) as JPEG and as PNG files,
// each loaded by the image engine and brought to the page (the canvas resize to 600 x 800).
// Reports milliseconds per page.

#include "imaging/ImageEngine.h"
#include "imaging/PageFit.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QTemporaryDir>

#include <chrono>
#include <map>
#include <random>

using namespace velorix::imaging;

namespace {

constexpr int kPages = 10;

// Scan-like content: soft gradients with a little noise, different on every page.
QImage scanLikePage(int seed) {
    QImage image(2480, 3508, QImage::Format_RGB32);
    std::minstd_rand random(static_cast<unsigned>(seed + 1));
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int noise = int(random() % 9) - 4;
            row[x] = qRgb(std::clamp(120 + (x + seed * 50) / 25 + noise, 0, 255),
                          std::clamp(200 - y / 30 + noise, 0, 255),
                          std::clamp(90 + ((x + y) / 40 + seed * 13) % 120 + noise, 0, 255));
        }
    }
    return image;
}

class Pages {
public:
    explicit Pages(const char* extension) {
        TImageEngine engine;
        for (int i = 0; i < kPages; ++i) {
            engine.Assign(scanLikePage(i));
            files_.push_back(dir_.filePath(QStringLiteral("page%1.%2").arg(i).arg(extension)));
            engine.SaveToFile(files_.back());
        }
    }
    const std::vector<QString>& files() const { return files_; }

private:
    QTemporaryDir dir_;
    std::vector<QString> files_;
};

void openPages(benchmark::State& state, const char* extension) {
    static std::map<std::string, std::unique_ptr<Pages>> made;
    auto& pages = made[extension];
    if (!pages)
        pages = std::make_unique<Pages>(extension);
    TImageEngine engine;
    double milliseconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (const QString& file : pages->files()) {
            engine.LoadFromFile(file);
            QImage page = FitToPage(engine);
            benchmark::DoNotOptimize(page.constBits());
        }
        milliseconds +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }
    state.SetItemsProcessed(state.iterations() * kPages);
    state.counters["ms_per_page"] = milliseconds / double(state.iterations() * kPages);
}

} // namespace

BENCHMARK_CAPTURE(openPages, jpeg, "jpg")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(openPages, png, "png")->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
