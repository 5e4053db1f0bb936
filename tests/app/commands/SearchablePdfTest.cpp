// Searchable PDFs end to end: a page of French text in two columns, drawn here at 300 dpi, scanned
// through SANE's pnm file reader with "Texte cherchable (OCR)" on, then read back by poppler's
// pdftotext: the words come out in reading order, each where the page shows it, and the file
// passes qpdf's check. With the switch off the file is byte for byte the one written without it.
#include "tests/app/SaneTestConfig.h"
#include "tests/app/ScriptedPrompts.h"

#include "app/commands/PdfPageWalk.h"
#include "app/window/MainWindow.h"
#include "report/PReport.h"
#include "scan/ScannerComponent.h"
#include "scan/worker/WorkerPlatform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
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

const char* const kColumns[2] = {
    "Le scanner prête à chaque page une image nette : les mots français gardent leurs accents, "
    "déjà écrits à la main ou tapés à la machine. Où que l'on cherche, le texte reconnu se "
    "trouve sous l'image, invisible mais présent, et la sélection couvre chaque mot.",
    "Élise reçoit ce courrier très tôt ; elle répond à Noël par un message bref. Le château "
    "voisin, où naquit son aïeul, abrite une forêt de hêtres que l'on visite en été. Garçons et "
    "filles y apprennent à reconnaître les oiseaux."};

struct DrawnWord {
    QString text;
    QRectF ink; // page pixels
};

QString Normalised(QString word) {
    word.replace(QChar(0x2019), QLatin1Char('\''));
    static const QRegularExpression edges(QStringLiteral("^[^\\w']+|[^\\w']+$"),
                                          QRegularExpression::UseUnicodePropertiesOption);
    return word.remove(edges);
}

