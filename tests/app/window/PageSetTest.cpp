// The page set: numbering and names through add, hide and clear; the active page; full-page
// state, zoom and page change with their event rules.
#include "tests/app/ScriptedPrompts.h"

#include "app/commands/PdfPageWalk.h"
#include "app/window/MainWindow.h"
#include "imaging/SmoothScale.h"
#include "workpool/WorkPool.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <future>

using velorix::PageKind;
using velorix::Tvelorix_2;

namespace {

QImage picture(int w, int h, QColor colour) {
    QImage img(w, h, QImage::Format_RGB888);
    img.fill(colour);
    // A gradient so that scaling and copying can be told apart from a plain fill.
    for (int x = 0; x < w; ++x)
        img.setPixelColor(x, x % h, QColor(x % 256, 0, 255 - x % 256));
    return img;
}

} // namespace

class PageSetTest : public QObject {
    Q_OBJECT

    TestServices doubles;
    std::unique_ptr<Tvelorix_2> w;

    // What a scan or an open does with a picture, told with the page-set operations.
    TPRImage* fillFirst(PageKind kind, const QImage& pic) {
        TPRImage* image = w->FillFirstPage(kind);
        image->SetPicture(pic);
        w->SetZoomPosition(0);
        w->Zoom1->setEnabled(true);
        w->TakeZoomSource(image);
        w->SetFullPageBox(kind == PageKind::Scanned);
        w->PRPage1->show();
        w->EnablePageCommands();
        w->FirstPageFilled = true;
        return image;
    }
    TPRImage* addPage(PageKind kind, const QImage& pic) {
        const int n = w->PageCount() + 1;
        velorix::ImagePage page = w->AddImagePage(n, kind);
        page.image->SetPicture(pic);
        w->SetZoomPosition(0);
        w->Zoom1->setEnabled(true);
        w->TakeZoomSource(page.image);
        page.page->show();
        w->ActivatePage(n - 1);
        w->SetFullPageBox(kind == PageKind::Scanned);
        w->EnablePageCommands();
        return page.image;
    }

private slots:
    void init() {
        doubles = TestServices();
        w = std::make_unique<Tvelorix_2>(doubles.services());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    void cleanup() {
        QVERIFY(doubles.prompts->allAnswered());
        w.reset();
    }

    void startState();
    void namesAndNumbersThroughAddHideAndClear();
    void addedPagesByKind_data();
    void addedPagesByKind();
    void clearAsksOnlyOnceFilledAndOnlyYesClears();
    void hidingNeedsTwoPagesAndCountsHiddenOnes();
    void zoomDrawsFromTheSourceCopy();
    void fullPageWhileZoomed();
    void settingTheSameValueRunsNothing();
    void pageChangeResetsZoomAndFollowsFullPage();
    void zoomNeverPaintsAnotherPagesPicture();
    void zoomStepsDrawWhatShowsAndExportTheEnlargedPicture();
    void zoomedPageEnteredWhileThePoolIsBusy();
};

void PageSetTest::startState() {
    QCOMPARE(w->ActivePageImage(), w->PRImage1.data());
    QVERIFY(!w->auto_->isChecked());
    QVERIFY(w->auto_->isEnabled());
    QVERIFY(!w->Zoom1->isEnabled());
    for (QWidget* c : std::initializer_list<QWidget*>{w->imprimer, w->enregistrerimage, w->mailer,
                                                      w->effacer, w->moins90, w->plus90, w->plus180,
                                                      w->noiretblanc, w->selection})
        QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));
    QVERIFY(!w->OUTILS1->menuAction()->isEnabled());

    w->EnablePageCommands();
    for (QWidget* c : std::initializer_list<QWidget*>{w->imprimer, w->enregistrerimage, w->mailer,
                                                      w->effacer, w->moins90, w->plus90, w->plus180,
                                                      w->noiretblanc, w->selection, w->auto_})
        QVERIFY2(c->isEnabled(), qPrintable(c->objectName()));
    for (QAction* a :
         {w->Imprimerlimage1, w->Maileruneimage1, w->ENREGISTRERLIMAGE1, w->OUTILS1->menuAction()})
        QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
    QVERIFY(!w->Zoom1->isEnabled()); // each command enables the bar itself

    w->DisablePageCommands();
    QVERIFY(w->effacer->isEnabled());
    QVERIFY(!w->auto_->isEnabled());
    QVERIFY(!w->mailer->isEnabled());
    QVERIFY(!w->Maileruneimage1->isEnabled());
    QVERIFY(!w->OUTILS1->menuAction()->isEnabled());
    QVERIFY(!w->Zoom1->isEnabled());
}

