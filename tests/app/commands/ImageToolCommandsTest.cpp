// The image tool commands (turns and grey levels of the active page) and the two capture kinds,
// with the zoom, full-page and page-command interplay; the screen is a stand-in picture, the
// overlay the real one.
#include "tests/app/ScriptedPrompts.h"
#include "tests/capture/OverlayDriver.h"

#include "app/window/MainWindow.h"
#include "capture/CaptureRectForm.h"
#include "capture/ScreenCapture.h"
#include "imaging/ImageTools.h"
#include "report/PReport.h"
#include "tests/imaging/ToolPictures.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QMenu>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>
#include <QWindow>
#include <QtTest>

using velorix::PageKind;
using velorix::Tvelorix_2;
using velorix::capture::TCaptureRectForm;
using velorix::imaging::kToolFormat;
using velorix::imaging::RotatePicture;
using velorix::testing::opaqueAt;
using velorix::testing::toolPattern;

namespace {

// The screen as a fixed picture; records whether the window was on it when it was frozen.
class FakeScreen final : public velorix::capture::IScreenGrab {
public:
    QImage screen = overlay::distinctPicture(800, 600);
    QWidget* watched = nullptr;
    bool watchedVisible = false;
    QString Name() const override { return QStringLiteral("fake"); }
    std::optional<velorix::capture::DesktopPicture> GrabDesktop(const QString&) override {
        watchedVisible = watched && watched->isVisible();
        return velorix::capture::DesktopPicture{{QRect(QPoint(0, 0), screen.size()), screen}};
    }
};

bool allGrey(const QImage& img) {
    const QImage rgb = img.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb p = rgb.pixel(x, y);
            if (qRed(p) != qGreen(p) || qGreen(p) != qBlue(p))
                return false;
        }
    return true;
}

} // namespace

class ImageToolCommandsTest : public QObject {
    Q_OBJECT

    TestServices doubles;
    std::shared_ptr<FakeScreen> screen;
    std::unique_ptr<Tvelorix_2> w;
    int overlays = 0;

    // Each capture's overlay gets this drag, or is closed by the system when `closeIt`.
    void driveCaptures(QPoint from, QPoint to, bool closeIt = false) {
        w->ScreenCapture1->OnOverlayShown = [=, this](TCaptureRectForm& form) {
            ++overlays;
            if (closeIt)
                form.close();
            else
                overlay::drag(form, from, to);
        };
    }

    // Page 1 holding a picture as an open leaves it (not full-page, zoom at 0).
    TPRImage* fillFirst(const QImage& pic) {
        TPRImage* image = w->FillFirstPage(PageKind::Opened);
        image->SetPicture(pic);
        w->Zoom1->setEnabled(true);
        w->TakeZoomSource(image);
        w->PRPage1->show();
        w->EnablePageCommands();
        w->FirstPageFilled = true;
        return image;
    }

private slots:
    void init() {
        doubles = TestServices();
        screen = std::make_shared<FakeScreen>();
        velorix::Services services = doubles.services();
        services.screen = screen;
        w = std::make_unique<Tvelorix_2>(services);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        screen->watched = w.get();
        overlays = 0;
    }
    void cleanup() {
        QVERIFY(doubles.prompts->allAnswered());
        w.reset();
    }

    // Zoomed to 300 then turned: the bar reads 0, the page holds the turned unzoomed picture, and
    // the bar then enlarges the turned one.
    void zoomThenRotate() {
        const QImage start = toolPattern(600, 800);
        TPRImage* image = fillFirst(start);
        w->SetZoomPosition(300);
        QCOMPARE(image->Picture().size(), QSize(900, 1100));
        w->plus90->click();
        QCOMPARE(w->Zoom1->value(), 0);
        QImage turned;
        RotatePicture(90, start, turned);
        QCOMPARE(image->Picture().convertToFormat(kToolFormat), turned);
        QCOMPARE(w->ZoomSource.Image().convertToFormat(kToolFormat), turned);
        w->SetZoomPosition(100);
        QCOMPARE(image->Picture().size(), QSize(900, 700));
        // Its top-left corner comes from the turned picture (the source's bottom-left).
        const QRgb corner = opaqueAt(image->Picture(), 0, 0);
        QVERIFY(qAbs(qRed(corner) - qRed(opaqueAt(start, 0, 799))) <= 2);
        QVERIFY(qAbs(qGreen(corner) - qGreen(opaqueAt(start, 0, 799))) <= 2);
    }

