// The zoom bar, one step at a time, on page 1 of the main window holding a scan-like picture:
// a step moves the bar and paints the page's image (a grab of the whole 598 x 798 item, the most
// that can show). Our step paints only the visible part of the enlarged picture; the reference
// is the former step, which made the whole enlarged picture with Qt's smooth scaling and then
// painted it, timed here in the same run. Prints the median milliseconds per step of both and
// their ratio (target: at most 30 ms per step at any position on an A4 300-dpi page), then what
// the enlarged picture costs when something first reads it (export, print, save, page change),
// and how soon a zoomed tab paints when the user comes back to it right after cancelling a
// ten-page export, with the pool still busy with the other pages (target: 50 ms).
//
// Times are wall times; run it on an otherwise idle machine.
// Usage: ZoomBench [steps]   (default 9 steps per figure)
#include "app/window/MainWindow.h"
#include "imaging/SmoothScale.h"
#include "report/PReport.h"
#include "tests/support/ScanLikePage.h"
#include "workpool/WorkPool.h"

#include <QApplication>
#include <QPixmap>
#include <QScrollBar>
#include <QTabWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

double NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Median of steps runs of step(i), in milliseconds, after one run that is not counted (the
// first paint of a window sets up fonts and styles).
double MedianMs(int steps, const std::function<void(int)>& step) {
    step(steps);
    std::vector<double> times;
    for (int i = 0; i < steps; ++i) {
        const double start = NowMs();
        step(i);
        times.push_back(NowMs() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Page 1 as an open leaves it: not full-page, the bar at 0 and enabled, ZoomSource taken.
TPRImage* OpenedPage(velorix::Tvelorix_2& window, const QImage& picture) {
    TPRImage* image = window.FillFirstPage(velorix::PageKind::Opened);
    image->SetPicture(picture);
    window.SetZoomPosition(0);
    window.Zoom1->setEnabled(true);
    window.TakeZoomSource(image);
    return image;
}

// One step with our window: the bar moves to position or next to it (a real change each time).
double OurStep(const QImage& picture, int position, int steps) {
    velorix::Tvelorix_2 window{velorix::Services{}};
    TPRImage* image = OpenedPage(window, picture);
    return MedianMs(steps, [&](int i) {
        window.SetZoomPosition(position - i % 2);
        const QPixmap shown = image->grab();
        (void)shown;
    });
}

// The former step: the whole enlarged picture made from ZoomSource, then painted.
double ReferenceStep(const QImage& picture, int position, int steps) {
    velorix::Tvelorix_2 window{velorix::Services{}};
    TPRImage* image = OpenedPage(window, picture);
    const QImage source = window.ZoomSource.Image();
    return MedianMs(steps, [&](int i) {
        const int p = position - i % 2;
        QImage zoomed = source.scaled(source.width() + p, source.height() + p,
                                      Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (zoomed.format() != source.format())
            zoomed.convertTo(source.format());
        image->SetPicture(zoomed);
        const QPixmap shown = image->grab();
        (void)shown;
    });
}

// Ten A4 pages, the third zoomed to 1000 and left for page 1; the export then posts every
// page's stream, as it does before its wait, and is cancelled at once: the pool is left with the
// backlog. Returns the milliseconds from the user's choice of the zoomed tab to its page
// painted, and sets busy when streams were still pending after it.
double ZoomedTabAfterCancelledExport(bool& busy) {
    velorix::Tvelorix_2 window{velorix::Services{}};
    std::vector<TPRImage*> images{OpenedPage(window, velorix::testing::ScanLikePage(1))};
    window.PRPage1->show();
    window.EnablePageCommands();
    window.FirstPageFilled = true;
    for (int n = 2; n <= 10; ++n) {
        const velorix::ImagePage page = window.AddImagePage(n, velorix::PageKind::Opened);
        page.image->SetPicture(velorix::testing::ScanLikePage(n));
        page.page->show();
        images.push_back(page.image);
    }
    TPRImage* zoomed = images[2];
    window.ActivatePage(2);
    window.SetZoomPosition(0);
    window.TakeZoomSource(zoomed);
    window.SetZoomPosition(1000);
    window.PageControl1->setCurrentIndex(0); // the user goes to page 1 and exports
    for (TPRImage* image : images)
        image->PrepareStream();
    const double start = NowMs();
    window.PageControl1->setCurrentIndex(2);
    const QPixmap shown = zoomed->grab();
    const double ms = NowMs() - start;
    (void)shown;
    busy = false;
    for (TPRImage* image : images)
        busy = busy || image->StreamPending();
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int steps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;

    // The first windows of a process are slower to paint: one of each kind before the figures.
    const QImage warmUp = velorix::testing::ScanLikePage(1, 600, 800);
    OurStep(warmUp, 100, steps);
    ReferenceStep(warmUp, 100, steps);

    std::printf("zoom step with its paint, median of %d steps, ms (wall)\n", steps);
    std::printf("%-12s %8s %10s %10s %8s\n", "picture", "position", "ours", "reference", "ratio");
    const QSize sizes[] = {QSize(600, 800),
                           QSize(velorix::testing::kA4Width300, velorix::testing::kA4Height300)};
    for (const QSize& size : sizes) {
        const QImage picture = velorix::testing::ScanLikePage(1, size.width(), size.height());
        for (int position : {100, 500, 1000}) {
            const double ours = OurStep(picture, position, steps);
            const double reference = ReferenceStep(picture, position, steps);
            std::printf("%5d x %-4d %8d %10.2f %10.2f %8.3f\n", size.width(), size.height(),
                        position, ours, reference, ours / reference);
        }
    }

    // Pages hold other formats too: turned pages, grey scans, palette and 1-bit pictures.
    std::printf("\nA4 page at position 1000 by picture format\n");
    std::printf("%-24s %10s %10s %8s\n", "format", "ours", "reference", "ratio");
    const QImage colour = velorix::testing::ScanLikePage(1);
    QList<QRgb> greyRamp;
    for (int i = 0; i < 256; ++i)
        greyRamp.append(qRgb(i, i, i));
    const struct {
        const char* name;
        QImage picture;
    } kinds[] = {
        {"turned (BGR888)", colour.convertToFormat(QImage::Format_BGR888)},
        {"grey scan (grey palette)", colour.convertToFormat(QImage::Format_Indexed8, greyRamp)},
        {"colour palette", colour.convertToFormat(QImage::Format_Indexed8)},
        {"1-bit", colour.convertToFormat(QImage::Format_Mono)},
    };
    for (const auto& kind : kinds) {
        const double ours = OurStep(kind.picture, 1000, steps);
        const double reference = ReferenceStep(kind.picture, 1000, steps);
        std::printf("%-24s %10.2f %10.2f %8.3f\n", kind.name, ours, reference, ours / reference);
    }

    // The enlarged picture is made once, when something reads it.
    const QImage a4 = velorix::testing::ScanLikePage(1);
    const QSize big(a4.width() + 1000, a4.height() + 1000);
    const double made = MedianMs(steps, [&](int) { (void)SmoothScaled(a4, big); });
    const double qtMade = MedianMs(steps, [&](int) {
        QImage zoomed = a4.scaled(big, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        zoomed.convertTo(a4.format());
    });
    std::printf("whole enlarged A4 picture at 1000, made on first read: ours %.2f ms, "
                "reference %.2f ms, ratio %.3f\n",
                made, qtMade, made / qtMade);

    std::vector<double> entered;
    int busyRuns = 0;
    for (int i = 0; i < 3; ++i) {
        bool busy = false;
        entered.push_back(ZoomedTabAfterCancelledExport(busy));
        busyRuns += busy ? 1 : 0;
        pdfwork::TWorkPool::StopShared(); // the next run starts with an idle pool
    }
    std::sort(entered.begin(), entered.end());
    std::printf("zoomed A4 tab entered after a cancelled 10-page export: %.2f ms to paint "
                "(median of 3; pool still busy in %d of 3)\n",
                entered[1], busyRuns);
    return 0;
}
