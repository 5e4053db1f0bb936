// The report component: what report pages become in the PDF file, and how the file is written.
#include "report/PReport.h"
#include "tests/RealFork.h"
#include "tests/SmallDisk.h"

#include "imaging/SmoothScale.h"
#include "ocr/TextRecognition.h"
#include "pdf/PdfDoc.h"
#include "pdf/PdfImages.h"
#include "report/TextLayer.h"
#include "tests/support/ScanLikePage.h"
#include "workpool/WorkPool.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <map>
#include <sys/resource.h>
#include <thread>
#include <zlib.h>

namespace {

// The objects of a written file, streams inflated.
struct ParsedPdf {
    QByteArray raw;
    std::map<int, QByteArray> objects; // number -> body (dictionary part)
    std::map<int, QByteArray> streams; // number -> inflated data

    QList<int> NumbersWith(const QByteArray& needle) const {
        QList<int> found;
        for (const auto& [number, body] : objects) {
            if (body.contains(needle)) {
                found.append(number);
            }
        }
        return found;
    }
};

QByteArray Inflate(const QByteArray& data) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        return {};
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    QByteArray out;
    char buffer[65536];
    int rc = Z_OK;
    do {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - z.avail_out));
    } while (rc == Z_OK);
    inflateEnd(&z);
    return rc == Z_STREAM_END ? out : QByteArray("<bad deflate data>");
}

ParsedPdf Parse(const QString& path) {
    ParsedPdf pdf;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return pdf;
    }
    pdf.raw = file.readAll();
    static const QRegularExpression header("(\\d+) 0 obj\\r\\n");
    qsizetype from = 0;
    QRegularExpressionMatch m;
    while ((m = header.match(QString::fromLatin1(pdf.raw), from)).hasMatch()) {
        const int number = m.captured(1).toInt();
        const qsizetype start = m.capturedEnd();
        const qsizetype end = pdf.raw.indexOf("\r\nendobj\r\n", start);
        const QByteArray body = pdf.raw.mid(start, end - start);
        const qsizetype streamAt = body.indexOf(">>\r\nstream\r\n");
        if (streamAt >= 0) {
            pdf.objects[number] = body.left(streamAt + 2);
            const qsizetype dataAt = streamAt + 12;
            const qsizetype dataEnd = body.lastIndexOf("\nendstream");
            pdf.streams[number] = Inflate(body.mid(dataAt, dataEnd - dataAt));
        } else {
            pdf.objects[number] = body;
        }
        from = end;
    }
    return pdf;
}

// The inflated content stream of the n-th page (0-based) in page-object order.
QByteArray PageContent(const ParsedPdf& pdf, int n) {
    const QList<int> pages = pdf.NumbersWith("/Type /Page\r\n");
    if (n >= pages.size()) {
        return "<no such page>";
    }
    static const QRegularExpression contents("/Contents (\\d+) 0 R");
    const auto m = contents.match(QString::fromLatin1(pdf.objects.at(pages[n])));
    return m.hasMatch() ? pdf.streams.at(m.captured(1).toInt()) : QByteArray("<no contents>");
}

std::tm FixedTime() {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 8;
    t.tm_hour = 18;
    t.tm_min = 10;
    t.tm_sec = 38;
    return t;
}

QImage Filled(int w, int h, QColor colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Pixels that do not compress, for files of a known minimum size.
QImage Noise(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    std::uint32_t x = 2463534242u;
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int i = 0; i < w; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            line[i] = 0xff000000u | (x & 0xffffffu);
        }
    }
    return image;
}

// The message of what `write` throws while files may not grow past 2000 bytes, as on a full disk.
QString FailureUnderFileSizeLimit(const std::function<void()>& write) {
    rlimit saved{};
    if (getrlimit(RLIMIT_FSIZE, &saved) != 0)
        return QStringLiteral("getrlimit failed");
    rlimit small = saved;
    small.rlim_cur = 2000;
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &small) != 0)
        return QStringLiteral("setrlimit failed");
    QString failure;
    try {
        write();
    } catch (const std::runtime_error& e) {
        failure = QString::fromUtf8(e.what());
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    return failure;
}

// A report page as the main window builds one: 600 x 800, no margins, a layout panel filling
// the client area, an image filling the panel.
struct TestPage {
    TPRPage page;
    TPRLayoutPanel* layout;
    TPRImage* image;

    explicit TestPage(int n, const QImage& picture = Filled(598, 798, Qt::gray)) {
        page.setObjectName(QString("Page%1").arg(n));
        page.SetMarginTop(0);
        page.SetMarginLeft(0);
        page.SetMarginRight(0);
        page.SetMarginBottom(0);
        page.SetBounds(0, 0, 600, 800);
        layout = new TPRLayoutPanel(&page);
        layout->setObjectName(QString("PRLayoutPanel%1").arg(n));
        layout->SetAlign(alClient);
        image = new TPRImage(layout);
        image->setObjectName(QString("PRImage%1").arg(n));
        image->SetAlign(alClient);
        image->SetPicture(picture);
    }
};

