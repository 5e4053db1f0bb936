// The zoom bar: every step of a drag rescales the page's picture from ZoomSource with smooth
// filtering, so one step must stay well below a frame (about 16 ms) for a page-sized picture.
#include "app/window/MainWindow.h"

#include <QApplication>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

QImage texture(int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256));
    return image;
}

// Zoom steps on page 1 holding a picture of the given size, at the given position (pixels
// added to each side); each iteration moves the bar there and back, i.e. two zoom actions.
void BM_ZoomStep(benchmark::State& state) {
    velorix::Tvelorix_2 window{velorix::Services{}};
    TPRImage* image = window.FillFirstPage(velorix::PageKind::Opened);
    image->SetPicture(texture(int(state.range(0)), int(state.range(1))));
    window.TakeZoomSource(image);
    const int position = int(state.range(2));
    for (auto _ : state) {
        window.SetZoomPosition(position);
        window.SetZoomPosition(position - 1);
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_ZoomStep)
    ->Args({600, 800, 100})
    ->Args({600, 800, 1000})
    ->Args({2480, 3508, 1000})
    ->Unit(benchmark::kMillisecond);

// A page change copies the new page's picture into ZoomSource.
void BM_PageChange(benchmark::State& state) {
    velorix::Tvelorix_2 window{velorix::Services{}};
    TPRImage* first = window.FillFirstPage(velorix::PageKind::Scanned);
    first->SetPicture(texture(2480, 3508));
    velorix::ImagePage second = window.AddImagePage(2, velorix::PageKind::Opened);
    second.image->SetPicture(texture(600, 800));
    for (auto _ : state)
        window.SelectNextPage();
}
BENCHMARK(BM_PageChange)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