// Draws the two columns; the words in reading order with their ink boxes.
QImage DrawPage(std::vector<DrawnWord>& words) {
    QImage page(kWidth, kHeight, QImage::Format_RGB888);
    page.fill(Qt::white);
    page.setDotsPerMeterX(11811);
    page.setDotsPerMeterY(11811);
    QPainter painter(&page);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(46); // 11 points at 300 dpi
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetrics metrics(font);
    const int columnWidth = 1000;
    const int lineStep = metrics.height() + 18;
    const int space = metrics.horizontalAdvance(QLatin1Char(' '));
    for (int c = 0; c < 2; ++c) {
        const int left = 200 + c * (columnWidth + 180);
        int x = left;
        int baseline = 300;
        // A column as long as a page's, so that the layout is a page's layout.
        const QString text = (QString::fromUtf8(kColumns[c]) + QLatin1Char(' ')).repeated(4);
        for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const int advance = metrics.horizontalAdvance(word);
            if (x > left && x + advance > left + columnWidth) {
                x = left;
                baseline += lineStep;
            }
            painter.drawText(x, baseline, word);
            words.push_back(
                {word, QRectF(metrics.tightBoundingRect(word)).translated(x, baseline)});
            x += advance + space;
        }
    }
    return page;
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
    std::vector<DrawnWord> drawn;

    void writePdf(velorix::Tvelorix_2& window, const QString& name) {
        QVERIFY(window.Guarded([&] { velorix::WritePagesToPdf(window, dir.filePath(name)); }));
    }
    QByteArray read(const QString& name) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase() {
        const QImage page = DrawPage(drawn);
        QByteArray ppm = QStringLiteral("P6\n%1 %2\n255\n").arg(kWidth).arg(kHeight).toLatin1();
        for (int y = 0; y < kHeight; ++y)
            ppm.append(reinterpret_cast<const char*>(page.constScanLine(y)), kWidth * 3);
        QVERIFY(UseSaneConfig(dir, "pnm\n", {{QStringLiteral("page.ppm"), ppm}}));
    }

    void scannedPageCarriesItsWordsInPlace() {
        TestServices doubles;
        velorix::Services services = doubles.services();
        services.scanner = velorix::scan::worker::CreateWorkerScanPlatform(
            {{"filename", dir.filePath("page.ppm").toStdString()}});
        velorix::Tvelorix_2 window(services);
        window.FormShow(&window);
        const int index = window.cbDevice->findText(QStringLiteral("(pnm:0)"), Qt::MatchEndsWith);
        QVERIFY(index >= 0);
        window.cbDevice->setCurrentIndex(index);
        window.cbDeviceChange(window.cbDevice);
        window.res->setEditText(QStringLiteral("300"));
        window.multi->setChecked(false);
        QVERIFY(window.Guarded([&window] { window.btnScanClick(window.scanner); }));
        QVERIFY2(doubles.prompts->seen.isEmpty(), qPrintable(doubles.prompts->seen.value(0).text));

        writePdf(window, QStringLiteral("off.pdf"));
        window.SetSearchableText(true); // the final picture is recognised from now on
        QVERIFY(window.PRImage1->TextPending());
        writePdf(window, QStringLiteral("on.pdf"));
        QVERIFY2(doubles.prompts->seen.isEmpty(), qPrintable(doubles.prompts->seen.value(0).text));
        window.SetSearchableText(false);
        writePdf(window, QStringLiteral("off-again.pdf"));
        QVERIFY(!read(QStringLiteral("off.pdf")).isEmpty());
        QCOMPARE(read(QStringLiteral("off-again.pdf")), read(QStringLiteral("off.pdf")));
        // The text costs little beside the page's picture.
        const qint64 added =
            read(QStringLiteral("on.pdf")).size() - read(QStringLiteral("off.pdf")).size();
        QVERIFY2(added > 0 && added < read(QStringLiteral("off.pdf")).size() / 100,
                 qPrintable(QString::number(added)));

        int status = -1;
        const QString check = Run(QStringLiteral("qpdf"),
                                  {QStringLiteral("--check"), dir.filePath("on.pdf")}, &status);
        QVERIFY2(status == 0, qPrintable(check));

        // Reading order: the first column, then the second.
        QStringList expected;
        for (const DrawnWord& word : drawn)
            expected << Normalised(word.text);
        // In the file's order (what copying the page gives), and found at all by pdftotext's own
        // layout analysis.
        auto words = [&](const QStringList& options) {
            QStringList found;
            for (const QString& word :
                 Run(QStringLiteral("pdftotext"),
                     options + QStringList{dir.filePath("on.pdf"), "-"})
                     .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
                found << Normalised(word);
            return found;
        };
        const QStringList found = words({QStringLiteral("-raw")});
        const auto pairs = InOrder(expected, found);
        QVERIFY2(qsizetype(pairs.size()) * 100 >= expected.size() * 98,
                 qPrintable(QStringLiteral("%1 of %2 words in order: %3")
                                .arg(pairs.size())
                                .arg(expected.size())
                                .arg(found.join(QLatin1Char(' ')))));
        QStringList unmatched = words({});
        int seen = 0;
        for (const QString& word : expected)
            seen += unmatched.removeOne(word) ? 1 : 0;
        QVERIFY(seen * 100 >= expected.size() * 98);
        QVERIFY(Run(QStringLiteral("pdftotext"), {dir.filePath("off.pdf"), QStringLiteral("-")})
                    .trimmed()
                    .isEmpty());

        // Places: each word's box within 2 points of where it was drawn, the page being the
        // picture stretched onto 600 x 800 points.
        const QString html =
            Run(QStringLiteral("pdftotext"),
                {QStringLiteral("-bbox"), dir.filePath("on.pdf"), QStringLiteral("-")});
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
                 qPrintable(QStringLiteral("%1 of %2 in place; first elsewhere: %3")
                                .arg(placed)
                                .arg(expected.size())
                                .arg(misplaced)));
    }
};

QTEST_MAIN(SearchablePdfTest)
#include "SearchablePdfTest.moc"