// What the main window's page-print handler does: open the document at this page.
void OpenAtThisPage(TPReport& report) {
    TPRDestination* dest = report.CreateDestination();
    dest->SetDestinationType(dtXYZ);
    dest->SetLeft(-10);
    dest->SetTop(-10);
    dest->SetZoom(1.0f);
    report.SetOpenAction(dest);
}

} // namespace

class TestPReportPdf : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void pageSizeAndStretchedImage();
    void imageAtItsOwnSize();
    void panelsItemsAndHandlers();
    void openAction();
    void sharedAndNumberedImages();
    void documentPropertiesAndRefusals();
    void endDocKeepsTheOldFile();
    void endDocAsideWritesTheSameAndCancelsCleanly();
    void aFullOrReadOnlyDiskKeepsTheOldFile();
    void outlinesAndCatalog();
    void streamsPreparedAheadOfTime();
    void scaledPicturesExportEnlarged();
    void textFollowsItsPicture();

private:
    // Writes the open document to a new file in the temporary folder and checks it with qpdf.
    ParsedPdf Finish(TPReport& report, const QString& name);
    // A document of that one page, written like Finish does, at a fixed time.
    ParsedPdf Write(TestPage& page, const QString& name, bool searchable = false);
    void QpdfCheck(const QString& path);

    std::unique_ptr<QTemporaryDir> dir;
};