    void menuTurnsAndHalfTurn() {
        const QImage start = toolPattern(600, 800);
        TPRImage* image = fillFirst(start);
        w->N901->trigger();
        QImage expected;
        RotatePicture(-90, start, expected);
        QCOMPARE(image->Picture().convertToFormat(kToolFormat), expected);
        w->plus180->click();
        w->N1801->trigger();
        w->moins90->click();
        w->N902->trigger();
        w->N902->trigger();
        QCOMPARE(image->Picture().convertToFormat(kToolFormat), start.convertToFormat(kToolFormat));
    }

    void greyThenZoomStaysGrey() {
        TPRImage* image = fillFirst(toolPattern(600, 800));
        w->SetZoomPosition(50);
        doubles.prompts->answer(
            true, QStringLiteral(
                      "La conversion en niveaux de gris est définitive. Voulez-vous continuer?"));
        w->noiretblanc->click();
        QCOMPARE(w->Zoom1->value(), 50);
        QVERIFY(allGrey(image->Picture()));
        QVERIFY(allGrey(w->ZoomSource.Image()));
        w->SetZoomPosition(200);
        QVERIFY(allGrey(image->Picture()));
        w->SetZoomPosition(0);
        QVERIFY(allGrey(image->Picture()));
    }

    void greyAnsweredNoChangesNothing() {
        const QImage start = toolPattern(600, 800);
        TPRImage* image = fillFirst(start);
        doubles.prompts->answer(false);
        w->NOIRBLANC1->trigger();
        QCOMPARE(image->Picture(), start);
        QCOMPARE(w->ZoomSource.Image(), start);
    }

    // The first action a desktop capture: page 1 takes it with the window out of the picture,
    // the tool-bar commands come on, "&OUTILS" stays off.
    void firstActionDesktopCaptureFillsPageOne() {
        QVERIFY(w->selectionecran->isEnabled());
        QVERIFY(!w->selection->isEnabled());
        driveCaptures(QPoint(100, 100), QPoint(300, 250));
        w->selectionecran->click();
        QCOMPARE(overlays, 1);
        QVERIFY(!screen->watchedVisible);
        QVERIFY(w->isVisible());
        QVERIFY(w->ScreenCapture1->Minimize());
        QCOMPARE(w->ScreenCapture1->Delay(), 500);

        const QImage expected = screen->screen.copy(100, 100, 200, 150);
        QCOMPARE(w->PageCount(), 1);
        QVERIFY(w->FirstPageFilled);
        QCOMPARE(w->PRImage1->Picture().convertToFormat(QImage::Format_RGB32), expected);
        QVERIFY(!w->PRImage1->Stretch());
        QVERIFY(w->PRPage1->isVisible());
        QCOMPARE(w->ZoomSource.Image().convertToFormat(QImage::Format_RGB32), expected);
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
                 expected);
        QVERIFY(w->Zoom1->isEnabled());
        QCOMPARE(w->Zoom1->value(), 0);
        QVERIFY(!w->auto_->isChecked());
        for (QWidget* b :
             std::initializer_list<QWidget*>{w->moins90, w->plus90, w->plus180, w->noiretblanc,
                                             w->selection, w->imprimer, w->auto_})
            QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
        QVERIFY(!w->OUTILS1->menuAction()->isEnabled());

