// Searchable PDFs end to end: a page of French text in two columns, drawn at 300 dpi, scanned
// through SANE's pnm file reader, then a copy of it lying on its side scanned and turned upright,
// written with "Texte cherchable (OCR)" on and read back by poppler's pdftotext: the words come
// out in reading order, each where the page shows it, and the file passes qpdf's check. With the
// switch off the file is byte for byte the one written without it.
#include "tests/app/SaneTestConfig.h"
#include "tests/app/ScriptedPrompts.h"

#include "app/commands/PdfPageWalk.h"
#include "app/window/MainWindow.h"
#include "report/PReport.h"
#include "scan/ScannerComponent.h"
#include "scan/client/WorkerPlatform.h"
#include "tests/support/FrenchTextPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <algorithm>
#include <vector>

namespace {

constexpr int kWidth = 2480; // A4 at 300 dpi
constexpr int kHeight = 3508;

using velorix::testing::TDrawnWord;

QString Normalised(QString word) {
    word.replace(QChar(0x2019), QLatin1Char('\''));
    static const QRegularExpression edges(QStringLiteral("^[^\\w']+|[^\\w']+$"),
                                          QRegularExpression::UseUnicodePropertiesOption);
    return word.remove(edges);
}

QString Run(const QString& program, const QStringList& args, int* exitCode = nullptr) {
    QProcess process;
    process.start(program, args);
    process.waitForFinished(120000);
    if (exitCode)
        *exitCode = process.exitCode();
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

// The longest run of expected words found in order in found: index pairs.
std::vector<std::pair<int, int>> InOrder(const QStringList& expected, const QStringList& found) {
    const int n = int(expected.size()), m = int(found.size());
    std::vector<std::vector<int>> best(n + 1, std::vector<int>(m + 1, 0));
    for (int i = n - 1; i >= 0; --i)
        for (int j = m - 1; j >= 0; --j)
            best[i][j] = expected[i] == found[j] ? best[i + 1][j + 1] + 1
                                                 : std::max(best[i + 1][j], best[i][j + 1]);
    std::vector<std::pair<int, int>> pairs;
    for (int i = 0, j = 0; i < n && j < m;) {
        if (expected[i] == found[j]) {
            pairs.emplace_back(i++, j++);
        } else if (best[i + 1][j] >= best[i][j + 1]) {
            ++i;
        } else {
            ++j;
        }
    }
    return pairs;
}

} // namespace

class SearchablePdfTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::vector<TDrawnWord> drawn;
    QByteArray upright, sideways; // the page as PPM files, and turned a quarter clockwise

    bool writePdf(velorix::Tvelorix_2& window, const QString& name) {
        bool written = false;
        if (!window.Guarded(
                [&] { written = velorix::WritePagesToPdf(window, dir.filePath(name)); }))
            return false;
        return written;
    }
    QByteArray read(const QString& name) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Scans what the pnm reader is given as a page of its own.
    void scan(velorix::Tvelorix_2& window, const QByteArray& ppm, bool another) {
        QVERIFY(WriteTestFile(dir.filePath("scan.ppm"), ppm));
        window.multi->setChecked(another);
        QVERIFY(window.Guarded([&window] { window.btnScanClick(window.scanner); }));
    }