void TestPReportPdf::init() {
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestPReportPdf::cleanup() {
    dir.reset();
}

void TestPReportPdf::QpdfCheck(const QString& path) {
    const QString qpdf = QStandardPaths::findExecutable("qpdf");
    if (qpdf.isEmpty()) {
        QSKIP("qpdf is not installed");
    }
    QByteArray output;
    const int code = velorix::testing::RunForked(qpdf, {"--check", path}, &output);
    QVERIFY2(code == 0, output.constData());
}

ParsedPdf TestPReportPdf::Finish(TPReport& report, const QString& name) {
    const QString path = dir->filePath(name);
    report.SetFileName(path);
    report.EndDoc();
    [&] { QpdfCheck(path); }();
    return Parse(path);
}

ParsedPdf TestPReportPdf::Write(TestPage& page, const QString& name, bool searchable) {
    TPReport report;
    report.SetClock(FixedTime);
    report.SetSearchableText(searchable);
    report.BeginDoc();
    report.Print(&page.page);
    return Finish(report, name);
}

void TestPReportPdf::pageSizeAndStretchedImage() {
    TPReport report;
    report.SetClock(FixedTime);
    // The panel placed by hand at (0, 0) over the whole page, bevel or not.
    TestPage whole(1);
    whole.layout->SetAlign(alNone);
    whole.layout->setGeometry(0, 0, 600, 800);
    // As the main window builds pages: the panel inside the 1-pixel bevel.
    TestPage framed(2);
    // An item smaller than its panel, placed at (0, 0) of a panel at (1, 1).
    TestPage small(3);
    small.image->SetAlign(alNone);
    small.image->setGeometry(0, 0, 598, 798);
    small.layout->SetAlign(alNone);
    small.layout->setGeometry(1, 1, 598, 798);

    report.BeginDoc();
    report.Print(&whole.page);
    report.Print(&framed.page);
    report.Print(&small.page);
    const ParsedPdf pdf = Finish(report, "stretched.pdf");

    const QList<int> pages = pdf.NumbersWith("/Type /Page\r\n");
    QCOMPARE(pages.size(), 3);
    for (int number : pages) {
        QVERIFY(pdf.objects.at(number).contains("/MediaBox [0 0 600 800 ]"));
    }
    QCOMPARE(PageContent(pdf, 0),
             QByteArray("/F0 10 Tf\nq\n600 0 0 800 0 0 cm\n/PRImage1 Do\nQ\n"));
    QCOMPARE(PageContent(pdf, 1),
             QByteArray("/F0 10 Tf\nq\n598 0 0 798 1 1 cm\n/PRImage2 Do\nQ\n"));
    QCOMPARE(PageContent(pdf, 2),
             QByteArray("/F0 10 Tf\nq\n598 0 0 798 1 1 cm\n/PRImage3 Do\nQ\n"));
    // The image is the picture at its own pixel size, in its resources under its name.
    QVERIFY(pdf.objects.at(pages[0]).contains("/XObject <<\r\n/PRImage1 "));
    QCOMPARE(pdf.NumbersWith("/Subtype /Image").size(), 3);
    QCOMPARE(pdf.NumbersWith("/Width 598\r\n/Height 798").size(), 3);
}

void TestPReportPdf::imageAtItsOwnSize() {
    TPReport report;
    TestPage big(1, Filled(1000, 1000, Qt::red));
    big.image->SetStretch(false);
    big.layout->SetAlign(alNone);
    big.layout->setGeometry(0, 0, 600, 800);
    TestPage framed(2, Filled(300, 200, Qt::blue));
    framed.image->SetStretch(false);

    report.BeginDoc();
    report.Print(&big.page);
    report.Print(&framed.page);
    const ParsedPdf pdf = Finish(report, "unstretched.pdf");
    QCOMPARE(PageContent(pdf, 0),
             QByteArray("/F0 10 Tf\nq\n0 0 600 800 re\nW\nn\n1000 0 0 1000 0 -200 cm\n"
                        "/PRImage1 Do\nQ\n"));
    // Top-left corner at the item's (1, 1): y = 800 - 1 - 200, clip = 800 - 1 - 798.
    QCOMPARE(PageContent(pdf, 1),
             QByteArray("/F0 10 Tf\nq\n1 1 598 798 re\nW\nn\n300 0 0 200 1 599 cm\n"
                        "/PRImage2 Do\nQ\n"));
}

void TestPReportPdf::panelsItemsAndHandlers() {
    TPReport report;
    TestPage page(1);
    // Nested panel with an image, a non-printable image, an empty image and a bare item.
    auto* inner = new TPRPanel(page.layout);
    inner->setGeometry(10, 20, 100, 50);
    auto* nested = new TPRImage(inner);
    nested->setObjectName("Nested");
    nested->setGeometry(5, 5, 40, 30);
    nested->SetPicture(Filled(4, 4, Qt::green));
    auto* hiddenFromPdf = new TPRImage(page.layout);
    hiddenFromPdf->setObjectName("NotPrinted");
    hiddenFromPdf->SetPicture(Filled(4, 4, Qt::green));
    hiddenFromPdf->SetPrintable(false);
    auto* empty = new TPRImage(page.layout);
    empty->setObjectName("Empty");
    new TPRItem(page.layout);
    page.image->SetPicture(QImage());

    QStringList calls;
    page.page.SetOnPrintPage([&](TPRPage* sender, TPRCanvas* canvas) {
        QCOMPARE(sender, &page.page);
        QCOMPARE(canvas, report.Canvas());
        QVERIFY(canvas->PdfCanvas() != nullptr);
        calls << "page";
    });
    page.layout->SetBeforePrint([&](TPRLayoutPanel* sender, TPRCanvas*, const QRect& rect) {
        QCOMPARE(sender, page.layout);
        QCOMPARE(rect, QRect(1, 1, 598, 798));
        calls << "before";
    });
    page.layout->SetAfterPrint(
        [&](TPRLayoutPanel*, TPRCanvas*, const QRect&) { calls << "after"; });

    // A page with nothing printable holds only the font selection.
    TestPage bare(2);
    bare.image->SetPicture(QImage());

    report.BeginDoc();
    report.Print(&page.page);
    report.Print(&bare.page);
    QCOMPARE(calls, QStringList({"page", "before", "after"}));
    const ParsedPdf pdf = Finish(report, "nested.pdf");
    // The nested image lies at (1 + 10 + 5, 1 + 20 + 5) on the page: y = 800 - 26 - 30.
    QCOMPARE(PageContent(pdf, 0), QByteArray("/F0 10 Tf\nq\n40 0 0 30 16 744 cm\n/Nested Do\nQ\n"));
    QCOMPARE(PageContent(pdf, 1), QByteArray("/F0 10 Tf\n"));
    QCOMPARE(pdf.NumbersWith("/Subtype /Image").size(), 1);
}

void TestPReportPdf::openAction() {
    TPReport report;
    TestPage first(1);
    TestPage scanned(2);
    TestPage opened(3);
    first.page.SetOnPrintPage([&](TPRPage*, TPRCanvas*) { OpenAtThisPage(report); });
    opened.page.SetOnPrintPage([&](TPRPage*, TPRCanvas*) { OpenAtThisPage(report); });
    auto openActionOn = [](const ParsedPdf& pdf, int page) {
        return pdf.raw.contains(
            QString("/OpenAction [%1 0 R /XYZ -1 810 1 ]").arg(page).toLatin1());
    };

    // Only the first page carries the handler: the document opens there.
    report.BeginDoc();
    report.Print(&first.page);
    report.Print(&scanned.page);
    ParsedPdf pdf = Finish(report, "first.pdf");
    QList<int> pages = pdf.NumbersWith("/Type /Page\r\n");
    QVERIFY2(openActionOn(pdf, pages[0]), pdf.raw.constData());

    // The last page carrying the handler wins.
    report.BeginDoc();
    report.Print(&first.page);
    report.Print(&scanned.page);
    report.Print(&opened.page);
    pdf = Finish(report, "last.pdf");
    pages = pdf.NumbersWith("/Type /Page\r\n");
    QCOMPARE(pages.size(), 3);
    QVERIFY(openActionOn(pdf, pages[2]));
    QCOMPARE(pdf.raw.count("/OpenAction"), 1);

    // Pages without the handler: no open action at all.
    report.BeginDoc();
    report.Print(&scanned.page);
    pdf = Finish(report, "noopen.pdf");
    QVERIFY(!pdf.raw.contains("/OpenAction"));

    // A fresh destination points at the page top with zoom 1; Bottom flips like Top.
    report.BeginDoc();
    report.Print(&scanned.page);
    TPRDestination* dest = report.CreateDestination();
    QCOMPARE(dest->DestinationType(), dtXYZ);
    QCOMPARE(dest->Data().Left(), 0);
    QCOMPARE(dest->Data().Top(), 810);
    QCOMPARE(dest->Zoom(), 1.0f);
    dest->SetBottom(900);
    QCOMPARE(dest->Data().Bottom(), -1);
    dest->SetRight(30);
    QCOMPARE(dest->Data().Right(), 30);
    report.Abort();
}

void TestPReportPdf::sharedAndNumberedImages() {
    TPReport report;
    TestPage one(1, Filled(20, 10, Qt::red));
    TestPage two(2, Filled(20, 10, Qt::blue));

    // Two pages whose images have different names: two image objects.
    report.BeginDoc();
    report.Print(&one.page);
    report.Print(&two.page);
    ParsedPdf pdf = Finish(report, "two.pdf");
    QCOMPARE(pdf.NumbersWith("/Subtype /Image").size(), 2);

    // One shared component printed twice: stored once, drawn on both pages.
    report.BeginDoc();
    report.Print(&one.page);
    report.Print(&one.page);
    pdf = Finish(report, "shared.pdf");
    QCOMPARE(pdf.NumbersWith("/Subtype /Image").size(), 1);
    QCOMPARE(PageContent(pdf, 0), PageContent(pdf, 1));

    // Not shared: a new image object under a numbered name each time.
    one.image->SetSharedImage(false);
    report.BeginDoc();
    report.Print(&one.page);
    report.Print(&one.page);
    pdf = Finish(report, "unshared.pdf");
    const QList<int> images = pdf.NumbersWith("/Subtype /Image");
    QCOMPARE(images.size(), 2);
    static const QRegularExpression numbered("/Name /PRImage1(\\d+)\\r\\n");
    QStringList names;
    for (int number : images) {
        const auto m = numbered.match(QString::fromLatin1(pdf.objects.at(number)));
        QVERIFY(m.hasMatch());
        QVERIFY(m.captured(1).toInt() <= 65535);
        names << m.captured(0);
    }
    QVERIFY(names[0] != names[1]);

    // Unnamed images never stand in for one another, shared or not.
    TestPage red(4, Filled(8, 8, Qt::red));
    TestPage blue(5, Filled(8, 8, Qt::blue));
    red.image->setObjectName(QString());
    blue.image->setObjectName(QString());
    report.BeginDoc();
    report.Print(&red.page);
    report.Print(&blue.page);
    pdf = Finish(report, "unnamed.pdf");
    QCOMPARE(pdf.NumbersWith("/Subtype /Image").size(), 2);
    QVERIFY(PageContent(pdf, 0) != PageContent(pdf, 1));
}

void TestPReportPdf::documentPropertiesAndRefusals() {
    TPReport report;
    QCOMPARE(report.FileName(), QString("default.pdf"));
    QCOMPARE(report.ModDate(), 0.0);
    QVERIFY(std::abs(report.CreationDate() - PRDateTimeNow()) < 1.0 / 24);
    report.SetClock(FixedTime);
    report.SetAuthor("Émile");
    report.SetTitle("Capture");
    report.SetNonFullScreenPageMode(pmFullScreen);
    QCOMPARE(report.NonFullScreenPageMode(), pmUseNone);

    // Without a document: refusals, and no crash.
    try {
        report.EndDoc();
        QFAIL("EndDoc without a document");
    } catch (const EInvalidOperation& e) {
        QCOMPARE(QString(e.what()), QString("document is null.."));
    }
    QVERIFY_THROWS_EXCEPTION(EPdfInvalidOperation, report.CreateDestination());
    QVERIFY_THROWS_EXCEPTION(EPdfInvalidOperation, report.SetOpenAction(nullptr));
    TestPage page(1);
    QVERIFY_THROWS_EXCEPTION(EPdfInvalidOperation, report.Print(&page.page));
    report.Abort();

    report.BeginDoc();
    QVERIFY_THROWS_EXCEPTION(EPdfInvalidValue, report.Print(nullptr));
    const std::vector<std::pair<std::function<void()>, QString>> refused = {
        {[&] { report.SetAuthor("x"); }, "SetAuthor --invalid operation."},
        {[&] { report.SetCreationDate(1); }, "SetCreationDate --invalid operation."},
        {[&] { report.SetCreator("x"); }, "SetCreator --invalid operation."},
        {[&] { report.SetKeywords("x"); }, "SetKeyWords --invalid operation."},
        {[&] { report.SetModDate(1); }, "SetModDate --invalid operation."},
        {[&] { report.SetSubject("x"); }, "SetSubject --invalid operation."},
        {[&] { report.SetTitle("x"); }, "SetTitle --invalid operation."},
        {[&] { report.SetPageLayout(plOneColumn); }, "SetPageLayout --invalid operation."},
        {[&] { report.SetPageMode(pmUseThumbs); }, "SetPageMode --invalid operation."},
        {[&] { report.SetNonFullScreenPageMode(pmUseThumbs); },
         "SetNonFullScreenPageMode --invalid operation."},
        {[&] { report.SetUseOutlines(true); }, "SetUseOutlines --invalid operation."},
        {[&] { report.SetViewerPreference({vpFitWindow}); },
         "SetViewerPreference --invalid operation."},
    };
    for (const auto& [call, message] : refused) {
        try {
            call();
            QFAIL(qPrintable("accepted while open: " + message));
        } catch (const EPdfInvalidOperation& e) {
            QCOMPARE(QString(e.what()), message);
        }
    }
    QCOMPARE(report.Author(), QString("Émile"));
    QCOMPARE(report.PageLayout(), plSinglePage);
    QVERIFY(!report.UseOutlines());
    report.SetCompressionMethod(cmFlateDecode); // allowed while open

    report.Print(&page.page);
    const ParsedPdf pdf = Finish(report, "info.pdf");
    QVERIFY(!report.HasDocument());
    report.SetAuthor("Autre"); // closed again

    // Information keys in their order, dates from the injected clock.
    const int info = pdf.NumbersWith("/Producer").at(0);
    QCOMPARE(pdf.objects.at(info),
             QByteArray("<<\r\n/Producer (VelorixPdf version 0.9)\r\n/Author (\xC9mile)\r\n"
                        "/CreationDate (D:20261208181038)\r\n/Creator ()\r\n/Keywords ()\r\n"
                        "/Subject ()\r\n/Title (Capture)\r\n/ModDate (D:20261208181038)\r\n>>"));
    const int catalog = pdf.NumbersWith("/Type /Catalog").at(0);
    QVERIFY2(pdf.objects.at(catalog).startsWith(
                 "<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n/PageMode /UseNone\r\n"
                 "/PageLayout /SinglePage\r\n>>"),
             pdf.objects.at(catalog).constData());

    // A fixed clock makes the output identical from one run to the next.
    report.BeginDoc();
    report.Print(&page.page);
    report.SetFileName(dir->filePath("again.pdf"));
    report.EndDoc();
    report.BeginDoc();
    report.Print(&page.page);
    report.SetFileName(dir->filePath("again2.pdf"));
    report.EndDoc();
    QFile a(dir->filePath("again.pdf"));
    QFile b(dir->filePath("again2.pdf"));
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(a.readAll(), b.readAll());
}

void TestPReportPdf::endDocAsideWritesTheSameAndCancelsCleanly() {
    const QString path = dir->filePath("capture.pdf");
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("previous export");
    }
    auto content = [](const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    auto untilFinished = [&](const std::function<bool()>& finished) {
        while (!finished()) {
            std::this_thread::yield();
        }
        return true;
    };
    TPReport report;
    report.SetClock(FixedTime);
    TestPage page(1, Noise(300, 300));

    // Cancelled: however far the writing got, nothing is replaced and nothing stays behind.
    for (int i = 0; i < 3; ++i) {
        report.SetFileName(path);
        report.BeginDoc();
        report.Print(&page.page);
        QVERIFY(!report.EndDoc([](const std::function<bool()>&) { return false; }));
        QVERIFY(!report.HasDocument());
        QCOMPARE(content(path), QByteArray("previous export"));
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"capture.pdf"}));
    }

    // A wait that fails ends the writing the same way and passes its failure on.
    report.BeginDoc();
    report.Print(&page.page);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, report.EndDoc([](const std::function<bool()>&) {
        throw std::runtime_error("interrompu");
        return true;
    }));
    QCOMPARE(content(path), QByteArray("previous export"));
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList({"capture.pdf"}));

    // A write failing on the writing thread reaches the caller; the document stays open.
    report.BeginDoc();
    report.Print(&page.page);
    {
        const QString failure = FailureUnderFileSizeLimit([&] { report.EndDoc(untilFinished); });
        QVERIFY2(failure.startsWith("Impossible d'écrire le fichier"), qPrintable(failure));
    }
    QVERIFY(report.HasDocument());
    QCOMPARE(content(path), QByteArray("previous export"));

    // Waited for to the end: the very bytes of the plain EndDoc.
    QVERIFY(report.EndDoc(untilFinished));
    QVERIFY(!report.HasDocument());
    report.SetFileName(dir->filePath("plain.pdf"));
    report.BeginDoc();
    report.Print(&page.page);
    report.EndDoc();
    QCOMPARE(content(path), content(dir->filePath("plain.pdf")));
    QpdfCheck(path);
}