void PageSetTest::namesAndNumbersThroughAddHideAndClear() {
    fillFirst(PageKind::Scanned, picture(600, 800, Qt::red));
    QCOMPARE(w->PageCount(), 1);
    addPage(PageKind::Scanned, picture(600, 800, Qt::green));
    addPage(PageKind::Scanned, picture(600, 800, Qt::blue));
    QCOMPARE(w->PageCount(), 3);
    QVERIFY(w->findChild<QWidget*>("TabeSheet2"));
    QCOMPARE(w->FindPageImage(2)->objectName(), QStringLiteral("PRImage2"));
    QVERIFY(w->findChild<TPRLayoutPanel*>("PRLayoutPanel3"));
    // The window's own page 1 is not found by the "Page<n>" lookup; run-time pages are.
    QVERIFY(!w->FindReportPage(1));
    QVERIFY(w->FindReportPage(2));

    // Hide page 2, then add: the new page is number 4 and page 3 keeps its names.
    w->ActivatePage(1);
    w->Effacer1->trigger();
    QVERIFY(!w->PageControl1->isTabVisible(1));
    addPage(PageKind::Scanned, picture(600, 800, Qt::yellow));
    QCOMPARE(w->PageControl1->tabText(3), QStringLiteral("4"));
    QCOMPARE(w->FindPageImage(4), w->ActivePageImage());
    QCOMPARE(w->FindPageImage(3)->Picture().pixelColor(599, 799), QColor(Qt::blue));
    QCOMPARE(w->PageControl1->tabText(2), QStringLiteral("3"));

    // Clear everything: numbering starts again at 1 with the run-time names.
    doubles.prompts->answer(true,
                            QStringLiteral("Voulez-vous effacer toutes les images actuelles?"));
    w->effacer->click();
    QCOMPARE(w->PageCount(), 0);
    // The pages are out of the window, kept only for "Annuler".
    QVERIFY(!w->findChild<TPRImage*>());
    QVERIFY(!w->TabSheet1->parent());
    QVERIFY(!w->FindPageImage(2));
    QVERIFY(!w->ActivePageImage());
    QVERIFY(w->FirstPageFilled);
    QVERIFY(w->effacer->isEnabled());
    QVERIFY(!w->imprimer->isEnabled());

    velorix::ImagePage again = w->AddImagePage(w->PageCount() + 1, PageKind::Scanned);
    QCOMPARE(again.tabSheet->objectName(), QStringLiteral("TabeSheet1"));
    QCOMPARE(again.page->objectName(), QStringLiteral("Page1"));
    QCOMPARE(again.layoutPanel->objectName(), QStringLiteral("PRLayoutPanel1"));
    QCOMPARE(again.image->objectName(), QStringLiteral("PRImage1"));
    QCOMPARE(w->PageControl1->tabText(0), QStringLiteral("1"));
    QCOMPARE(w->ActivePageImage(), again.image);
    QCOMPARE(w->FindReportPage(1), again.page);
    QVERIFY(!w->FillFirstPage(PageKind::Scanned)); // the window's own page 1 is gone
}

void PageSetTest::addedPagesByKind_data() {
    QTest::addColumn<PageKind>("kind");
    QTest::addColumn<int>("icon");
    QTest::addColumn<bool>("stretch");
    QTest::addColumn<bool>("printHandler");
    QTest::newRow("scanned") << PageKind::Scanned << 11 << true << false;
    QTest::newRow("opened") << PageKind::Opened << 8 << false << true;
    QTest::newRow("captured") << PageKind::Captured << 8 << false << true;
}

