#include "app/commands/PdfPageWalk.h"

#include "app/platform/FixedPlaces.h"
#include "app/window/MainWindow.h"
#include "pdf/PReport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTimer>

namespace velorix {

namespace {

// Shorter waits show no progress window, so that quick exports do not flicker.
constexpr qint64 kQuietMs = 500;

bool Pending(const TPRPage* page) {
    for (const TPRImage* image : page->findChildren<TPRImage*>())
        if (image->StreamPending())
            return true;
    return false;
}

// Waits until the streams of every page are made, with the window still painting; false when
// the user cancelled. User input waits until the progress window is up, and then goes to it
// alone (it is modal): no other command may change the pages meanwhile.
bool AwaitStreams(const std::vector<TPRPage*>& pages, ProgressWindow& progress) {
    for (TPRPage* page : pages)
        for (TPRImage* image : page->findChildren<TPRImage*>())
            image->PrepareStream(); // all at once, so that the pool is never idle
    QElapsedTimer clock;
    clock.start();
    QTimer wake; // bounds each wait below, so that readiness is seen promptly
    wake.start(15);
    bool shown = false;
    const int total = static_cast<int>(pages.size());
    for (int i = 0; i < total; ++i) {
        progress.setPage(i + 1, total);
        while (!progress.cancelled() && Pending(pages[std::size_t(i)])) {
            if (!shown && clock.elapsed() >= kQuietMs) {
                progress.show();
                shown = true;
            }
            QCoreApplication::processEvents(shown ? QEventLoop::WaitForMoreEvents
                                                  : QEventLoop::WaitForMoreEvents |
                                                        QEventLoop::ExcludeUserInputEvents);
        }
        if (progress.cancelled())
            return false;
    }
    return true;
}

} // namespace

std::vector<TPRPage*> PdfPages(Tvelorix_2& window) {
    std::vector<TPRPage*> pages;
    QTabWidget& tabs = *window.PageControl1;
    if (window.PRPage1 && tabs.count() > 0 && tabs.isTabVisible(0))
        pages.push_back(window.PRPage1);
    const int count = window.PageCount();
    for (int n = 1; n <= count; ++n) {
        TPRPage* page = window.FindReportPage(n);
        if (page && tabs.isTabVisible(n - 1))
            pages.push_back(page);
    }
    return pages;
}

bool WritePagesToPdf(Tvelorix_2& window) {
    TPReport& report = *window.PReport1;
    const std::vector<TPRPage*> pages = PdfPages(window);
    {
        // Nothing is written before this ends, so a cancel leaves the old file as it was.
        const std::unique_ptr<ProgressWindow> progress =
            window.prompts().progress(QStringLiteral("Création du PDF"), true);
        if (!AwaitStreams(pages, *progress))
            return false;
    }
    if (report.FileName() == SharedPdfPath())
        EnsureSharedPdfFolder(); // a fresh account may have no documents folder yet
    report.BeginDoc();
    for (TPRPage* page : pages)
        report.Print(page);
    report.EndDoc();
    return true;
}

bool WritePagesToPdf(Tvelorix_2& window, const QString& fileName) {
    window.PReport1->SetFileName(fileName);
    return WritePagesToPdf(window);
}

} // namespace velorix
