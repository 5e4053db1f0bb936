// Report layer speed: painting a full-resolution scan on its page, and writing it as a PDF page.
#include "report/PReport.h"

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

// An A4 page scanned at 300 dpi, with enough texture that compression has work to do.
QImage A4Scan() {
    QImage image(2480, 3508, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int v = 200 + ((x * 7 + y * 13) % 56);
            line[x] = qRgb(v, v - (y % 40), v - (x % 30));
        }
    }
    return image;
}

struct Page {
    TPRPage page;
    TPRImage* image;
    explicit Page(bool stretch) {
        page.SetMarginTop(0);
        page.SetMarginLeft(0);
        page.SetMarginRight(0);
        page.SetMarginBottom(0);
        page.SetBounds(0, 0, 600, 800);
        auto* layout = new TPRLayoutPanel(&page);
        layout->SetAlign(alClient);
        image = new TPRImage(layout);
        image->setObjectName("PRImage1");
        image->SetAlign(alClient);
        image->SetStretch(stretch);
        image->SetPicture(A4Scan());
    }
};

void BM_PaintStretchedScan(benchmark::State& state) {
    Page page(true);
    QImage target(600, 800, QImage::Format_RGB32);
    for (auto _ : state) {
        page.page.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_PaintStretchedScan)->Unit(benchmark::kMillisecond);

void BM_ExportScanToPdf(benchmark::State& state) {
    Page page(state.range(0) != 0);
    QTemporaryDir dir;
    TPReport report;
    report.SetFileName(dir.filePath("capture.pdf"));
    for (auto _ : state) {
        report.BeginDoc();
        report.Print(&page.page);
        report.EndDoc();
    }
}
BENCHMARK(BM_ExportScanToPdf)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
