// The steps of `velorix --scan-pdf` with pages that compress like real colour scans: SANE's pnm
// file reader hands over generated A4 300 dpi pages (paper tint, text, a photo, sensor noise), one
// file per scan (written as part of it), and the pages are then written as a PDF. Prints the time
// of the scans and the export against ten serial zlib level 9 compressions of the same pixels
// (goal: at most 0.55). The test device's colour pattern compresses forty times over and leaves
// little to compress; ScanPdfBench measures the real command with it.
//
//   build-X/bench/ScanLikePdfBench [pages]
#include "app/cli/CommandLineCommon.h"
#include "app/commands/PdfPageWalk.h"
#include "app/window/MainWindow.h"
#include "report/PReport.h"
#include "scan/sane/inprocess/InProcessSanePlatform.h"
#include "tests/support/ScanLikePage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QToolButton>

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The page's pixels as the PDF stream holds them: RGB rows without padding.
QByteArray RgbRows(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    QByteArray rows;
    rows.reserve(qsizetype(rgb.width()) * 3 * rgb.height());
    for (int y = 0; y < rgb.height(); ++y)
        rows.append(reinterpret_cast<const char*>(rgb.constScanLine(y)),
                    qsizetype(rgb.width()) * 3);
    return rows;
}

QByteArray Ppm(const QImage& page) {
    return QStringLiteral("P6\n%1 %2\n255\n").arg(page.width()).arg(page.height()).toLatin1() +
           RgbRows(page);
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv) {
    const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QFile conf(dir.filePath(QStringLiteral("dll.conf")));
    if (!conf.open(QIODevice::WriteOnly) || conf.write("pnm\n") != 4)
        return 1;
    conf.close();
    setenv("SANE_CONFIG_DIR", dir.path().toLocal8Bit().constData(), 1);
    const QString file = dir.filePath(QStringLiteral("page.ppm"));

    auto prompts = std::make_shared<velorix::CommandLinePrompts>();
    velorix::Services services = velorix::CommandLineServices(prompts);
    services.scanner =
        velorix::scan::sane::CreateInProcessSanePlatform({{"filename", file.toStdString()}});
    velorix::Tvelorix_2 window(services);
    window.FormShow(&window);
    window.cbDevice->setCurrentIndex(0);
    window.cbDeviceChange(window.cbDevice);
    window.res->setEditText(QStringLiteral("300"));
    window.multi->setChecked(false);

    // Made beforehand, so that the compression ahead of time gets no free time; the writing of
    // each page's file counts as part of its scan.
    std::vector<QByteArray> files;
    for (int n = 1; n <= pages; ++n)
        files.push_back(Ppm(velorix::testing::ScanLikePage(n)));
    Clock::duration ours{};
    for (int n = 1; n <= pages; ++n) {
        const auto start = Clock::now();
        if (!WriteFile(file, files[std::size_t(n - 1)]))
            return 1;
        if (!window.Guarded([&] { window.btnScanClick(window.scanner); }) ||
            !prompts->messages.isEmpty()) {
            std::fprintf(stderr, "scan %d failed: %s\n", n,
                         qPrintable(prompts->messages.join(' ')));
            return 1;
        }
        ours += Clock::now() - start;
    }
    const auto exportStart = Clock::now();
    velorix::WritePagesToPdf(window, dir.filePath(QStringLiteral("pages.pdf")));
    ours += Clock::now() - exportStart;

    double pixelBytes = 0;
    Clock::duration reference{};
    for (int n = 1; n <= pages; ++n) {
        const QByteArray rows = RgbRows(window.FindPageImage(n)->Picture());
        uLongf size = compressBound(uLong(rows.size()));
        std::string out(size, '\0');
        const auto start = Clock::now();
        compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(rows.constData()), uLong(rows.size()),
                  Z_BEST_COMPRESSION);
        reference += Clock::now() - start;
        pixelBytes += double(rows.size());
    }
    std::printf("%d scan-like pages, %.1f MB of pixels, PDF %.1f MB\n", pages,
                pixelBytes / (1024.0 * 1024.0),
                double(QFile(dir.filePath(QStringLiteral("pages.pdf"))).size()) /
                    (1024.0 * 1024.0));
    std::printf("scans and export %.2f s, serial zlib level 9 of the pixels %.2f s, ratio %.2f "
                "(goal <= 0.55)\n",
                Seconds(ours), Seconds(reference), Seconds(ours) / Seconds(reference));
    return 0;
}
