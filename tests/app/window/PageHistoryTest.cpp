// Pages moved (menu, shortcut, dragged tab) with names kept equal to positions and the export
// following the new order; "Annuler" and "Rétablir" of every recorded command; every page saved
// into one file. All through the window's own actions, keys and tab bar.
#include "tests/app/ImagePrompts.h"
#include "tests/app/PageFiles.h"

#include "app/commands/PdfPageWalk.h"
#include "app/window/MainWindow.h"
#include "app/window/PageHistory.h"
#include "imaging/ImageEngine.h"
#include "report/PReport.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QMenu>
#include <QProcess>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <functional>

using velorix::Tvelorix_2;

namespace {

// The prompts of this test: the plain save dialog answers from a queue too.
class HistoryPrompts : public ImagePrompts {
public:
    QQueue<QString> saveFileAnswers;
    QString saveFileName(const QString&, const QString&) override {
        return saveFileAnswers.isEmpty() ? QString() : saveFileAnswers.dequeue();
    }
};

// A picture whose pixels tell it apart from every other of the test.
QImage distinct(int seed, int w = 600, int h = 800) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y,
                         qRgb((x * 7 + seed * 60) % 256, (y * 3 + seed * 90) % 256,
                              (x + y + seed * 40) % 256));
    return img;
}

// What a user sees of the page set: per tab, its caption, whether it shows and its pixels, and
// that every name equals the position.
QStringList Fingerprint(Tvelorix_2& w) {
    QStringList out;
    for (int i = 0; i < w.PageCount(); ++i) {
        TPRImage* image = w.FindPageImage(i + 1);
        const bool named =
            image && image->window() == &w && w.PageControl1->widget(i)->isAncestorOf(image);
        out << QStringLiteral("%1 %2 %3 %4")
                   .arg(w.PageControl1->tabText(i))
                   .arg(w.PageControl1->isTabVisible(i) ? "shown" : "hidden")
                   .arg(named ? QString::number(qHashBits(image->Picture().constBits(),
                                                          image->Picture().sizeInBytes()))
                              : QStringLiteral("misnamed"))
                   .arg(image && image->Stretch() ? "full" : "own");
    }
    out << (w.FirstPageFilled ? "filled" : "placeholder");
    return out;
}

} // namespace

class PageHistoryTest : public QObject {
    Q_OBJECT

    ImageTestServices doubles;
    std::shared_ptr<HistoryPrompts> prompts;
    std::unique_ptr<Tvelorix_2> w;
    QTemporaryDir dir;
    QStringList files;

    QImage pictureOf(int n) {
        return w->FindPageImage(n)->Picture().convertToFormat(QImage::Format_RGB32);
    }
    // Opens the test's images through the menu entry, as the user does, one page each.
    void openPages(int count) {
        w->multi->setChecked(false);
        for (int i = 0; i < count; ++i) {
            prompts->openAnswers << files[i];
            w->Ouvriruneimage1->trigger();
        }
        QCOMPARE(w->PageCount(), count);
    }
    void key(QKeySequence keys) {
        QTest::keySequence(w.get(), keys);
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase() {
        velorix::imaging::TImageEngine engine;
        for (int i = 0; i < 4; ++i) {
            files << dir.filePath(QStringLiteral("page%1.png").arg(i + 1));
            engine.Assign(distinct(i + 1));
            engine.SaveToFile(files.last());
        }
    }
    void init() {
        doubles = ImageTestServices();
        prompts = std::make_shared<HistoryPrompts>();
        doubles.images = prompts;
        w = std::make_unique<Tvelorix_2>(doubles.services());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    void cleanup() {
        QVERIFY(prompts->allAnswered());
        QVERIFY(prompts->texts(ScriptedPrompts::Kind::Error).isEmpty());
        w.reset();
    }

    void movedByShortcutMenuAndDragThenExportedInTheNewOrder();
    void movesSkipHiddenPagesAndStopAtTheEnds();
    void eachCommandUndoneAndRedone_data();
    void eachCommandUndoneAndRedone();
    void undoneClearGivesBackEveryPageAndNewCommandForgetsRedo();
    void historyStaysWithinItsBudget();
    void allPagesIntoOneTiffOrPdf();
    void pdfOfThreePagesOpenedAndExportedAgain();
};

void PageHistoryTest::movedByShortcutMenuAndDragThenExportedInTheNewOrder() {
    openPages(3);
    const QImage a = pictureOf(1), b = pictureOf(2), c = pictureOf(3);
    QCOMPARE(w->PageControl1->currentIndex(), 2);

    key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_PageUp)); // c one place left: a c b
    QCOMPARE(w->PageControl1->currentIndex(), 1);
    QCOMPARE(pictureOf(2), c);
    QCOMPARE(pictureOf(3), b);