    // Page `number` of on.pdf, read by pdftotext: at least 98 % of the drawn words in reading
    // order, and as many within 2 points of where they were drawn.
    void checkPage(int number) {
        const QStringList pageOnly{QStringLiteral("-f"), QString::number(number),
                                   QStringLiteral("-l"), QString::number(number)};
        QStringList expected;
        for (const TDrawnWord& word : drawn)
            expected << Normalised(word.text);
        // In the file's order (what copying the page gives), and found at all by pdftotext's own
        // layout analysis.
        auto words = [&](const QStringList& options) {
            QStringList found;
            for (const QString& word :
                 Run(QStringLiteral("pdftotext"),
                     pageOnly + options + QStringList{dir.filePath("on.pdf"), "-"})
                     .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
                found << Normalised(word);
            return found;
        };
        const QStringList found = words({QStringLiteral("-raw")});
        const auto pairs = InOrder(expected, found);
        QVERIFY2(qsizetype(pairs.size()) * 100 >= expected.size() * 98,
                 qPrintable(QStringLiteral("page %1: %2 of %3 words in order: %4")
                                .arg(number)
                                .arg(pairs.size())
                                .arg(expected.size())
                                .arg(found.join(QLatin1Char(' ')))));
        QStringList unmatched = words({});
        int seen = 0;
        for (const QString& word : expected)
            seen += unmatched.removeOne(word) ? 1 : 0;
        QVERIFY(seen * 100 >= expected.size() * 98);

        // Places: each word's box within 2 points of where it was drawn, the page being the
        // picture stretched onto 600 x 800 points.
        const QString html =
            Run(QStringLiteral("pdftotext"),
                pageOnly + QStringList{QStringLiteral("-bbox"), dir.filePath("on.pdf"),
                                       QStringLiteral("-")});
        static const QRegularExpression wordTag(
            QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                           "yMax=\"([\\d.]+)\">([^<]*)</word>"));
        QStringList boxedWords;
        std::vector<QRectF> boxes;
        for (auto it = wordTag.globalMatch(html); it.hasNext();) {
            const auto match = it.next();
            boxedWords << Normalised(
                match.captured(5).replace(QStringLiteral("&apos;"), QStringLiteral("'")));
            boxes.push_back(
                QRectF(QPointF(match.captured(1).toDouble(), match.captured(2).toDouble()),
                       QPointF(match.captured(3).toDouble(), match.captured(4).toDouble())));
        }
        const double sx = 600.0 / kWidth, sy = 800.0 / kHeight;
        int placed = 0;
        QString misplaced;
        for (std::size_t e = 0; e < drawn.size(); ++e) {
            const QRectF& ink = drawn[e].ink;
            const QRectF want(ink.left() * sx, ink.top() * sy, ink.width() * sx, ink.height() * sy);
            bool near = false;
            for (qsizetype f = 0; f < boxedWords.size() && !near; ++f) {
                const QRectF& got = boxes[std::size_t(f)];
                near = boxedWords[f] == expected[qsizetype(e)] &&
                       std::abs(got.left() - want.left()) <= 2 &&
                       std::abs(got.right() - want.right()) <= 2 &&
                       got.top() - 2 <= want.center().y() && want.center().y() <= got.bottom() + 2;
            }
            if (near)
                ++placed;
            else if (misplaced.isEmpty())
                misplaced = QStringLiteral("%1 drawn at %2,%3-%4,%5")
                                .arg(expected[qsizetype(e)])
                                .arg(want.left())
                                .arg(want.top())
                                .arg(want.right())
                                .arg(want.bottom());
        }
        QVERIFY2(placed * 100 >= int(expected.size()) * 98,
                 qPrintable(QStringLiteral("page %1: %2 of %3 in place; first elsewhere: %4")
                                .arg(number)
                                .arg(placed)
                                .arg(expected.size())
                                .arg(misplaced)));
    }

private slots:
    void initTestCase() {
        const QImage page = velorix::testing::FrenchTextPage(&drawn);
        upright = velorix::testing::PpmFile(page);
        sideways = velorix::testing::PpmFile(page.transformed(QTransform().rotate(90)));
        QVERIFY(UseSaneConfig(dir, "pnm\n"));
    }

