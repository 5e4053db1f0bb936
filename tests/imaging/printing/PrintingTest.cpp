// The printing layer: the printed rectangle, the job that is always ended, and pictures printed on
// a printer that writes PDF, read back to see where they landed.

#include "imaging/printing/Printing.h"
#include "tests/imaging/RenderSupport.h"
#include "tests/imaging/TestImages.h"

#include <QTemporaryDir>
#include <QTest>

using namespace velorix::printing;
using namespace velorix::testing;

namespace {

// A printer that records what it was asked to do.
class RecordingPrinter : public IPrinter {
public:
    int dpiX = 600, dpiY = 600;
    bool failDrawing = false;
    int begun = 0, ended = 0;
    QList<QRect> drawn;

    QString name() const override { return QStringLiteral("recording"); }
    bool setup(QWidget*) override { return true; }
    std::unique_ptr<IPrintJob> beginJob(const QString&) override {
        ++begun;
        return std::make_unique<Job>(*this);
    }

private:
    class Job : public IPrintJob {
    public:
        explicit Job(RecordingPrinter& p) : p_(p) {}
        ~Job() override { end(); }
        int dpiX() const override { return p_.dpiX; }
        int dpiY() const override { return p_.dpiY; }
        QRectF printableArea() const override { return {}; }
        void stretchDraw(const QRect& rect, const QImage&) override {
            if (p_.failDrawing)
                throw EPrinterError(QStringLiteral("Erreur d'impression"));
            p_.drawn << rect;
        }
        void end() override {
            if (!ended_)
                ++p_.ended;
            ended_ = true;
        }

    private:
        RecordingPrinter& p_;
        bool ended_ = false;
    };
};

} // namespace

class PrintingTest : public QObject {
    Q_OBJECT
private slots:
    void printedRectangle_data() {
        QTest::addColumn<int>("printerX");
        QTest::addColumn<int>("printerY");
        QTest::addColumn<int>("window");
        QTest::addColumn<QSize>("size");
        QTest::newRow("600 dpi, 96") << 600 << 600 << 96 << QSize(4920, 6720);
        QTest::newRow("360 dpi rounds its factor down") << 360 << 360 << 96 << QSize(2460, 3360);
        QTest::newRow("600 x 1200 dpi") << 600 << 1200 << 96 << QSize(4920, 13440);
        QTest::newRow("window at 120") << 600 << 600 << 120 << QSize(4100, 5600);
        QTest::newRow("printer below the window") << 72 << 72 << 96 << QSize(0, 0);
    }
    void printedRectangle() {
        QFETCH(int, printerX);
        QFETCH(int, printerY);
        QFETCH(int, window);
        QFETCH(QSize, size);
        QCOMPARE(printRect(printerX, printerY, window, window), QRect(QPoint(0, 0), size));

        // The job draws exactly that rectangle, or nothing when it is empty, and is ended.
        RecordingPrinter printer;
        printer.dpiX = printerX;
        printer.dpiY = printerY;
        PrintPicture(printer, solid(600, 800, Qt::red), window, window);
        QCOMPARE(printer.begun, 1);
        QCOMPARE(printer.ended, 1);
        QCOMPARE(printer.drawn.size(), size.isEmpty() ? 0 : 1);
    }

    void jobIsEndedWhenDrawingFails() {
        RecordingPrinter printer;
        printer.failDrawing = true;
        QVERIFY_THROWS_EXCEPTION(EPrinterError,
                                 PrintPicture(printer, solid(6, 8, Qt::red), 96, 96));
        QCOMPARE(printer.begun, 1);
        QCOMPARE(printer.ended, 1);
    }

    void noPrinterSaysSo() {
        auto printer = makeNullPrinter();
        try {
            PrintPicture(*printer, solid(6, 8, Qt::red), 96, 96);
            QFAIL("printed without a printer");
        } catch (const EPrinterError& e) {
            QCOMPARE(QString::fromUtf8(e.what()),
                     QStringLiteral("Aucune imprimante par défaut sélectionnée"));
        }
        qputenv("VELORIX_PRINTER", "null");
        QVERIFY_THROWS_EXCEPTION(EPrinterError, loadPrinter()->beginJob(QStringLiteral("x")));
        qunsetenv("VELORIX_PRINTER");
    }

    // On a PDF printer with 10 mm margins: the picture's top-left corner is the printable area's,
    // its size 820 x 1120 times the integer factors, whatever the picture's own shape.
    void landsOnAPdfPrinter_data() {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("window");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSizeF>("inches");
        QTest::newRow("600 dpi, 96") << 600 << 96 << QSize(600, 800) << QSizeF(8.2, 11.2);
        QTest::newRow("360 dpi, 96") << 360 << 96 << QSize(600, 800) << QSizeF(6.833, 9.333);
        QTest::newRow("600 dpi, 120") << 600 << 120 << QSize(600, 800) << QSizeF(6.833, 9.333);
        QTest::newRow("landscape squeezed") << 600 << 96 << QSize(800, 300) << QSizeF(8.2, 11.2);
    }
    void landsOnAPdfPrinter() {
        QFETCH(int, dpi);
        QFETCH(int, window);
        QFETCH(QSize, picture);
        QFETCH(QSizeF, inches);
        if (!havePdfRenderer())
            QSKIP("pdftoppm (poppler-utils) is not installed");
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("printed.pdf"));
        {
            auto printer = makePdfPrinter(pdf, dpi, 10.0, QPageSize::A3);
            PrintPicture(*printer, solid(picture.width(), picture.height(), Qt::red), window,
                         window);
        }
        const int renderDpi = 50;
        const QImage page = renderFirstPage(pdf, renderDpi, dir.path());
        QVERIFY(!page.isNull());
        const QRect box = redBox(page);
        const double margin = 10.0 / 25.4 * renderDpi;
        QVERIFY2(std::abs(box.left() - margin) <= 1.5, qPrintable(QString::number(box.left())));
        QVERIFY2(std::abs(box.top() - margin) <= 1.5, qPrintable(QString::number(box.top())));
        QVERIFY2(std::abs(box.width() - inches.width() * renderDpi) <= 1.5,
                 qPrintable(QString::number(box.width())));
        QVERIFY2(std::abs(box.height() - inches.height() * renderDpi) <= 1.5,
                 qPrintable(QString::number(box.height())));
    }

    // A factor of 0 gives one empty page, not a failed job.
    void printerBelowTheWindowGivesAnEmptyPage() {
        if (!havePdfRenderer())
            QSKIP("pdftoppm (poppler-utils) is not installed");
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("empty.pdf"));
        {
            auto printer = makePdfPrinter(pdf, 72);
            PrintPicture(*printer, solid(600, 800, Qt::red), 96, 96);
        }
        const QImage page = renderFirstPage(pdf, 20, dir.path());
        QVERIFY(!page.isNull());
        QVERIFY(redBox(page).isNull());
    }
};

QTEST_MAIN(PrintingTest)
#include "PrintingTest.moc"
