#include "app/commands/PdfPageWalk.h"

#include "app/platform/FixedPlaces.h"
#include "app/window/MainWindow.h"
#include "pdf/PReport.h"

#include <QTabWidget>

namespace velorix {

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

void WritePagesToPdf(Tvelorix_2& window) {
    TPReport& report = *window.PReport1;
    if (report.FileName() == SharedPdfPath())
        EnsureSharedPdfFolder(); // a fresh account may have no documents folder yet
    const std::vector<TPRPage*> pages = PdfPages(window);
    report.BeginDoc();
    for (TPRPage* page : pages)
        report.Print(page);
    report.EndDoc();
}

void WritePagesToPdf(Tvelorix_2& window, const QString& fileName) {
    window.PReport1->SetFileName(fileName);
    WritePagesToPdf(window);
}

} // namespace velorix
