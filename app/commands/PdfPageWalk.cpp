#include "app/commands/PdfPageWalk.h"

#include "app/platform/FixedPlaces.h"
#include "app/window/MainWindow.h"
#include "pdf/PReport.h"

#include <QTabWidget>

namespace velorix {

void WritePagesToPdf(Tvelorix_2& window) {
    TPReport& report = *window.PReport1;
    if (report.FileName() == SharedPdfPath())
        EnsureSharedPdfFolder(); // a fresh account may have no documents folder yet
    report.BeginDoc();
    QTabWidget& tabs = *window.PageControl1;
    if (window.PRPage1 && tabs.count() > 0 && tabs.isTabVisible(0))
        report.Print(window.PRPage1);
    const int count = window.PageCount();
    for (int n = 1; n <= count; ++n) {
        TPRPage* page = window.FindReportPage(n);
        if (page && tabs.isTabVisible(n - 1))
            report.Print(page);
    }
    report.EndDoc();
}

void WritePagesToPdf(Tvelorix_2& window, const QString& fileName) {
    window.PReport1->SetFileName(fileName);
    WritePagesToPdf(window);
}

} // namespace velorix