void TestPReportPdf::endDocKeepsTheOldFile() {
    const QString path = dir->filePath("capture.pdf");
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("previous export");
    }
    auto oldContent = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };

    TPReport report;
    report.SetFileName(path);
    report.BeginDoc();
    // No page: refused before the file is touched; the document stays open.
    try {
        report.EndDoc();
        QFAIL("a document without a page was written");
    } catch (const EPdfInvalidOperation& e) {
        QCOMPARE(QString(e.what()), QString("La page est vide"));
    }
    QCOMPARE(oldContent(), QByteArray("previous export"));
    QVERIFY(report.HasDocument());

    // A file that cannot be created: a clear message, the document stays open for another try.
    TestPage page(1, Noise(100, 100));
    report.Print(&page.page);
    const QString unreachable = dir->filePath("missing/folder/capture.pdf");
    report.SetFileName(unreachable);
    try {
        report.EndDoc();
        QFAIL("writing into a missing folder succeeded");
    } catch (const EFCreateError& e) {
        const QString message = QString::fromUtf8(e.what());
        QVERIFY2(message.startsWith(QString("Impossible de créer le fichier \"%1\". ")
                                        .arg(QDir::toNativeSeparators(unreachable))),
                 qPrintable(message));
    }
    QVERIFY(report.HasDocument());
    // A folder standing where the file should go is not replaced.
    QVERIFY(QDir(dir->path()).mkdir("folder.pdf"));
    report.SetFileName(dir->filePath("folder.pdf"));
    QVERIFY_THROWS_EXCEPTION(EFCreateError, report.EndDoc());
    QVERIFY(QFileInfo(dir->filePath("folder.pdf")).isDir());
    QVERIFY(report.HasDocument());

    // A write that fails half-way (here a file size limit, as a full disk would) leaves the
    // old file as it was.
    report.SetFileName(path);
    {
        const QString failure = FailureUnderFileSizeLimit([&] { report.EndDoc(); });
        QVERIFY2(failure.startsWith("Impossible d'écrire le fichier"), qPrintable(failure));
    }
    QCOMPARE(oldContent(), QByteArray("previous export"));
    QVERIFY(report.HasDocument());
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList({"capture.pdf"}));

    // Success replaces the old file in one step and leaves nothing else behind.
    report.EndDoc();
    QVERIFY(!report.HasDocument());
    QVERIFY(oldContent().startsWith("%PDF-1.2 \r\n"));
    QpdfCheck(path);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList({"capture.pdf"}));
}

