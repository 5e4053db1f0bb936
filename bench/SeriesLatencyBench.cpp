// "SCANNER VERS PDF" as a user runs it: a series of A4-wide 300 dpi colour pages from SANE's test
// device, the user taking 3 s over each "scan another?" question. Measures the time from the
// last answer to the PDF reaching the viewer (goal: at most 0.5 s), against what compressing the
// same pages after that answer would cost (serial zlib level 9 of their pixels).
// With --ocr, "Texte cherchable (OCR)" is on and every page is an A4 page full of French text
// (two columns, about 700 words) read by SANE's pnm file reader (goal: at most 1 s).
// With --quality compact|text, the PDF is written in that quality (goal: at most 0.3 s).
//
//   build-X/bench/SeriesLatencyBench [pages] [seconds per question] [--ocr]
//                                    [--quality lossless|compact|text]
#include "app/cli/CommandLineCommon.h"
#include "app/window/MainWindow.h"
#include "report/PReport.h"
#include "scan/client/WorkerPlatform.h"
#include "tests/support/FrenchTextPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Answers "scan another?" after thinking for a while, with the window's loop running meanwhile.
class ThinkingUser final : public velorix::Prompts {
public:
    ThinkingUser(int pages, int thinkMs) : yesLeft_(pages - 1), thinkMs_(thinkMs) {}
    std::optional<Clock::time_point> lastAnswer;

    bool confirm(const QString&) override {
        QEventLoop think;
        QTimer::singleShot(thinkMs_, &think, &QEventLoop::quit);
        think.exec();
        const bool yes = yesLeft_-- > 0;
        if (!yes)
            lastAnswer = Clock::now();
        return yes;
    }
    void inform(const QString& text) override { complain(text); }
    void warning(const QString& text) override { complain(text); }
    void error(const QString& text) override { complain(text); }
    int execDialog(QDialog&) override { return QDialog::Accepted; } // paper changed

private:
    static void complain(const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    int yesLeft_;
    int thinkMs_;
};

class Viewer final : public velorix::Shell {
public:
    std::optional<Clock::time_point> opened;
    bool available() const override { return true; }
    bool open(const QUrl&) override {
        opened = Clock::now();
        return true;
    }
};

} // namespace

int main(int argc, char** argv) {
    TPdfQuality quality = TPdfQuality::Lossless;
    if (argc > 2 && std::strcmp(argv[argc - 2], "--quality") == 0) {
        const auto word = PdfQualityFromWord(argv[argc - 1]);
        if (!word) {
            std::fprintf(stderr, "unknown quality %s\n", argv[argc - 1]);
            return 1;
        }
        quality = *word;
        argc -= 2;
    }
    const bool ocr = argc > 1 && std::strcmp(argv[argc - 1], "--ocr") == 0;
    if (ocr)
        --argc;
    const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int thinkMs = argc > 2 ? std::max(0, std::atoi(argv[2])) * 1000 : 3000;
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    // The scanner worker is built beside the program, not beside the benchmarks.
    if (std::getenv(velorix::scan::worker::WorkerExeEnv) == nullptr)
        setenv(velorix::scan::worker::WorkerExeEnv,
               qPrintable(QCoreApplication::applicationDirPath() +
                          QStringLiteral("/../app/velorix-scan-worker")),
               1);
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("page.ppm"));
    if (ocr) {
        QFile dll(dir.filePath(QStringLiteral("dll.conf"))), ppm(text);
        if (!dll.open(QIODevice::WriteOnly) || dll.write("pnm\n") != 4 ||
            !ppm.open(QIODevice::WriteOnly) ||
            ppm.write(velorix::testing::PpmFile(velorix::testing::FrenchTextPage(nullptr, 8))) <=
                0) {
            std::fprintf(stderr, "cannot write the pnm reader's page\n");
            return 1;
        }
        setenv("SANE_CONFIG_DIR", qPrintable(dir.path()), 1);
    } else {
        setenv("SANE_CONFIG_DIR", VELORIX_SOURCE_DIR "/data/sane.d", 1);
    }

    auto user = std::make_shared<ThinkingUser>(pages, thinkMs);
    auto viewer = std::make_shared<Viewer>();
    velorix::Services services = velorix::CommandLineServices(user);
    services.shell = viewer;
    services.scanner =
        ocr ? velorix::scan::worker::CreateWorkerScanPlatform({{"filename", text.toStdString()}})
            : velorix::scan::LoadScanPlatform();
    velorix::Tvelorix_2 window(services);
    window.PReport1->SetFileName(dir.filePath(QStringLiteral("capture.pdf")));
    window.show();
    // The scanners are listed in the background.
    for (int wait = 0; wait < 300 && window.cbDevice->count() == 0; ++wait) {
        QEventLoop listing;
        QTimer::singleShot(50, &listing, &QEventLoop::quit);
        listing.exec();
    }
    window.cbDevice->setCurrentIndex(0);
    window.cbDeviceChange(window.cbDevice);
    window.res->setEditText(QStringLiteral("300"));
    window.multi->setChecked(true);
    window.SetSearchableText(ocr);
    window.SetPdfQuality(quality);

    const auto start = Clock::now();
    const std::clock_t processorStart = std::clock();
    window.Guarded([&] { window.pdfClick(window.scannerexporterpdf); });
    // Processor time says what the series costs when other programs share the cores.
    const double processor = double(std::clock() - processorStart) / CLOCKS_PER_SEC;
    if (!user->lastAnswer || !viewer->opened) {
        std::fprintf(stderr, "the series did not reach the viewer\n");
        return 1;
    }
    const double ours = Seconds(*viewer->opened - *user->lastAnswer);

    // What the same pages cost compressed after the last answer, one after the other.
    double pixelBytes = 0;
    const auto serialStart = Clock::now();
    for (int n = 1; n <= pages; ++n) {
        const QImage rgb =
            window.FindPageImage(n)->Picture().convertToFormat(QImage::Format_RGB888);
        std::string row;
        for (int y = 0; y < rgb.height(); ++y)
            row.append(reinterpret_cast<const char*>(rgb.constScanLine(y)),
                       std::size_t(rgb.width()) * 3);
        uLongf size = compressBound(uLong(row.size()));
        std::string out(size, '\0');
        compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(row.data()), uLong(row.size()),
                  Z_BEST_COMPRESSION);
        pixelBytes += double(row.size());
    }
    const double reference = Seconds(Clock::now() - serialStart);

    std::printf("%d pages (%.1f MB of pixels), %.1f s per question, series %.1f s, %.1f s of "
                "processor time\n",
                pages, pixelBytes / (1024.0 * 1024.0), thinkMs / 1000.0,
                Seconds(*viewer->opened - start), processor);
    const double goal = ocr ? 1.0 : quality != TPdfQuality::Lossless ? 0.3 : 0.5;
    std::printf(
        "last answer to viewer%s, quality %s: %.3f s; serial zlib level 9 of the pages after the "
        "answer: %.3f s; ratio %.3f (goal <= %.1f s: %s)\n",
        ocr ? " with the text recognised" : "", PdfQualityWord(quality), ours, reference,
        ours / reference, goal, ours <= goal ? "met" : "NOT met");
    return 0;
}
