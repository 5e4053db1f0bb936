// The scan command with a scanner that has no scan-area options: SANE's pnm file reader, reading
// a picture the test writes. The page gets every pixel, held once at three bytes a pixel, and
// its PDF carries the same pixels.
#include "tests/app/SaneTestConfig.h"
#include "tests/app/ScriptedPrompts.h"

#include "app/window/MainWindow.h"
#include "pdf/PdfImages.h"
#include "scan/ScannerComponent.h"
#include "scan/client/WorkerPlatform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <zlib.h>

#include <vector>

namespace {

constexpr int kWidth = 41; // 123 bytes a line: rows are padded in memory
constexpr int kHeight = 29;

QRgb Expected(int x, int y) {
    return qRgb((x * 5 + y * 3) % 256, (x * y + 17) % 256, (255 - x * 2 - y) & 255);
}

} // namespace

class ScanWholeAreaTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase() {
        QByteArray ppm = QStringLiteral("P6\n%1 %2\n255\n").arg(kWidth).arg(kHeight).toLatin1();
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const QRgb c = Expected(x, y);
                ppm.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
            }
        QVERIFY(UseSaneConfig(dir, "pnm\n", {{QStringLiteral("page.ppm"), ppm}}));
    }

    void scanFillsThePageWithEveryPixel() {
        TestServices doubles;
        velorix::Services services = doubles.services();
        const auto& prompts = doubles.prompts;
        services.scanner = velorix::scan::worker::CreateWorkerScanPlatform(
            {{"filename", dir.filePath("page.ppm").toStdString()}});
        velorix::Tvelorix_2 window(services);
        window.FormShow(&window);
        const int index = window.cbDevice->findText(QStringLiteral("(pnm:0)"), Qt::MatchEndsWith);
        QVERIFY(index >= 0);
        window.cbDevice->setCurrentIndex(index);
        window.cbDeviceChange(window.cbDevice);
        window.res->setEditText(QStringLiteral("150"));
        window.multi->setChecked(false);

        QVERIFY(window.Guarded([&window] { window.btnScanClick(window.scanner); }));
        QVERIFY2(prompts->seen.isEmpty(), qPrintable(prompts->seen.value(0).text));
        QVERIFY(window.FirstPageFilled);
        const QImage page = window.PRImage1->Picture();
        QCOMPARE(page.size(), QSize(kWidth, kHeight));
        QCOMPARE(page.format(), QImage::Format_RGB888);
        // One copy of the pixels: the page shares the scanner's picture.
        QCOMPARE(page.cacheKey(), window.WIAScan->Graphic()->Image.cacheKey());
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (page.pixel(x, y) != Expected(x, y))
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
        QCOMPARE(window.PRImage1->Picture().dotsPerMeterX(), 5906); // 150 dpi

        // The PDF's image stream holds the same pixels, without the rows' padding.
        const auto stream = TPdfBitmapImage::CompressPixels(page);
        QVERIFY(stream && !stream->empty());
        std::vector<unsigned char> rgb(kWidth * kHeight * 3 + 1);
        uLongf size = static_cast<uLongf>(rgb.size());
        QCOMPARE(uncompress(rgb.data(), &size, reinterpret_cast<const Bytef*>(stream->data()),
                            static_cast<uLong>(stream->size())),
                 Z_OK);
        QCOMPARE(static_cast<int>(size), kWidth * kHeight * 3);
        for (int i = 0; i < kWidth * kHeight; ++i) {
            const QRgb c = Expected(i % kWidth, i / kWidth);
            if (rgb[i * 3] != qRed(c) || rgb[i * 3 + 1] != qGreen(c) || rgb[i * 3 + 2] != qBlue(c))
                QFAIL(qPrintable(QStringLiteral("stream pixel %1").arg(i)));
        }
    }
};

QTEST_MAIN(ScanWholeAreaTest)
#include "ScanWholeAreaTest.moc"