// On a real file system that runs out of space, then becomes read-only: each failure names the
// file and the reason, the previous export stays whole and no temporary file is left.
void TestPReportPdf::aFullOrReadOnlyDiskKeepsTheOldFile() {
    velorix::testing::SmallDisk disk(512);
    if (!disk.mounted())
        QSKIP("this machine does not let the test mount a small file system");
    const QString path = disk.path("capture.pdf");
    TPReport report;
    report.SetFileName(path);
    TestPage small(1, Noise(20, 20));
    report.BeginDoc();
    report.Print(&small.page);
    report.EndDoc();
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray previous = written.readAll();
    written.close();

    disk.fill();
    TestPage big(1, Noise(300, 300)); // noise does not compress: 270 KB of pixels
    for (const char* reason : {"disque plein", "lecture seule"}) {
        if (QByteArray(reason) == "lecture seule") {
            QVERIFY(disk.makeReadOnly());
        }
        report.BeginDoc();
        report.Print(&big.page);
        try {
            report.EndDoc();
            QFAIL("written");
        } catch (const std::runtime_error& e) {
            const QString message = QString::fromUtf8(e.what());
            QVERIFY2(message.contains(QStringLiteral("\"%1\"").arg(path)), qPrintable(message));
            QVERIFY2(message.contains(QLatin1String(reason)), qPrintable(message));
        }
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), previous);
        written.close();
        QCOMPARE(disk.entries(), QStringList({"capture.pdf", "filler"}));
        report.Abort();
    }
}