void PageSetTest::addedPagesByKind() {
    QFETCH(PageKind, kind);
    QFETCH(int, icon);
    QFETCH(bool, stretch);
    QFETCH(bool, printHandler);

    velorix::ImagePage p = w->AddImagePage(2, kind);
    QCOMPARE(w->PageControl1->currentIndex(), 0); // the active page stays active
    QCOMPARE(w->PageControl1->tabText(1), QStringLiteral("2"));
    QCOMPARE(w->PageControl1->tabIcon(1).cacheKey(), w->ImageList1.at(icon).cacheKey());
    QCOMPARE(p.image->Stretch(), stretch);
    QCOMPARE(bool(p.page->OnPrintPage()), printHandler);
    QVERIFY(p.page->isHidden());
    QCOMPARE(p.page->geometry(), QRect(0, 0, 600, 800));
    QCOMPARE(p.page->MarginTop() + p.page->MarginLeft() + p.page->MarginRight() +
                 p.page->MarginBottom(),
             0);
    QCOMPARE(p.layoutPanel->geometry(), QRect(1, 1, 598, 798));
    QCOMPARE(p.image->geometry(), QRect(0, 0, 598, 798));
    QCOMPARE(p.scrollBox->parentWidget(), p.tabSheet);
    QCOMPARE(p.page->parentWidget()->parentWidget(), p.scrollBox); // through the viewport
    QCOMPARE(p.image->parentWidget(), p.layoutPanel);

    // FillFirstPage sets page 1 up for the kind in the same way.
    TPRImage* first = w->FillFirstPage(kind);
    QCOMPARE(first, w->PRImage1.data());
    QCOMPARE(first->Stretch(), stretch);
    QCOMPARE(w->PRPage1->geometry(), QRect(0, 0, 600, 800));
}

void PageSetTest::clearAsksOnlyOnceFilledAndOnlyYesClears() {
    // Before any picture: nothing asked (the scripted prompts fail on any question).
    w->effacer->setEnabled(true);
    w->effacer->click();
    QCOMPARE(w->PageCount(), 1);

    fillFirst(PageKind::Scanned, picture(600, 800, Qt::red));
    addPage(PageKind::Opened, picture(300, 200, Qt::green));
    doubles.prompts->answer(false);
    w->effacer->click();
    QCOMPARE(w->PageCount(), 2);
    QVERIFY(w->imprimer->isEnabled());
    QCOMPARE(doubles.prompts->texts(ScriptedPrompts::Kind::Confirm).size(), 1);
}

void PageSetTest::hidingNeedsTwoPagesAndCountsHiddenOnes() {
    w->Effacer1->trigger(); // a single page: nothing, not even a message
    QVERIFY(w->PageControl1->isTabVisible(0));
    QVERIFY(doubles.prompts->seen.isEmpty());

    fillFirst(PageKind::Scanned, picture(600, 800, Qt::red));
    TPRImage* second = addPage(PageKind::Opened, picture(600, 800, Qt::green));
    w->Effacer1->trigger();
    QVERIFY(!w->PageControl1->isTabVisible(1));
    QCOMPARE(w->ActivePageImage(), w->PRImage1.data());
    // The count includes the hidden page: the last visible one can be hidden too.
    w->Effacer1->trigger();
    QVERIFY(!w->PageControl1->isTabVisible(0));
    QVERIFY(!w->ActivePageImage());
    // No page is active: page commands must not touch any picture.
    const QImage before = second->Picture();
    w->Zoom1->setValue(300);
    w->auto_->setChecked(!w->auto_->isChecked());
    QCOMPARE(second->Picture(), before);
    QCOMPARE(w->PRImage1->Picture().size(), QSize(600, 800));
    QVERIFY(doubles.prompts->texts(ScriptedPrompts::Kind::Error).isEmpty());
    QCOMPARE(w->PageCount(), 2); // hidden pages keep their controls
}

void PageSetTest::zoomDrawsFromTheSourceCopy() {
    const QImage source = picture(600, 800, Qt::darkCyan);
    TPRImage* image = fillFirst(PageKind::Opened, source);
    QVERIFY(w->Zoom1->isEnabled());
    w->Zoom1->setValue(1000);
    QCOMPARE(image->Picture().size(), QSize(1600, 1800));
    QCOMPARE(image->Picture().format(), source.format());
    w->Zoom1->setValue(400);
    QCOMPARE(image->Picture().size(), QSize(1000, 1200));
    w->Zoom1->setValue(0);
    QCOMPARE(image->Picture(), source); // not compounded: drawn from ZoomSource each time
    QCOMPARE(w->ZoomSource.Image(), source);

    // A command moving the bar enables it and zooms once.
    w->Zoom1->setEnabled(false);
    w->SetZoomPosition(100);
    QVERIFY(w->Zoom1->isEnabled());
    QCOMPARE(image->Picture().size(), QSize(700, 900));
}

