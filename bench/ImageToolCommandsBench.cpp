// The whole "+90°" command on an A4 300-dpi colour page 1: zoom reset, turn, the page's picture
// and ZoomSource. The turn alone is ImageToolsBench's.
#include "app/window/MainWindow.h"

#include <QApplication>
#include <QToolButton>

#include <benchmark/benchmark.h>

namespace {

void BM_TurnCommand(benchmark::State& state) {
    velorix::Tvelorix_2 window{velorix::Services{}};
    TPRImage* image = window.FillFirstPage(velorix::PageKind::Opened);
    // A turn moves every byte whatever they hold; pages are held as 32-bit pictures.
    QImage picture(2480, 3508, QImage::Format_RGB32);
    picture.fill(qRgb(231, 226, 214));
    image->SetPicture(picture);
    window.TakeZoomSource(image);
    for (auto _ : state)
        window.N902Click(window.plus90);
}
BENCHMARK(BM_TurnCommand)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
