// Text recognition of an A4 300-dpi page of French text in two columns: seconds per page, and the
// bytes the text layer adds to the page's PDF against its image stream (a plain program).
#include "ocr/TextRecognition.h"
#include "report/PReport.h"
#include "tests/support/FrenchTextPage.h"
#include "workpool/WorkPool.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {

qint64 PdfSize(const QImage& picture, bool searchable, const QString& path) {
    TPRPage page;
    page.SetBounds(0, 0, 600, 800);
    auto* layout = new TPRLayoutPanel(&page);
    layout->SetAlign(alClient);
    auto* image = new TPRImage(layout);
    image->setObjectName(QStringLiteral("PRImage1"));
    image->SetAlign(alClient);
    image->SetPicture(picture);
    image->SetRecogniseText(searchable);
    image->PrepareStream();
    TPReport report;
    report.SetSearchableText(searchable);
    report.SetFileName(path);
    report.BeginDoc();
    report.Print(&page);
    report.EndDoc();
    return QFile(path).size();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QImage page = velorix::testing::FrenchTextPage(nullptr, 8);
    QElapsedTimer clock;
    clock.start();
    // --one-thread: every line on the calling thread, as before lines went to the workers.
    const bool oneThread = argc > 1 && QByteArray(argv[1]) == "--one-thread";
    pdfwork::TWorkPool* pool = oneThread ? nullptr : &pdfwork::TWorkPool::Shared();
    const ocr::TOcrPage first = ocr::RecognizeText(page, {}, ocr::kDefaultLanguages, pool);
    const double withLoading = clock.elapsed() / 1000.0;
    constexpr int kRuns = 3;
    clock.restart();
    const std::clock_t processor = std::clock();
    for (int i = 0; i < kRuns; ++i)
        ocr::RecognizeText(page, {}, ocr::kDefaultLanguages, pool);
    // Processor time says what a page costs when other programs share the cores.
    std::printf("recognition, A4 300 dpi, %zu words: %.2f s a page on %d threads, %.2f s of "
                "processor time (%.2f s with the language data loading)\n",
                first.words.size(), clock.elapsed() / 1000.0 / kRuns,
                pool != nullptr ? pool->ThreadCount() : 1,
                double(std::clock() - processor) / CLOCKS_PER_SEC / kRuns, withLoading);

    QTemporaryDir dir;
    const qint64 plain = PdfSize(page, false, dir.filePath(QStringLiteral("plain.pdf")));
    const qint64 searchable = PdfSize(page, true, dir.filePath(QStringLiteral("text.pdf")));
    std::printf("text layer: %lld bytes a page, %.2f %% of the page's PDF (%lld bytes)\n",
                static_cast<long long>(searchable - plain), 100.0 * (searchable - plain) / plain,
                static_cast<long long>(plain));
    return 0;
}