    w->DeplacerGauche1->trigger(); // a c b -> c a b: the window's own page is second now
    QCOMPARE(pictureOf(1), c);
    QCOMPARE(pictureOf(2), a);
    QCOMPARE(w->PRPage1->objectName(), QStringLiteral("Page2"));
    QCOMPARE(w->FindReportPage(2), w->PRPage1.data());
    QCOMPARE(w->ActivePageImage(), w->FindPageImage(1));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(w->PageControl1->tabText(i), QString::number(i + 1));
        QCOMPARE(w->PageControl1->widget(i)->objectName(),
                 QStringLiteral("TabeSheet%1").arg(i + 1));
    }

    // The last tab dragged onto the first one: b c a.
    QTabBar* bar = w->PageControl1->tabBar();
    const QPoint from = bar->tabRect(2).center();
    const QPoint to = bar->tabRect(0).center() - QPoint(bar->tabRect(0).width() / 3, 0);
    QTest::mousePress(bar, Qt::LeftButton, {}, from);
    for (int step = 1; step <= 10; ++step)
        QTest::mouseMove(bar, from + (to - from) * step / 10);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, to);
    QTRY_COMPARE(pictureOf(1), b);
    QCOMPARE(pictureOf(2), c);
    QCOMPARE(pictureOf(3), a);
    QCOMPARE(w->PageControl1->widget(2), w->TabSheet1.data());

    // The window's own page back in front takes its own names again.
    key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_PageDown)); // b active: c b a
    QCOMPARE(pictureOf(2), b);
    w->ActivatePage(2);
    w->DeplacerGauche1->trigger();
    w->ActivatePage(1);
    w->DeplacerGauche1->trigger(); // a c b
    QCOMPARE(w->PRPage1->objectName(), QStringLiteral("PRPage1"));
    QCOMPARE(w->TabSheet1->objectName(), QStringLiteral("TabSheet1"));
    QVERIFY(!w->FindReportPage(1));
    key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_PageDown)); // c a b
    QCOMPARE(pictureOf(1), c);

    const QString pdf = dir.filePath("moved.pdf");
    QVERIFY(velorix::WritePagesToPdf(*w, pdf));
    QTemporaryDir out;
    const QList<QImage> pages = PdfPictures(pdf, out.path());
    QCOMPARE(pages.size(), 3);
    QCOMPARE(pages[0], c);
    QCOMPARE(pages[1], a);
    QCOMPARE(pages[2], b);
}

void PageHistoryTest::movesSkipHiddenPagesAndStopAtTheEnds() {
    openPages(3);
    const QImage a = pictureOf(1), b = pictureOf(2), c = pictureOf(3);
    w->ActivatePage(1);
    w->Effacer1->trigger(); // b hidden
    w->ActivatePage(2);
    w->DeplacerGauche1->trigger(); // c jumps over the hidden b: c is before a
    QCOMPARE(pictureOf(1), c);
    QCOMPARE(w->PageControl1->currentIndex(), 0);
    const QStringList before = Fingerprint(*w);
    w->DeplacerGauche1->trigger(); // first already: nothing, and nothing to undo for it
    QCOMPARE(Fingerprint(*w), before);
    w->Annuler1->trigger(); // the move over b undone
    QCOMPARE(pictureOf(3), c);
    QVERIFY(!w->PageControl1->isTabVisible(1));
    QCOMPARE(pictureOf(1), a);
    QCOMPARE(w->FindPageImage(2)->Picture().convertToFormat(QImage::Format_RGB32), b);
}

void PageHistoryTest::eachCommandUndoneAndRedone_data() {
    QTest::addColumn<int>("command");
    QTest::newRow("rotate +90") << 0;
    QTest::newRow("rotate 180 of a zoomed page") << 1;
    QTest::newRow("grey levels") << 2;
    QTest::newRow("hide") << 3;
    QTest::newRow("move") << 4;
    QTest::newRow("clear all") << 5;
    QTest::newRow("open adds a page") << 6;
    QTest::newRow("first open fills page 1") << 7;
}