        // "Selection" keeps the window in view and adds page 2, made active.
        driveCaptures(QPoint(10, 20), QPoint(50, 60));
        w->selection->click();
        QVERIFY(screen->watchedVisible);
        QVERIFY(!w->ScreenCapture1->Minimize());
        QCOMPARE(w->PageCount(), 2);
        QCOMPARE(w->PageControl1->currentIndex(), 1);
        QCOMPARE(w->PageControl1->widget(1)->objectName(), QStringLiteral("TabeSheet2"));
        QCOMPARE(w->ActivePageImage(), w->FindPageImage(2));
        QCOMPARE(w->FindPageImage(2)->Picture().convertToFormat(QImage::Format_RGB32),
                 screen->screen.copy(10, 20, 40, 40));
        QVERIFY(w->FindReportPage(2)->isVisible());
        QVERIFY(!w->OUTILS1->menuAction()->isEnabled());
    }

    void menuEntriesPickTheKind() {
        fillFirst(toolPattern(60, 80));
        driveCaptures(QPoint(10, 10), QPoint(20, 20));
        w->CAPTUREDECRAN1->trigger();
        QVERIFY(!screen->watchedVisible);
        QVERIFY(w->ScreenCapture1->Minimize());
        w->SELECTIONIMAGE1->trigger();
        QVERIFY(screen->watchedVisible);
        QVERIFY(!w->ScreenCapture1->Minimize());
        QCOMPARE(w->PageCount(), 3);
        // A page filled otherwise had enabled "&OUTILS": a capture leaves it so.
        QVERIFY(w->OUTILS1->menuAction()->isEnabled());
    }

    // Full-page mode ends for the page in it; the new page is never full-page.
    void captureWhileFullPage() {
        TPRImage* first = fillFirst(toolPattern(600, 800));
        w->SetFullPageBox(true);
        QVERIFY(first->Stretch());
        QVERIFY(!w->Zoom1->isEnabled());
        bool fullPageDuringCapture = true;
        w->ScreenCapture1->OnOverlayShown = [&](TCaptureRectForm& form) {
            // The page is out of full-page mode on the screen the user selects from.
            fullPageDuringCapture = first->Stretch() || w->auto_->isChecked();
            overlay::drag(form, QPoint(10, 10), QPoint(110, 60));
        };
        w->selection->click();
        QVERIFY(!fullPageDuringCapture);
        QVERIFY(!first->Stretch());
        QVERIFY(!w->auto_->isChecked());
        QVERIFY(!w->FindPageImage(2)->Stretch());
        QVERIFY(w->Zoom1->isEnabled());
        QCOMPARE(w->ActivePageImage(), w->FindPageImage(2));
    }

    // An abandoned capture still makes the page, with an empty picture, and the commands.
    void abandonedCaptureStillMakesThePage() {
        driveCaptures({}, {}, true);
        w->selectionecran->click();
        QCOMPARE(overlays, 1);
        QVERIFY(w->FirstPageFilled);
        QVERIFY(w->PRImage1->Picture().isNull());
        QVERIFY(w->moins90->isEnabled());
        w->selection->click();
        QCOMPARE(w->PageCount(), 2);
        QVERIFY(w->FindPageImage(2)->Picture().isNull());
        QCOMPARE(w->PageControl1->currentIndex(), 1);
        // The tools on an empty picture do nothing harmful.
        w->plus90->click();
        doubles.prompts->answer(true);
        w->noiretblanc->click();
        QVERIFY(w->FindPageImage(2)->Picture().isNull());
    }

    void noScreenIsAnErrorBox() {
        velorix::Services services = doubles.services();
        services.screen = std::make_shared<velorix::capture::NullScreenGrab>();
        Tvelorix_2 other(services);
        other.selectionecran->click();
        QCOMPARE(doubles.prompts->texts(ScriptedPrompts::Kind::Error),
                 QStringList{QStringLiteral(
                     "Impossible de capturer l'écran : aucun moyen d'accéder à l'écran.")});
    }
};

QTEST_MAIN(ImageToolCommandsTest)
#include "ImageToolCommandsTest.moc"
