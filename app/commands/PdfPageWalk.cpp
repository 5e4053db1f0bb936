#include "app/commands/PdfPageWalk.h"

#include "app/platform/FixedPlaces.h"
#include "app/window/MainWindow.h"
#include "report/PReport.h"
#include "waits/Waits.h"

#include <QElapsedTimer>
#include <QTabWidget>

namespace velorix {

namespace {

// Shorter waits show no progress window, so that quick exports do not flicker.
constexpr qint64 kQuietMs = 500;

// The other qualities prepared beside (the compact one of a mail) are not waited for.
bool Pending(const TPRPage* page, TPdfQuality quality) {
    for (const TPRImage* image : page->findChildren<TPRImage*>())
        if (image->StreamPending(quality))
            return true;
    return false;
}

bool TextPending(const TPRPage* page) {
    for (const TPRImage* image : page->findChildren<TPRImage*>())
        if (image->TextPending())
            return true;
    return false;
}

// The wait of one export: the window paints meanwhile; user input goes to the progress window
// alone (it is modal), so that no other command may change the pages while they are written.
class ExportWait {
public:
    explicit ExportWait(ProgressWindow& progress) : progress_(progress) { clock_.start(); }

    // Runs the program's events until done() or a cancel; false when cancelled.
    bool until(const std::function<bool()>& done) {
        waits::Until([&] {
            if (progress_.cancelled() || done())
                return true;
            if (!shown_ && clock_.elapsed() >= kQuietMs) {
                progress_.show();
                shown_ = true;
            }
            return false;
        });
        return !progress_.cancelled();
    }

private:
    ProgressWindow& progress_;
    QElapsedTimer clock_;
    bool shown_ = false;
};

// Waits until the streams of every page are made; false when the user cancelled.
bool AwaitStreams(const std::vector<TPRPage*>& pages, TPdfQuality quality, ProgressWindow& progress,
                  ExportWait& wait) {
    for (TPRPage* page : pages)
        for (TPRImage* image : page->findChildren<TPRImage*>())
            image->PrepareStream(quality); // all at once, so that the pool is never idle
    const int total = static_cast<int>(pages.size());
    for (int i = 0; i < total; ++i) {
        progress.setPage(i + 1, total);
        if (!wait.until(
                [page = pages[std::size_t(i)], quality] { return !Pending(page, quality); }))
            return false;
    }
    return true;
}

// Waits until the text of every page is recognised, in the same progress window; false when the
// user cancelled. Only what is still pending is waited for: recognition started when each
// picture became final.
bool AwaitText(const std::vector<TPRPage*>& pages, ProgressWindow& progress, ExportWait& wait) {
    for (TPRPage* page : pages)
        for (TPRImage* image : page->findChildren<TPRImage*>())
            image->PrepareText(); // nothing for a picture recognised or being recognised
    progress.setCaption(QStringLiteral("Reconnaissance du texte"));
    const int total = static_cast<int>(pages.size());
    for (int i = 0; i < total; ++i) {
        progress.setPage(i + 1, total);
        if (!wait.until([page = pages[std::size_t(i)]] { return !TextPending(page); }))
            return false;
    }
    return true;
}

// The first reason a page's text is missing (language data not installed), told once: the PDF
// is written all the same, without text for those pages.
void TellTextFailure(const std::vector<TPRPage*>& pages, Prompts& prompts) {
    for (TPRPage* page : pages)
        for (TPRImage* image : page->findChildren<TPRImage*>()) {
            std::string failure;
            if (image->Text(&failure) == nullptr && !failure.empty()) {
                prompts.warning(QString::fromStdString(failure));
                return;
            }
        }
}

} // namespace

std::vector<TPRPage*> PdfPages(Tvelorix_2& window) {
    std::vector<TPRPage*> pages;
    QTabWidget& tabs = *window.PageControl1;
    // The window's own page, while it is first (moved elsewhere it is named "Page" + n).
    if (window.PRPage1 && tabs.count() > 0 && tabs.widget(0) == window.TabSheet1 &&
        tabs.isTabVisible(0))
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
    return WritePagesToPdf(window, window.PdfQuality());
}

bool WritePagesToPdf(Tvelorix_2& window, TPdfQuality quality, const QString& fileName) {
    TPReport& report = *window.PReport1;
    if (!fileName.isEmpty()) {
        const QString previous = report.FileName();
        report.SetFileName(fileName);
        struct Restore {
            TPReport& report;
            QString name;
            ~Restore() { report.SetFileName(name); }
        } restore{report, previous};
        return WritePagesToPdf(window, quality);
    }
    const std::vector<TPRPage*> pages = PdfPages(window);
    const std::unique_ptr<ProgressWindow> progress =
        window.prompts().progress(QStringLiteral("Création du PDF"), true);
    ExportWait wait(*progress);
    if (!AwaitStreams(pages, quality, *progress, wait))
        return false;
    const bool searchable = window.SearchableText();
    if (searchable) {
        if (!AwaitText(pages, *progress, wait))
            return false;
        TellTextFailure(pages, window.prompts());
        progress->setCaption(QStringLiteral("Création du PDF"));
    }
    report.SetSearchableText(searchable);
    report.SetQuality(quality);
    if (report.FileName() == SharedPdfPath())
        EnsureSharedPdfFolder(); // a fresh account may have no documents folder yet
    report.BeginDoc();
    for (TPRPage* page : pages)
        report.Print(page);
    // A cancel while writing leaves the old file as it was, and no temporary file.
    return report.EndDoc(
        [&wait](const std::function<bool()>& finished) { return wait.until(finished); });
}

bool WritePagesToPdf(Tvelorix_2& window, const QString& fileName) {
    window.PReport1->SetFileName(fileName);
    return WritePagesToPdf(window);
}

} // namespace velorix