void TestPReportPdf::outlinesAndCatalog() {
    TPReport report;
    report.SetUseOutlines(true);
    report.SetPageMode(pmUseOutlines);
    report.SetPageLayout(plOneColumn);
    report.SetNonFullScreenPageMode(pmUseThumbs);
    report.SetViewerPreference({vpHideToolbar, vpFitWindow});
    TestPage page(1);
    report.BeginDoc();
    QVERIFY(report.OutlineRoot() != nullptr);
    QCOMPARE(&report.OutlineRoot()->Data(), &report.PdfDoc()->OutlineRoot());
    report.Print(&page.page);
    const ParsedPdf pdf = Finish(report, "outlines.pdf");
    QCOMPARE(report.OutlineRoot(), nullptr);
    const QByteArray catalog = pdf.objects.at(pdf.NumbersWith("/Type /Catalog").at(0));
    QVERIFY2(catalog.startsWith("<<\r\n/Type /Catalog\r\n/Outlines 2 0 R\r\n/Pages "),
             catalog.constData());
    QVERIFY(catalog.contains("/PageMode /UseOutlines\r\n/PageLayout /OneColumn\r\n"
                             "/ViewerPreferences <<"));
    QVERIFY(catalog.contains("/NonFullScreenPageMode /UseThumbs"));
    QVERIFY(catalog.contains("/HideToolbar true"));
    QVERIFY(catalog.contains("/FitWindow true"));
    QVERIFY(pdf.raw.contains("<<\r\n/Type /Outlines\r\n/Count 0\r\n>>"));
}