void PageHistoryTest::eachCommandUndoneAndRedone() {
    QFETCH(int, command);
    w->multi->setChecked(false);
    if (command != 7)
        openPages(3);
    w->ActivatePage(1);
    w->PageControl1Change(nullptr);
    // What the command finds, not part of its step.
    if (command == 1) {
        w->SetFullPageBox(false);
        w->SetZoomPosition(200);
    } else if (command == 5) {
        w->Effacer1->trigger(); // a hidden page, so that its state comes back too
        w->ActivatePage(0);
    }
    const std::function<void()> commands[] = {
        [&] { w->plus90->click(); },
        [&] { w->plus180->click(); },
        [&] {
            prompts->answer(true);
            w->noiretblanc->click();
        },
        [&] { w->Effacer1->trigger(); },
        [&] { w->DeplacerDroite1->trigger(); },
        [&] {
            prompts->answer(true);
            w->effacer->click();
        },
        [&] {
            prompts->openAnswers << files[3];
            w->ouvririmage->click();
        },
        [&] {
            prompts->openAnswers << files[3];
            w->ouvririmage->click();
        },
    };
    const QStringList before = Fingerprint(*w);
    const bool toolsBefore = w->OUTILS1->menuAction()->isEnabled();
    commands[command]();
    const QStringList after = Fingerprint(*w);
    QVERIFY(after != before);
    QVERIFY(w->Annuler1->isEnabled());
    QVERIFY(!w->Retablir1->isEnabled());

    key(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QCOMPARE(Fingerprint(*w), before);
    QCOMPARE(w->OUTILS1->menuAction()->isEnabled(), toolsBefore);
    QVERIFY(w->Retablir1->isEnabled());
    key(QKeySequence(Qt::CTRL | Qt::Key_Y));
    QCOMPARE(Fingerprint(*w), after);
    w->Annuler1->trigger();
    QCOMPARE(Fingerprint(*w), before);
    key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    QCOMPARE(Fingerprint(*w), after);

    // The export follows whatever the history put back.
    w->Annuler1->trigger();
    std::vector<TPRPage*> pages = velorix::PdfPages(*w);
    int shown = 0;
    for (int i = 0; i < w->PageCount(); ++i)
        shown += w->PageControl1->isTabVisible(i) ? 1 : 0;
    QCOMPARE(int(pages.size()), shown);
}

void PageHistoryTest::undoneClearGivesBackEveryPageAndNewCommandForgetsRedo() {
    openPages(3);
    w->ActivatePage(2);
    w->N902->trigger(); // page 3 turned
    w->ActivatePage(1);
    w->Effacer1->trigger(); // page 2 hidden
    const QStringList before = Fingerprint(*w);
    QPointer<TPRImage> second = w->FindPageImage(2);
    prompts->answer(true);
    w->effacer->click();
    QCOMPARE(w->PageCount(), 0);
    QVERIFY(!w->findChild<TPRImage*>()); // out of the window: not found by name
    QVERIFY(second);                     // but kept for "Annuler"
    w->Annuler1->trigger();
    QCOMPARE(Fingerprint(*w), before);
    QVERIFY(w->imprimer->isEnabled());
    QCOMPARE(velorix::PdfPages(*w).size(), std::size_t(2));

    // Cleared again, then a new page: the clear can no longer be redone after being undone,
    // and the pages it held are freed.
    prompts->answer(true);
    w->effacer->click();
    w->Annuler1->trigger();
    prompts->openAnswers << files[3];
    w->ouvririmage->click();
    QVERIFY(!w->Retablir1->isEnabled());
    QCOMPARE(w->PageCount(), 4);
    QCOMPARE(pictureOf(4), distinct(4));
    QVERIFY(second);
    w->Annuler1->trigger();
    w->Annuler1->trigger(); // the hide
    QCOMPARE(w->PageCount(), 3);
    QVERIFY(w->PageControl1->isTabVisible(1));
}

void PageHistoryTest::historyStaysWithinItsBudget() {
    // Ten steps of 1.9 MB pictures against a budget of 5 MB: only the newest stay.
    velorix::TPageHistory history(5 << 20, 200);
    QWidget sheet;
    for (int i = 0; i < 10; ++i) {
        velorix::PageSetState before, after;
        velorix::PageState page;
        page.hold = history.HoldOf(&sheet);
        page.picture = distinct(i);
        before.pages.push_back(page);
        page.picture = distinct(i + 1);
        after.pages.push_back(page);
        history.Record(before, after);
        QVERIFY(history.HeldBytes() <= history.Budget());
    }
    QVERIFY(history.Steps() >= 1);
    QVERIFY(history.Steps() <= 2);
    // Limited by the number of steps too.
    velorix::TPageHistory few(qint64(1) << 40, 3);
    for (int i = 0; i < 5; ++i) {
        velorix::PageSetState before, after;
        after.firstPageFilled = i % 2 == 0;
        before.firstPageFilled = !after.firstPageFilled;
        few.Record(before, after);
    }
    QCOMPARE(few.Steps(), 3);
}

void PageHistoryTest::allPagesIntoOneTiffOrPdf() {
    openPages(3);
    const QImage a = pictureOf(1), c = pictureOf(3);
    w->ActivatePage(1);
    w->Effacer1->trigger(); // the hidden page is left out
    w->ActivatePage(2);
    w->DeplacerGauche1->trigger(); // c a

    const QString tiff = dir.filePath("all.tif");
    prompts->saveFileAnswers << tiff;
    QVERIFY(w->EnregistrerToutes1->isEnabled());
    w->EnregistrerToutes1->trigger();
    const QList<QImage> pages = TiffPages(tiff);
    QCOMPARE(pages.size(), 2);
    QCOMPARE(pages[0], c);
    QCOMPARE(pages[1], a);

    // Replacing asks first; No leaves the file.
    const QByteArray kept = [&] {
        QFile f(tiff);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    prompts->saveFileAnswers << tiff;
    prompts->answer(false, "Le fichier existe déjà. Voulez-vous le remplacer?");
    w->EnregistrerToutes1->trigger();
    QFile again(tiff);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), kept);

    const QString pdf = dir.filePath("all.pdf");
    prompts->saveFileAnswers << pdf;
    w->EnregistrerToutes1->trigger();
    QTemporaryDir out;
    const QList<QImage> pdfPages = PdfPictures(pdf, out.path());
    QCOMPARE(pdfPages.size(), 2);
    QCOMPARE(pdfPages[0], c);
    // The shared PDF stays the file of every other export.
    QVERIFY(w->PReport1->FileName() != pdf);

    // Another extension: a message, no file.
    prompts->saveFileAnswers << dir.filePath("all.png");
    w->EnregistrerToutes1->trigger();
    QCOMPARE(prompts->texts(ScriptedPrompts::Kind::Error).size(), 1);
    QVERIFY(!QFile::exists(dir.filePath("all.png")));
    prompts->seen.clear();
}

