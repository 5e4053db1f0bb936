// The three PDF qualities side by side on ten colour office pages at 300 dpi made like scans
// (tests/support/OfficePage): seconds to export the ten pages from final pictures (their data
// prepared on the pool, then the document written), bytes a page, PSNR of the first page
// rendered by MuPDF against the scanned pixels (whole page and photo), and the words text
// recognition finds on it (rendered by poppler) against those it finds on the lossless page. Goals:
// "Compacte" at most 0.15 x and "Texte" 0.3 x the lossless time; compact <= 1 MB and >= 38 dB; text
// <= 120 KB, recall >= 98 %, photo >= 28 dB.
//
//   build-X/bench/PdfQualityBench [pages]   (VELORIX_BENCH_KEEP=1: the PDFs are left)
#include "report/PReport.h"
#include "tests/support/OfficePage.h"
#include "tests/support/ReportPage.h"
#include "tests/support/ScanLikePage.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

// Prepares every page's data in quality on the pool, then writes the document: seconds.
double Export(std::vector<std::unique_ptr<velorix::testing::ReportPage>>& pages,
              TPdfQuality quality, const QString& file) {
    const auto start = Clock::now();
    for (auto& page : pages) {
        page->image->SetPdfQuality(quality);
        page->image->PrepareStream();
    }
    TPReport report;
    report.SetFileName(file);
    report.SetQuality(quality);
    report.BeginDoc();
    for (auto& page : pages)
        report.Print(&page->page);
    report.EndDoc();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    // VELORIX_BENCH_KEEP=1 leaves the PDFs for a look in a viewer.
    if (std::getenv("VELORIX_BENCH_KEEP")) {
        dir.setAutoRemove(false);
        std::printf("PDFs kept in %s\n", qPrintable(dir.path()));
    }
    std::vector<QImage> pictures;
    for (int n = 0; n < count; ++n)
        pictures.push_back(velorix::testing::OfficePage(n));

    const char* names[] = {"Sans perte", "Compacte", "Texte"};
    double seconds[kPdfQualityCount] = {};
    QStringList lossWords;
    for (int q = 0; q < kPdfQualityCount; ++q) {
        const auto quality = static_cast<TPdfQuality>(q);
        // Fresh pictures each time, so that nothing prepared before is taken.
        std::vector<std::unique_ptr<velorix::testing::ReportPage>> pages;
        for (int n = 0; n < count; ++n)
            pages.push_back(std::make_unique<velorix::testing::ReportPage>(
                pictures[std::size_t(n)].copy(), true, QSize(600, 800),
                QStringLiteral("PRImage%1").arg(n + 1)));
        const QString file = dir.filePath(QStringLiteral("q%1.pdf").arg(q));
        seconds[q] = Export(pages, quality, file);
        const double bytes = double(QFile(file).size()) / count;
        // The first page alone, one point a pixel, so that its pixels meet the scanned ones.
        const QString single = dir.filePath(QStringLiteral("single%1.pdf").arg(q));
        if (!WriteFile(single, velorix::testing::QualityPdf(pictures[0], quality)))
            return 1;
        // MuPDF draws pixels one for one; poppler smooths them, which PSNR would count.
        const QImage exact = velorix::testing::RenderPdfPage(single, 1, pictures[0].size(), true);
        const QImage shown = velorix::testing::RenderPdfPage(single, 1, pictures[0].size());
        const double psnr = velorix::testing::Psnr(pictures[0], exact);
        const double photo =
            velorix::testing::Psnr(pictures[0], exact, velorix::testing::OfficePhoto(0));
        const QStringList words = velorix::testing::RecognisedWords(shown);
        if (q == 0)
            lossWords = words;
        std::printf("%-11s %2d pages %6.2f s (%.2f x lossless)  %9.0f bytes a page  PSNR %.1f dB "
                    "(photo %.1f dB)  words %lld, recall %.1f %%\n",
                    names[q], count, seconds[q], seconds[q] / seconds[0], bytes, psnr, photo,
                    static_cast<long long>(words.size()),
                    100.0 * velorix::testing::WordRecall(lossWords, words));
        std::fflush(stdout);
    }

    // The compact goal's own page: ScanLikePage (paper tint, noise, a photo block, text strokes).
    {
        const QImage scan = velorix::testing::ScanLikePage(1);
        std::vector<std::unique_ptr<velorix::testing::ReportPage>> pages;
        pages.push_back(std::make_unique<velorix::testing::ReportPage>(scan));
        const QString file = dir.filePath(QStringLiteral("scanlike.pdf"));
        Export(pages, TPdfQuality::Compact, file);
        const QString single = dir.filePath(QStringLiteral("scanlike1.pdf"));
        if (!WriteFile(single, velorix::testing::QualityPdf(scan, TPdfQuality::Compact)))
            return 1;
        const QImage shown = velorix::testing::RenderPdfPage(single, 1, scan.size(), true);
        std::printf("Compacte on ScanLikePage: %lld bytes, PSNR %.1f dB\n",
                    static_cast<long long>(QFile(file).size()),
                    velorix::testing::Psnr(scan, shown));
    }
    return 0;
}