void TestPReportPdf::streamsPreparedAheadOfTime() {
    // Big enough that its compression is still running when the picture changes.
    const QImage first = velorix::testing::ScanLikePage(1, 1240, 1748);
    const QImage second = velorix::testing::ScanLikePage(2, 620, 874);
    TestPage synchronous(1, second);
    const ParsedPdf expected = Write(synchronous, "synchronous.pdf");

    {
        // Gone while its picture is being compressed: the task keeps what it needs.
        TestPage gone(1, first);
        gone.image->PrepareStream();
    }
    TestPage changed(1, first);
    changed.image->PrepareStream();
    changed.image->SetPicture(second);
    QVERIFY(!changed.image->StreamReady());
    QCOMPARE(Write(changed, "changed.pdf").raw, expected.raw);

    TestPage prepared(1, first);
    prepared.image->PrepareStream();
    prepared.image->SetPicture(second);
    prepared.image->PrepareStream();
    QTRY_VERIFY_WITH_TIMEOUT(prepared.image->StreamReady(), 60000);
    QCOMPARE(Write(prepared, "prepared.pdf").raw, expected.raw);
    // The prepared stream serves every later export too, and survives the same pixels again.
    prepared.image->SetPicture(QImage(prepared.image->Picture()));
    QVERIFY(prepared.image->StreamReady());
    QCOMPARE(Write(prepared, "again.pdf").raw, expected.raw);

    // Each kind of picture gives the pixel bytes the image object is made of.
    QImage padded = Noise(599, 40).convertToFormat(QImage::Format_RGB888);
    QImage palette = Noise(33, 20).convertToFormat(QImage::Format_Indexed8);
    QImage mono = Noise(45, 20).convertToFormat(QImage::Format_Mono);
    for (const QImage& picture : {padded, palette, mono}) {
        TestPage page(1, picture);
        page.image->PrepareStream();
        QTRY_VERIFY_WITH_TIMEOUT(page.image->StreamReady(), 60000);
        const ParsedPdf pdf = Write(page, "kind.pdf");
        const QList<int> images = pdf.NumbersWith("/Subtype /Image");
        QCOMPARE(images.size(), 1);
        const std::unique_ptr<TPdfImage> reference = CreatePdfImage(picture);
        QCOMPARE(pdf.streams.at(images[0]), QByteArray::fromStdString(reference->Data()));
        QVERIFY(pdf.objects.at(images[0]).contains(picture.format() == QImage::Format_RGB888
                                                       ? "/ColorSpace /DeviceRGB"
                                                       : "/ColorSpace [/Indexed /DeviceRGB 255 <"));
    }
}

// A picture scaled lazily is made for the export: the PDF holds the enlarged pixels at their own
// size. Back at the source's size, the stream prepared for the source serves again.
void TestPReportPdf::scaledPicturesExportEnlarged() {
    const QImage source = Noise(200, 150);
    auto imageStream = [](const ParsedPdf& pdf) {
        const QList<int> images = pdf.NumbersWith("/Subtype /Image");
        return images.size() == 1 ? pdf.streams.at(images[0]) : QByteArray("<not one image>");
    };
    TestPage plain(1, source);
    plain.image->SetStretch(false);
    const ParsedPdf unscaled = Write(plain, "unscaled.pdf");

    TestPage page(1, source);
    page.image->SetStretch(false);
    page.image->PrepareStream();
    QTRY_VERIFY_WITH_TIMEOUT(page.image->StreamReady(), 60000);
    page.image->SetScaledPicture(source, QSize(700, 650));
    QVERIFY(page.image->ScalePending());
    QVERIFY(!page.image->StreamReady());
    const ParsedPdf enlarged = Write(page, "enlarged.pdf");
    QCOMPARE(enlarged.NumbersWith("/Width 700\r\n/Height 650").size(), 1);
    QCOMPARE(
        imageStream(enlarged),
        QByteArray::fromStdString(CreatePdfImage(SmoothScaled(source, QSize(700, 650)))->Data()));
    // Placed at its own size from the item's top-left corner: y = 800 - 1 - 650.
    QVERIFY(PageContent(enlarged, 0).contains("700 0 0 650 1 149 cm"));

    page.image->SetScaledPicture(source, source.size());
    QVERIFY(page.image->StreamReady());
    QCOMPARE(page.image->Picture().cacheKey(), source.cacheKey());
    QCOMPARE(Write(page, "back.pdf").raw, unscaled.raw);

    // Prepared while still pending: the picture is made with the stream, away from this thread,
    // and the stream is that of the enlarged pixels.
    page.image->SetScaledPicture(source, QSize(300, 310));
    page.image->SetScaledPicture(source, QSize(310, 300));
    page.image->PrepareStream();
    QVERIFY(page.image->ScalePending());
    QTRY_VERIFY_WITH_TIMEOUT(page.image->StreamReady(), 60000);
    QCOMPARE(page.image->Picture(), SmoothScaled(source, QSize(310, 300)));
    QCOMPARE(
        imageStream(Write(page, "prepared.pdf")),
        QByteArray::fromStdString(CreatePdfImage(SmoothScaled(source, QSize(310, 300)))->Data()));
    // A zoom step while that is being made: the step's size wins.
    page.image->SetScaledPicture(source, QSize(900, 800));
    page.image->PrepareStream();
    page.image->SetScaledPicture(source, QSize(333, 444));
    QCOMPARE(page.image->Picture(), SmoothScaled(source, QSize(333, 444)));
    QCOMPARE(
        imageStream(Write(page, "stepped.pdf")),
        QByteArray::fromStdString(CreatePdfImage(SmoothScaled(source, QSize(333, 444)))->Data()));
}

