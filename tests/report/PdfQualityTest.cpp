// The PDF qualities on pages made like scans: what each writes, how small it is, how close to the
// scanned pixels poppler and MuPDF draw it, and the words text recognition still finds.
#include "pdf/PdfQuality.h"
#include "report/PReport.h"
#include "tests/support/OfficePage.h"
#include "tests/support/ReportPage.h"
#include "tests/support/ScanLikePage.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace velorix::testing;

namespace {

QString Save(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

// qpdf's verdict: 0 when it finds nothing wrong.
int QpdfCheck(const QString& path) {
    QProcess qpdf;
    qpdf.start(QStringLiteral("qpdf"), {QStringLiteral("--check"), path});
    return qpdf.waitForFinished(60000) && qpdf.exitStatus() == QProcess::NormalExit
               ? qpdf.exitCode()
               : -1;
}

// The file with its streams uncompressed (by qpdf), to read the page content.
QByteArray Uncompressed(const QString& path) {
    QProcess qpdf;
    qpdf.start(QStringLiteral("qpdf"),
               {QStringLiteral("--stream-data=uncompress"), path, path + QStringLiteral(".plain")});
    if (!qpdf.waitForFinished(60000))
        return QByteArray();
    QFile in(path + QStringLiteral(".plain"));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

QByteArray Export(ReportPage& page, TPdfQuality quality, const QString& file) {
    page.image->SetPdfQuality(quality);
    page.image->PrepareStream();
    TPReport report;
    report.SetFileName(file);
    report.SetQuality(quality);
    report.BeginDoc();
    report.Print(&page.page);
    report.EndDoc();
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

} // namespace

class TestPdfQuality : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    // Colour scans (the plain scan-like page and the office page with its grain and coloured
    // text): one JPEG each, at most 1 MB for A4 at 300 dpi and at least 38 dB against the
    // scanned pixels; the same bytes every time.
    void compactColourScan() {
        for (const QImage& scan : {ScanLikePage(1), OfficePage(0)}) {
            const auto encoded = EncodePicture(scan, TPdfQuality::Compact, 300);
            QVERIFY(!encoded->picture.grey);
            QCOMPARE(QSize(encoded->picture.width, encoded->picture.height), scan.size());
            QVERIFY2(encoded->StreamBytes() <= 1'000'000,
                     qPrintable(QString::number(encoded->StreamBytes())));
            QCOMPARE(*EncodePicture(scan, TPdfQuality::Compact, 300)->picture.bytes,
                     *encoded->picture.bytes);
            const QByteArray bytes = QualityPdf(scan, TPdfQuality::Compact);
            QVERIFY(bytes.startsWith("%PDF-1.3 ")); // progressive JPEG
            const QString pdf = Save(dir, "compact.pdf", bytes);
            QCOMPARE(QpdfCheck(pdf), 0);
            const QImage shown = RenderPdfPage(pdf, 1, scan.size(), true);
            QVERIFY(!shown.isNull());
            QVERIFY2(Psnr(scan, shown) >= 38, qPrintable(QString::number(Psnr(scan, shown))));
            QVERIFY(!RenderPdfPage(pdf, 1, scan.size() / 4).isNull()); // poppler too
        }
    }

    // Pixels all grey are coded as one channel, in the grey colour space.
    void compactGreyPageHasOneChannel() {
        QImage grey = ScanLikePage(2, 620, 877).convertToFormat(QImage::Format_Grayscale8);
        const auto encoded =
            EncodePicture(grey.convertToFormat(QImage::Format_RGB32), TPdfQuality::Compact, 75);
        QVERIFY(encoded->picture.grey);
        const QByteArray pdf = QualityPdf(grey, TPdfQuality::Compact, 75);
        QVERIFY(pdf.contains("/ColorSpace /DeviceGray"));
        QVERIFY(pdf.contains("/Filter [/DCTDecode ]"));
    }

    // Above 300 dpi on the page the compact quality brings the picture down to 300 dpi, by the
    // finer axis; at 300 dpi or below it stays. The text quality's bound is 600 dpi.
    void lossyPicturesAreBroughtDownTo300Dpi() {
        QCOMPARE(LossySize(QSize(2480, 3508), 598, 798), QSize(2480, 3508));
        QCOMPARE(LossySize(QSize(4960, 7016), 598, 798), QSize(2492, 3525));
        QCOMPARE(LossySize(QSize(600, 800), 600, 800), QSize(600, 800));
        ReportPage page(ScanLikePage(3, 1000, 1334), true, QSize(122, 162)); // 600 dpi on the page
        const QByteArray pdf = Export(page, TPdfQuality::Compact, dir.filePath("600dpi.pdf"));
        QVERIFY(pdf.contains("/Width 500\r\n"));
        QCOMPARE(QpdfCheck(dir.filePath("600dpi.pdf")), 0);
        // The text quality's mask stays at the scan's resolution, its background at 100 dpi; at
        // 1200 dpi the mask comes down to 600.
        ReportPage office(OfficePage(0), true, QSize(310, 440)); // 580 dpi
        const QByteArray text = Export(office, TPdfQuality::Text, dir.filePath("600text.pdf"));
        const int width = office.image->Picture().width(); // as placed on the page
        QVERIFY(width > 2400);
        QVERIFY(text.contains(QStringLiteral("/Columns %1\r\n").arg(width).toLatin1()));
        QVERIFY(text.contains(QStringLiteral("/Width %1\r\n").arg((width + 5) / 6).toLatin1()));
        QCOMPARE(QpdfCheck(dir.filePath("600text.pdf")), 0);
        QCOMPARE(LossySize(QSize(4960, 7016), 598, 798, TPdfQuality::Text), QSize(4960, 7016));
        QCOMPARE(LossySize(QSize(9920, 14032), 598, 798, TPdfQuality::Text), QSize(4983, 7049));
    }

    // The office page in the text quality: small, its words as readable as lossless (poppler
    // then text recognition), the photo close to the scan (MuPDF, pixel for pixel), clean for
    // qpdf, drawn by both renderers.
    void textOfficePage() {
        const QImage page = OfficePage(0);
        const QByteArray bytes = QualityPdf(page, TPdfQuality::Text);
        QVERIFY2(bytes.size() <= 120 * 1024, qPrintable(QString::number(bytes.size())));
        QVERIFY(bytes.startsWith("%PDF-1.3 "));
        QVERIFY(bytes.contains("/CCITTFaxDecode"));
        QVERIFY(bytes.contains("/ImageMask true"));
        const QString text = Save(dir, "text.pdf", bytes);
        QCOMPARE(QpdfCheck(text), 0);
        const QString lossless = Save(dir, "lossless.pdf", QualityPdf(page, TPdfQuality::Lossless));

        const QImage exact = RenderPdfPage(text, 1, page.size(), true);
        QVERIFY(!exact.isNull());
        const double photo = Psnr(page, exact, OfficePhoto(0));
        QVERIFY2(photo >= 28, qPrintable(QString::number(photo)));
        // A hairline of the box and the red heading keep their ink and its colour.
        QVERIFY(qGray(exact.pixel(2200, 2420)) < 160);
        auto isRed = [](QRgb c) { return qRed(c) > 150 && qGreen(c) < 90 && qBlue(c) < 90; };
        int redInk = 0, keptRed = 0;
        for (int y = 120; y < 200; ++y)
            for (int x = 200; x < 600; ++x)
                if (isRed(page.pixel(x, y))) {
                    ++redInk;
                    keptRed += isRed(exact.pixel(x, y)) ? 1 : 0;
                }
        QVERIFY(redInk > 1000);
        QVERIFY2(keptRed * 100 >= redInk * 95, qPrintable(QString::number(keptRed)));
        // Dust on the paper is not taken for ink: the margin stays light.
        int dark = 0;
        for (int y = 3300; y < 3500; ++y)
            for (int x = 0; x < page.width(); ++x)
                dark += qGray(exact.pixel(x, y)) < 200 ? 1 : 0;
        QCOMPARE(dark, 0);

        const QImage shown = RenderPdfPage(text, 1, page.size());
        const QImage reference = RenderPdfPage(lossless, 1, page.size());
        QVERIFY(!shown.isNull() && !reference.isNull());
        const QStringList words = RecognisedWords(reference);
        QVERIFY(words.size() > 200);
        const double recall = WordRecall(words, RecognisedWords(shown));
        QVERIFY2(recall >= 0.98, qPrintable(QString::number(recall)));
    }

    // Dark text on shaded boxes (light grey, light blue) goes to the sharp mask as text on the
    // paper does: its strokes stay dark, the boxes keep their tint.
    void textInShadedBoxes() {
        const QImage page = ShadedBoxPage();
        const QString pdf = Save(dir, "boxes.pdf", QualityPdf(page, TPdfQuality::Text));
        QCOMPARE(QpdfCheck(pdf), 0);
        const QImage exact = RenderPdfPage(pdf, 1, page.size(), true);
        QVERIFY(!exact.isNull());
        for (int which = 0; which < 2; ++which) {
            const QRect box = ShadedBox(which);
            int ink = 0, kept = 0;
            for (int y = box.top(); y <= box.bottom(); ++y)
                for (int x = box.left(); x <= box.right(); ++x)
                    if (qGray(page.pixel(x, y)) < 90) {
                        ++ink;
                        kept += qGray(exact.pixel(x, y)) < 110 ? 1 : 0;
                    }
            QVERIFY(ink > 5000);
            QVERIFY2(kept * 100 >= ink * 99,
                     qPrintable(QStringLiteral("%1 of %2").arg(kept).arg(ink)));
            const QRect plain(box.left() + 10, box.top() + 10, 40, 20); // no text there
            QVERIFY2(Psnr(page, exact, plain) >= 30,
                     qPrintable(QString::number(Psnr(page, exact, plain))));
        }
    }

    // A page without text is its background alone; the text quality's bytes are the same every
    // time; odd sizes (a width not a multiple of 8, one pixel) still make sound files.
    void textEdgeCases() {
        const QImage photoOnly = OfficePage(1, true).copy(OfficePhoto(1));
        const auto encoded = EncodePicture(photoOnly, TPdfQuality::Text, 300);
        QVERIFY(encoded->mask == nullptr);
        QVERIFY(encoded->foreground.bytes == nullptr);
        QVERIFY(!QualityPdf(photoOnly, TPdfQuality::Text).contains("/ImageMask"));

        const QImage small = OfficePage(2).copy(150, 100, 1003, 517);
        const auto once = EncodePicture(small, TPdfQuality::Text, 300);
        const auto again = EncodePicture(small, TPdfQuality::Text, 300);
        QVERIFY(once->mask != nullptr);
        QCOMPARE(*once->mask, *again->mask);
        QCOMPARE(*once->picture.bytes, *again->picture.bytes);
        QCOMPARE(*once->foreground.bytes, *again->foreground.bytes);
        const QString odd = Save(dir, "odd.pdf", QualityPdf(small, TPdfQuality::Text));
        QCOMPARE(QpdfCheck(odd), 0);
        QVERIFY(!RenderPdfPage(odd, 1, small.size(), true).isNull());
        QVERIFY(!RenderPdfPage(odd, 1, small.size()).isNull());

        QImage dot(1, 1, QImage::Format_RGB32);
        dot.fill(Qt::black);
        for (TPdfQuality q : {TPdfQuality::Compact, TPdfQuality::Text}) {
            const QString one = Save(dir, "dot.pdf", QualityPdf(dot, q, 72));
            QCOMPARE(QpdfCheck(one), 0);
        }
    }

    // Through the report: the text quality's two layers are drawn, background first, each page
    // printing a shared picture again draws both again; a prepared page takes the data made on
    // the pool, which is what is made in place.
    void reportDrawsBothLayers() {
        ReportPage page(OfficePage(3).scaled(620, 877));
        const QByteArray pdf = Export(page, TPdfQuality::Text, dir.filePath("report.pdf"));
        QCOMPARE(QpdfCheck(dir.filePath("report.pdf")), 0);
        const QByteArray content = Uncompressed(dir.filePath("report.pdf"));
        const auto background = content.indexOf("/PRImage1 Do");
        const auto foreground = content.indexOf("/PRImage1-T Do");
        QVERIFY(background >= 0 && foreground >= 0);
        QVERIFY(background < foreground);
        QVERIFY(page.image->StreamReady(TPdfQuality::Text));
        ReportPage fresh(page.image->Picture());
        QCOMPARE(Export(fresh, TPdfQuality::Text, dir.filePath("fresh.pdf")).size(), pdf.size());
    }
};

QTEST_MAIN(TestPdfQuality)
#include "PdfQualityTest.moc"