void PageSetTest::fullPageWhileZoomed() {
    const QImage source = picture(600, 800, Qt::magenta);
    TPRImage* image = fillFirst(PageKind::Opened, source);
    QVERIFY(!image->Stretch());
    w->Zoom1->setValue(300);
    QCOMPARE(image->Picture().size(), QSize(900, 1100));

    w->auto_->click();
    QVERIFY(w->auto_->isChecked());
    QVERIFY(image->Stretch());
    QCOMPARE(w->Zoom1->value(), 0);
    QCOMPARE(image->Picture(), source);
    QVERIFY(!w->Zoom1->isEnabled());

    w->auto_->click();
    QVERIFY(!image->Stretch());
    QVERIFY(w->Zoom1->isEnabled());
}

void PageSetTest::settingTheSameValueRunsNothing() {
    TPRImage* image = fillFirst(PageKind::Opened, picture(600, 800, Qt::gray));
    w->Zoom1->setValue(200);
    // The box already unchecked: no full-page action, so the zoom stays.
    w->SetFullPageBox(false);
    QCOMPARE(w->Zoom1->value(), 200);
    QCOMPARE(image->Picture().size(), QSize(800, 1000));
    // The same position again: the zoom action does not run (the picture is left alone).
    const QImage marked = picture(10, 10, Qt::black);
    image->SetPicture(marked);
    w->SetZoomPosition(200);
    QCOMPARE(image->Picture(), marked);
}

void PageSetTest::pageChangeResetsZoomAndFollowsFullPage() {
    const QImage first = picture(600, 800, Qt::red);
    const QImage second = picture(600, 800, Qt::green);
    TPRImage* one = fillFirst(PageKind::Scanned, first);
    TPRImage* two = addPage(PageKind::Opened, second);
    QCOMPARE(w->PageControl1->currentIndex(), 1);
    QVERIFY(!w->auto_->isChecked());
    w->Zoom1->setValue(500);
    QCOMPARE(two->Picture().size(), QSize(1100, 1300));

    // Making a page active directly does not run the page-change handling.
    w->ActivatePage(0);
    QCOMPARE(w->Zoom1->value(), 500);
    QVERIFY(!w->auto_->isChecked());
    w->ActivatePage(1);

    // The user picks tab 1: zoom 0 without drawing, box follows the page, bar disabled.
    w->PageControl1->setCurrentIndex(0);
    QCOMPARE(w->Zoom1->value(), 0);
    QVERIFY(w->auto_->isChecked());
    QVERIFY(!w->Zoom1->isEnabled());
    QCOMPARE(one->Picture(), first);
    QCOMPARE(two->Picture().size(), QSize(1100, 1300)); // the enlarged picture stays
    QCOMPARE(w->ZoomSource.Image(), first);

    // Advancing to the next page runs the handling too; the enlarged picture is the new source.
    w->SelectNextPage();
    QCOMPARE(w->PageControl1->currentIndex(), 1);
    QVERIFY(!w->auto_->isChecked());
    QVERIFY(w->Zoom1->isEnabled());
    QCOMPARE(w->ZoomSource.Image(), SmoothScaled(second, QSize(1100, 1300)));
    w->Zoom1->setValue(100);
    QCOMPARE(two->Picture().size(), QSize(1200, 1400));
    // From the last page it wraps around to page 1.
    w->SelectNextPage();
    QCOMPARE(w->PageControl1->currentIndex(), 0);
    QCOMPARE(w->Zoom1->value(), 0);
    QCOMPARE(one->Picture(), first);
}

void PageSetTest::zoomNeverPaintsAnotherPagesPicture() {
    const QImage a = picture(600, 800, Qt::red);
    const QImage b = picture(600, 800, Qt::green);
    const QImage c = picture(400, 300, Qt::blue);
    fillFirst(PageKind::Opened, a);
    TPRImage* two = addPage(PageKind::Opened, b);
    TPRImage* three = addPage(PageKind::Opened, c);
    w->ActivatePage(1);
    w->TakeZoomSource(two);

    // "SUPPRIMER" shows a neighbour without the page-change handling: ZoomSource is page 2's.
    w->Effacer1->trigger();
    TPRImage* shown = w->ActivePageImage();
    QVERIFY(shown && shown != two);
    w->Zoom1->setValue(250);
    QCOMPARE(w->PRImage1->Picture(), a);
    QCOMPARE(three->Picture(), c);
    QCOMPARE(two->Picture(), b);

    // After "Tout effacer" the old copy is never drawn into a new page either.
    doubles.prompts->answer(true);
    w->effacer->click();
    velorix::ImagePage fresh = w->AddImagePage(1, PageKind::Opened);
    fresh.image->SetPicture(c);
    w->SetZoomPosition(600);
    QCOMPARE(fresh.image->Picture(), c);
}

