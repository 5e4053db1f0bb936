// The image tools on an A4 300-dpi colour page (2480 x 3508): each turn and the grey conversion
// must stay within 100 ms, working copy to 24 bits included.
#include "imaging/ImageTools.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

QImage page(QImage::Format format = QImage::Format_RGB888) {
    QImage image(2480, 3508, QImage::Format_RGB888);
    for (int y = 0; y < image.height(); ++y) {
        uchar* p = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x, p += 3) {
            p[0] = uchar(x * 7);
            p[1] = uchar(y * 5);
            p[2] = uchar((x + y) * 3);
        }
    }
    return image.convertToFormat(format);
}

void BM_Rotate(benchmark::State& state) {
    const QImage source = page();
    const int angle = int(state.range(0));
    for (auto _ : state) {
        QImage turned;
        velorix::imaging::RotatePicture(angle, source, turned);
        benchmark::DoNotOptimize(turned.constBits());
    }
}
BENCHMARK(BM_Rotate)->Arg(90)->Arg(-90)->Arg(180)->Unit(benchmark::kMillisecond);

// Pages opened or scanned are held as 32-bit pictures: read in place as well.
void BM_RotateRgb32(benchmark::State& state) {
    const QImage source = page(QImage::Format_RGB32);
    for (auto _ : state) {
        QImage turned;
        velorix::imaging::RotatePicture(int(state.range(0)), source, turned);
        benchmark::DoNotOptimize(turned.constBits());
    }
}
BENCHMARK(BM_RotateRgb32)->Arg(90)->Arg(180)->Unit(benchmark::kMillisecond);

void BM_GreyLevels(benchmark::State& state) {
    const QImage source = page();
    for (auto _ : state) {
        const QImage grey = velorix::imaging::GreyLevels(source);
        benchmark::DoNotOptimize(grey.constBits());
    }
}
BENCHMARK(BM_GreyLevels)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