    void scannedPagesCarryTheirWordsInPlace() {
        TestServices doubles;
        velorix::Services services = doubles.services();
        services.scanner = velorix::scan::worker::CreateWorkerScanPlatform(
            {{"filename", dir.filePath("scan.ppm").toStdString()}});
        velorix::Tvelorix_2 window(services);
        window.FormShow(&window);
        const int index = window.cbDevice->findText(QStringLiteral("(pnm:0)"), Qt::MatchEndsWith);
        QVERIFY(index >= 0);
        window.cbDevice->setCurrentIndex(index);
        window.cbDeviceChange(window.cbDevice);
        window.res->setEditText(QStringLiteral("300"));
        scan(window, upright, false);
        // The copy on its side, turned upright by the user: a picture of other sizes, whose
        // text is only there once turned.
        doubles.prompts->answer(false);
        scan(window, sideways, true);
        QCOMPARE(window.PageCount(), 2);
        QVERIFY(window.Guarded([&window] { window.N901Click(&window); }));
        QCOMPARE(window.FindPageImage(2)->Picture().size(), QSize(kWidth, kHeight));
        QVERIFY2(doubles.prompts->allAnswered() &&
                     doubles.prompts->texts(ScriptedPrompts::Kind::Error).isEmpty(),
                 qPrintable(doubles.prompts->seen.value(1).text));

        QVERIFY(writePdf(window, QStringLiteral("off.pdf")));
        const QByteArray off = read(QStringLiteral("off.pdf"));
        QVERIFY(!off.isEmpty());
        window.SetSearchableText(true); // the final pictures are recognised from now on
        QVERIFY(window.PRImage1->TextPending());
        // A cancel while the text is awaited writes nothing: the old file stays.
        ProgressLog& log = doubles.prompts->progressLog;
        log.cancelCaption = QStringLiteral("Reconnaissance du texte");
        log.cancelAtPage = 2;
        QVERIFY(!writePdf(window, QStringLiteral("off.pdf")));
        QCOMPARE(read(QStringLiteral("off.pdf")), off);
        QCOMPARE(log.captioned.last(), QStringLiteral("Reconnaissance du texte: Page 2 sur 2"));
        log = ProgressLog();
        QVERIFY(writePdf(window, QStringLiteral("on.pdf")));
        QCOMPARE(log.captioned.filter(QStringLiteral("Reconnaissance du texte")),
                 (QStringList{QStringLiteral("Reconnaissance du texte: Page 1 sur 2"),
                              QStringLiteral("Reconnaissance du texte: Page 2 sur 2")}));
        QVERIFY2(doubles.prompts->seen.size() == 1, qPrintable(doubles.prompts->seen.last().text));
        window.SetSearchableText(false);
        QVERIFY(writePdf(window, QStringLiteral("off-again.pdf")));
        QCOMPARE(read(QStringLiteral("off-again.pdf")), off);
        // The text costs little beside the pages' pictures.
        const qint64 added = read(QStringLiteral("on.pdf")).size() - off.size();
        QVERIFY2(added > 0 && added < off.size() / 100, qPrintable(QString::number(added)));

        int status = -1;
        const QString check = Run(QStringLiteral("qpdf"),
                                  {QStringLiteral("--check"), dir.filePath("on.pdf")}, &status);
        QVERIFY2(status == 0, qPrintable(check));
        QVERIFY(Run(QStringLiteral("pdftotext"), {dir.filePath("off.pdf"), QStringLiteral("-")})
                    .trimmed()
                    .isEmpty());
        checkPage(1);
        checkPage(2);

        // The text quality carries the same words, recognised from the scanned pixels (not
        // again: the pictures did not change), over its much smaller layers.
        window.SetSearchableText(true);
        window.SetPdfQuality(TPdfQuality::Text);
        QVERIFY(writePdf(window, QStringLiteral("on.pdf")));
        const QByteArray small = read(QStringLiteral("on.pdf"));
        QVERIFY(small.contains("/CCITTFaxDecode"));
        QVERIFY2(small.size() * 3 < off.size(),
                 qPrintable(QStringLiteral("%1 of %2").arg(small.size()).arg(off.size())));
        checkPage(1);
        checkPage(2);
    }
};

QTEST_MAIN(SearchablePdfTest)
#include "SearchablePdfTest.moc"