// A zoom step paints the visible part of the enlarged picture without making all of it; the
// export then holds the whole enlarged picture, and ZoomSource stays the unzoomed one.
void PageSetTest::zoomStepsDrawWhatShowsAndExportTheEnlargedPicture() {
    const QImage source = picture(1200, 1600, Qt::darkYellow);
    TPRImage* image = fillFirst(PageKind::Opened, source);
    for (int position : {1000, 350, 999}) {
        w->Zoom1->setValue(position);
        QCoreApplication::processEvents(); // the window paints the page on screen
        QVERIFY(image->ScalePending());
    }
    QCOMPARE(w->ZoomSource.Image().cacheKey(), source.cacheKey());
    const QImage shown = image->grab().toImage().convertToFormat(QImage::Format_RGB888);
    QVERIFY(image->ScalePending());

    QTemporaryDir dir;
    velorix::WritePagesToPdf(*w, dir.filePath("zoomed.pdf"));
    QVERIFY(!image->ScalePending());
    QCOMPARE(image->Picture().size(), QSize(2199, 2599));
    QCOMPARE(image->Picture(), SmoothScaled(source, QSize(2199, 2599)));
    QCOMPARE(shown, image->Picture().copy(0, 0, 598, 798));
    QFile pdf(dir.filePath("zoomed.pdf"));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdf.readAll().contains("/Width 2199\r\n/Height 2599"));

    w->Zoom1->setValue(0);
    QCOMPARE(image->Picture().cacheKey(), source.cacheKey());
}

// Every worker held by an export's backlog: entering a zoomed page makes nothing on the window's
// thread (the enlargement is queued ahead and painted only where it shows), and the next zoom step
// makes it on the window's thread at once instead of waiting for the queue. The pixels stay those
// of a zoom that makes every picture at once.
void PageSetTest::zoomedPageEnteredWhileThePoolIsBusy() {
    const QImage first = picture(600, 800, Qt::red);
    const QImage second = picture(600, 800, Qt::darkCyan);
    const QSize enlarged(1100, 1300);
    const QImage eager = SmoothScaled(second, enlarged);
    fillFirst(PageKind::Opened, first);
    TPRImage* two = addPage(PageKind::Opened, second);
    w->Zoom1->setValue(500);
    w->PageControl1->setCurrentIndex(0);
    QVERIFY(two->ScalePending());

    std::promise<void> release;
    const std::shared_future<void> gate = release.get_future().share();
    auto& pool = pdfwork::TWorkPool::Shared();
    const auto held = std::make_shared<std::atomic<int>>(0);
    for (int i = 0; i < pool.ThreadCount(); ++i) {
        pool.Post([gate, held] {
            ++*held;
            gate.wait_for(std::chrono::seconds(10));
        });
    }
    // Held for real: a task posted ahead would otherwise still overtake them.
    QTRY_COMPARE(held->load(), pool.ThreadCount());
    w->PRImage1->PrepareStream(); // the export's backlog, behind the held workers

    w->PageControl1->setCurrentIndex(1);
    QVERIFY(two->ScalePending());
    QVERIFY(w->ZoomSource.Pending());
    QCOMPARE(w->ZoomSource.size(), enlarged);
    QVERIFY(two->StreamPending()); // queued for a worker
    const QImage shown = two->grab().toImage().convertToFormat(QImage::Format_RGB888);
    QCOMPARE(shown, eager.copy(0, 0, 598, 798));
    QVERIFY(two->ScalePending());

    QElapsedTimer clock;
    clock.start();
    w->Zoom1->setValue(100);
    const qint64 waited = clock.elapsed();
    release.set_value();
    QVERIFY2(waited < 5000, qPrintable(QStringLiteral("waited %1 ms").arg(waited)));
    QVERIFY(!w->ZoomSource.Pending());
    QCOMPARE(w->ZoomSource.Image(), eager);
    const QImage again = SmoothScaled(eager, QSize(1200, 1400));
    QCOMPARE(two->Picture(), again);

    // Left and entered again: the enlarged picture is the new source, at its own size at 0.
    w->PageControl1->setCurrentIndex(0);
    w->PageControl1->setCurrentIndex(1);
    QCOMPARE(w->ZoomSource.Image(), again);
    w->Zoom1->setValue(50);
    w->Zoom1->setValue(0);
    QCOMPARE(two->Picture(), again);
}

QTEST_MAIN(PageSetTest)
#include "PageSetTest.moc"