// The recognised text belongs to the picture it was made from: a new picture drops it even while
// it is being made, a zoom of the same picture keeps it and the text follows the zoomed picture.
void TestPReportPdf::textFollowsItsPicture() {
    auto lettered = [](const QString& word, int x) {
        QImage picture = Filled(1200, 300, Qt::white);
        QPainter painter(&picture);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(90);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(x, 190, word);
        return picture;
    };
    const QImage first = lettered(QStringLiteral("Bonjour"), 600);
    const QImage second = lettered(QStringLiteral("Merci"), 150);
    TestPage page(1, first);
    page.image->SetStretch(false);
    page.image->PrepareText();
    page.image->SetPicture(second);
    QVERIFY(!page.image->TextPending()); // dropped with its picture
    // A recognition that cannot be posted is not awaited for ever: the export is told why, and
    // the next call starts it.
    pdfwork::TWorkPool::FailNextPosts(1);
    page.image->PrepareText();
    std::string failure;
    QVERIFY(page.image->Text(&failure) == nullptr && !failure.empty());
    page.image->PrepareText();
    const auto text = page.image->Text(&failure);
    QVERIFY2(text != nullptr, failure.c_str());
    QCOMPARE(text->words.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(text->words[0].text), QStringLiteral("Merci"));
    const QRect box = text->words[0].box;
    QVERIFY2(box.left() > 140 && box.left() < 170, qPrintable(QString::number(box.left())));

    // Zoomed by half: the same text, half as far again from the item's corner (1, 1).
    page.image->SetScaledPicture(second, QSize(1800, 450));
    QCOMPARE(page.image->Text(), text);
    const QByteArray content = PageContent(Write(page, "zoomed.pdf", true), 0);
    static const QRegularExpression shown("BT\\n3 Tr\\n/F0 ([\\d.]+) Tf ([\\d.]+) Tz 1 0 0 1 "
                                          "([\\d.]+) ([\\d.]+) Tm \\(Merci\\) Tj\\nET\\n");
    const auto m = shown.match(QString::fromLatin1(content));
    QVERIFY2(m.hasMatch(), content.constData());
    QVERIFY(std::abs(m.captured(3).toDouble() - (1 + 1.5 * box.left())) < 0.01);
    // The text's width: Helvetica's widths of "Merci", scaled by Tz, cover the word's box.
    const double width = (833 + 556 + 333 + 500 + 222) * m.captured(1).toDouble() / 1000 *
                         m.captured(2).toDouble() / 100;
    QVERIFY(std::abs(width - 1.5 * box.width()) < 0.5);
    // The zoomed copy, made for the export, has its source's text: nothing to recognise again.
    page.image->PrepareText();
    QVERIFY(!page.image->TextPending());
    QCOMPARE(page.image->Text(), text);
    // Only the part of the picture that shows carries text: not the word beyond the item.
    page.image->SetScaledPicture(second, QSize(3600, 900));
    QVERIFY(!PageContent(Write(page, "beyond.pdf", true), 0).contains("BT"));
    // Without searchable text, the page is what it was.
    QVERIFY(!PageContent(Write(page, "plain.pdf"), 0).contains("BT"));

    // WinAnsiEncoding's own characters, and the nearest for those it lacks.
    QCOMPARE(WinAnsiText(QStringLiteral("Été œuvre “ﬁn” ŝ Ω")),
             std::string("\xC9t\xE9 \x9Cuvre \x93"
                         "fin\x94 s ?"));

    // Each word but its line's last is shown with its space: viewers that do not rebuild spaces
    // from the gaps (and their phrase search) read the words apart.
    auto word = [](const char* letters, int x, int y, bool lineEnd) {
        return ocr::TOcrWord{letters, QRect(x, y, 80, 20), lineEnd, lineEnd};
    };
    ocr::TOcrPage lines;
    lines.size = QSize(600, 800);
    lines.words = {word("Bonjour", 10, 10, false), word("tout", 100, 10, false),
                   word("le", 190, 10, false),     word("monde", 280, 10, true),
                   word("Au", 10, 50, false),      word("revoir", 100, 50, true)};
    TPdfDoc doc;
    doc.NewDocument();
    doc.AddPage();
    WriteTextLayer(doc.Canvas(), lines, QRectF(0, 0, 600, 800), QRectF(0, 0, 600, 800));
    QStringList strings;
    static const QRegularExpression shownText("\\(([^)]*)\\) Tj");
    for (auto it = shownText.globalMatch(QString::fromStdString(doc.Canvas().Contents()->Data()));
         it.hasNext();)
        strings << it.next().captured(1);
    QCOMPARE(strings, (QStringList{"Bonjour ", "tout ", "le ", "monde", "Au ", "revoir"}));
}

QTEST_MAIN(TestPReportPdf)
#include "PReportPdfTest.moc"
