// Prints one page's picture on the system's default printer through our printing layer, waits for
// the PDF that a cups-pdf printer writes, and checks where the picture landed on the sheet.
// Used by CupsPrintTest.sh, which runs a private CUPS server for it.
//
//   PrintProbe TITLE OUTPUT_DIR     exit 0 when the picture is where it belongs

#include "imaging/printing/Printing.h"
#include "tests/imaging/RenderSupport.h"
#include "tests/imaging/TestImages.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

using namespace velorix::printing;
using namespace velorix::testing;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: PrintProbe TITLE OUTPUT_DIR\n", stderr);
        return 2;
    }
    const QString title = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        std::fputs("PrintProbe: no default printer seen through CUPS\n", stderr);
        return 1;
    }
    // The printer's resolution as a job sees it decides the expected size.
    int dpiX = 0, dpiY = 0;
    QRectF area;
    class Spy : public IPrinter {
    public:
        Spy(IPrinter& inner, int& x, int& y, QRectF& a) : inner_(inner), x_(x), y_(y), a_(a) {}
        QString name() const override { return inner_.name(); }
        bool setup(QWidget* w) override { return inner_.setup(w); }
        std::unique_ptr<IPrintJob> beginJob(const QString& t) override {
            auto job = inner_.beginJob(t);
            x_ = job->dpiX();
            y_ = job->dpiY();
            a_ = job->printableArea();
            return job;
        }

    private:
        IPrinter& inner_;
        int& x_;
        int& y_;
        QRectF& a_;
    };
    auto system = makeSystemPrinter();
    Spy spy(*system, dpiX, dpiY, area);
    try {
        PrintPicture(spy, solid(600, 800, Qt::red), 96, 96, title);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "PrintProbe: printing failed: %s\n", e.what());
        return 1;
    }
    std::printf("printed on %s at %d x %d dpi\n", qPrintable(info.printerName()), dpiX, dpiY);

    QString pdf;
    const QDeadlineTimer deadline(90 * 1000);
    while (pdf.isEmpty() && !deadline.hasExpired()) {
        const QStringList found =
            out.entryList({title + QStringLiteral("*.pdf")}, QDir::Files, QDir::Time);
        if (!found.isEmpty()) {
            // cups-pdf writes the file in place: wait until its size settles.
            const QString candidate = out.filePath(found.first());
            const qint64 size = QFileInfo(candidate).size();
            QThread::msleep(500);
            if (size > 0 && QFileInfo(candidate).size() == size)
                pdf = candidate;
        } else {
            QThread::msleep(250);
        }
    }
    if (pdf.isEmpty()) {
        std::fprintf(stderr, "PrintProbe: no PDF from the printer in %s\n", qPrintable(out.path()));
        return 1;
    }
    std::printf("printer wrote %s\n", qPrintable(pdf));

    QTemporaryDir work;
    const int renderDpi = 50;
    const QImage page = renderFirstPage(pdf, renderDpi, work.path());
    QFile::remove(pdf);
    if (page.isNull()) {
        std::fputs("PrintProbe: the printed PDF cannot be rendered\n", stderr);
        return 1;
    }
    // From the printable area's top-left corner, 820 x 1120 times the factors, cut at the
    // sheet's edges.
    const QRect box = redBox(page);
    const double scale = renderDpi / 72.0;
    const double width = 820.0 * (dpiX / 96) / dpiX * renderDpi;
    const double height = 1120.0 * (dpiY / 96) / dpiY * renderDpi;
    const QRect expected = QRect(int(area.left() * scale + 0.5), int(area.top() * scale + 0.5),
                                 int(width + 0.5), int(height + 0.5))
                               .intersected(page.rect());
    std::printf("picture at %d,%d size %dx%d; expected %d,%d size %dx%d (sheet %dx%d)\n",
                box.left(), box.top(), box.width(), box.height(), expected.left(), expected.top(),
                expected.width(), expected.height(), page.width(), page.height());
    const bool ok = !box.isNull() && std::abs(box.left() - expected.left()) <= 1 &&
                    std::abs(box.top() - expected.top()) <= 1 &&
                    std::abs(box.width() - expected.width()) <= 2 &&
                    std::abs(box.height() - expected.height()) <= 2;
    return ok ? 0 : 1;
}
