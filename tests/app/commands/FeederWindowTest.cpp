// One click with a feeder, through the window and the scanner worker, on our feeder backend's
// devices: "Source" offers what the scanner has and remembers it per scanner; the whole stack
// comes in reading order with no question; "Plusieurs Documents" asks once the feeder is
// empty; a jam keeps the whole pages and names the sheet; an empty feeder adds no page; blank
// backs are left out; manual recto-verso over a one-sided feeder interleaves the two passes.
#include "tests/app/PickScanner.h"
#include "tests/app/SaneTestConfig.h"
#include "tests/app/ScriptedPrompts.h"

#include "app/window/MainWindow.h"
#include "app/window/Recovery.h"
#include "scan/ScannerComponent.h"
#include "scan/client/WorkerPlatform.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {

// The code our feeder backend draws on each side: eight boxes near the top, a dark one a 1,
// most significant first (sheet * 2 for a front, + 1 for a back); 0 for a blank page.
int PageCode(const QImage& page) {
    const int tenth = page.width() / 10;
    const int y = page.height() * 7 / 100;
    int value = 0;
    for (int box = 0; box < 8; ++box)
        value = value * 2 + (qGray(page.pixel(tenth + box * tenth + tenth * 4 / 10, y)) < 128);
    return value;
}

} // namespace

class FeederWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    TestServices doubles;
    std::unique_ptr<velorix::Tvelorix_2> window;

    void open() {
        velorix::Services services = doubles.services();
        services.scanner = velorix::scan::worker::CreateWorkerScanPlatform();
        services.recoveryFolder = dir.filePath(QStringLiteral("recovery"));
        window = std::make_unique<velorix::Tvelorix_2>(services);
        window->FormShow(window.get());
    }
    void pick(const QString& device) {
        PickScanner(*window, device);
        window->cbGrayscale->setChecked(true);
    }
    void choose(const QString& caption) {
        const int at = window->cbSource->findText(caption);
        QVERIFY2(at >= 0, qPrintable(caption));
        window->cbSource->setCurrentIndex(at);
        window->cbSourceChange(window->cbSource);
    }
    void scan() {
        QVERIFY(window->Guarded([this] { window->btnScanClick(window->scanner); }));
    }
    QList<int> codes() const {
        QList<int> out;
        for (int n = 1; n <= window->PageCount(); ++n)
            if (TPRImage* image = window->FindPageImage(n); image && !image->Picture().isNull())
                out << PageCode(image->Picture());
        return out;
    }
    QStringList told() const { return doubles.prompts->texts(ScriptedPrompts::Kind::Inform); }