void PageHistoryTest::pdfOfThreePagesOpenedAndExportedAgain() {
    openPages(3);
    w->ActivatePage(0);
    w->N902->trigger(); // a page of another shape: 800 x 600
    const QString first = dir.filePath("three.pdf");
    QVERIFY(velorix::WritePagesToPdf(*w, first));
    prompts->answer(true);
    w->effacer->click();

    prompts->openAnswers << first; // one open, three pages
    w->Ouvriruneimage1->trigger();
    QCOMPARE(w->PageCount(), 3);
    QCOMPARE(pictureOf(1).size(), QSize(800, 600));
    const QString again = dir.filePath("three-again.pdf");
    QVERIFY(velorix::WritePagesToPdf(*w, again));
    QTemporaryDir a, b;
    const QList<QImage> before = PdfPictures(first, a.path());
    QCOMPARE(before.size(), 3);
    QCOMPARE(PdfPictures(again, b.path()), before);

    // One step: "Annuler" takes the three pages away together.
    w->Annuler1->trigger();
    QCOMPARE(w->PageCount(), 0);

    // A hostile PDF: its message, and no page made.
    prompts->openAnswers << QStringLiteral(VELORIX_SOURCE_DIR
                                           "/fuzz/corpus/PdfOpenFuzz/huge_page.pdf");
    w->Ouvriruneimage1->trigger();
    QCOMPARE(w->PageCount(), 0);
    const QStringList errors = prompts->texts(ScriptedPrompts::Kind::Error);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors[0].contains(QStringLiteral("trop grande")), qPrintable(errors[0]));
    prompts->seen.clear();
}

QTEST_MAIN(PageHistoryTest)
#include "PageHistoryTest.moc"