private slots:
    void initTestCase() {
        QVERIFY(UseSaneConfig(dir, "velorixfeeder\n"));
        qputenv("LD_LIBRARY_PATH", VELORIX_FEEDER_BACKEND_DIR);
        qunsetenv("VELORIX_SCAN_BACKEND");
        // Read by the backend in the worker at each load of its feeder.
        qputenv("VELORIXFEEDER_CONTROL", dir.filePath(QStringLiteral("control")).toUtf8());
    }
    void feed(const QByteArray& settings) {
        QVERIFY(WriteTestFile(dir.filePath(QStringLiteral("control")), settings));
    }
    void init() {
        doubles = TestServices();
        feed("SHEETS=3\nFAIL_AT=2\n");
        open();
    }
    void cleanup() { window.reset(); }

    void sourcesOfferedAndRemembered() {
        // The open list of scanners shows each name whole.
        int longest = 0;
        for (int i = 0; i < window->cbDevice->count(); ++i)
            longest = std::max(longest, window->cbDevice->fontMetrics().horizontalAdvance(
                                            window->cbDevice->itemText(i)));
        QVERIFY(longest > window->cbDevice->width());
        QVERIFY(window->cbDevice->view()->minimumWidth() > longest);
        pick(QStringLiteral("(velorixfeeder:canon)"));
        QCOMPARE(window->cbSource->count(), 3);
        QCOMPARE(window->cbSource->itemText(0), QStringLiteral("Vitre"));
        QCOMPARE(window->cbSource->itemText(1), QStringLiteral("Chargeur"));
        QCOMPARE(window->cbSource->itemText(2), QStringLiteral("Chargeur recto-verso"));
        QVERIFY(!window->cbSource->isHidden());
        choose(QStringLiteral("Chargeur"));
        // One source only: nothing to choose.
        pick(QStringLiteral("(velorixfeeder:simplex)"));
        QCOMPARE(window->cbSource->count(), 1);
        QVERIFY(window->cbSource->isHidden());
        pick(QStringLiteral("(velorixfeeder:canon)"));
        QCOMPARE(window->cbSource->currentText(), QStringLiteral("Chargeur"));
        // The flatbed is one sheet, as before.
        choose(QStringLiteral("Vitre"));
        scan();
        QCOMPARE(codes(), (QList<int>{255}));
    }

    void wholeStackInOneClick() {
        pick(QStringLiteral("(velorixfeeder:brother)"));
        choose(QStringLiteral("Chargeur recto-verso"));
        scan();
        QCOMPARE(codes(), (QList<int>{2, 3, 4, 5, 6, 7}));
        QVERIFY2(doubles.prompts->seen.isEmpty(), qPrintable(told().join('|')));
        QCOMPARE(window->PageControl1->currentIndex(), 5); // the last page came last

        // With "Plusieurs Documents": the question once the feeder is empty, then the next
        // stack (the backend's feeder is loaded again).
        // Every page is kept for after a crash as it lands, not once the command ends.
        window->multi->setChecked(true);
        QList<int> keptAtQuestion;
        doubles.prompts->whenAsked = [&](const QString&) {
            window->Recovery()->Flush();
            keptAtQuestion << velorix::TRecovery::PageCount(window->Recovery()->Folder());
        };
        doubles.prompts->answer(true, QStringLiteral("Voulez-vous scanner un autre document?"));
        doubles.prompts->answer(false);
        scan();
        QCOMPARE(keptAtQuestion, (QList<int>{12, 18}));
        QCOMPARE(codes(),
                 (QList<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
        QVERIFY(doubles.prompts->allAnswered());
        QCOMPARE(doubles.prompts->dialogsShown, 1); // the change-document prompt, once
    }

    void feederFailures() {
        // A jam half-way through sheet 2: sheet 1 kept whole, nothing of sheet 2.
        pick(QStringLiteral("(velorixfeeder:jam)"));
        choose(QStringLiteral("Chargeur recto-verso"));
        scan();
        QCOMPARE(codes(), (QList<int>{2, 3}));
        QCOMPARE(told().size(), 1);
        QVERIFY2(told()[0].contains(QStringLiteral("feuille 2 : bourrage papier")),
                 qPrintable(told()[0]));
        QVERIFY2(told()[0].contains(QStringLiteral("Les 2 pages")), qPrintable(told()[0]));

        doubles.prompts->seen.clear();
        pick(QStringLiteral("(velorixfeeder:cover)"));
        choose(QStringLiteral("Chargeur"));
        scan();
        QCOMPARE(codes(), (QList<int>{2, 3, 2}));
        QVERIFY2(told().value(0).contains(QStringLiteral("capot")), qPrintable(told().join('|')));

        // Empty at once: the message, and no empty page.
        doubles.prompts->seen.clear();
        const int pages = window->PageCount();
        pick(QStringLiteral("(velorixfeeder:empty)"));
        choose(QStringLiteral("Chargeur"));
        scan();
        QCOMPARE(told(), QStringList{QStringLiteral("Le chargeur est vide.")});
        QCOMPARE(window->PageCount(), pages);
    }

    void blankBacksAndManualDuplex() {
        feed("SHEETS=3\nBLANK_BACKS=1\n");
        window->SetSkipBlankPages(true);
        pick(QStringLiteral("(velorixfeeder:canon)"));
        choose(QStringLiteral("Chargeur recto-verso"));
        scan();
        QCOMPARE(codes(), (QList<int>{2, 4, 6}));
        QCOMPARE(told(), QStringList{QStringLiteral("3 pages blanches ignorées.")});
        window->SetSkipBlankPages(false);
        feed("SHEETS=3\n");

        // Fronts 1 3 5 (codes 2 4 6: sheets count from 1 on this scanner), then the stack
        // turned over, 6 4 2 (codes 8 10 12), interleave into reading order.
        doubles.prompts->seen.clear();
        const int before = window->PageCount();
        pick(QStringLiteral("(velorixfeeder:simplex)"));
        doubles.prompts->answer(true);
        QVERIFY(window->Guarded([this] { window->RectoVersoManuel1Click(nullptr); }));
        QCOMPARE(codes().mid(before), (QList<int>{2, 12, 4, 10, 6, 8}));
    }
};

QTEST_MAIN(FeederWindowTest)
#include "FeederWindowTest.moc"
