// The open-image command: first page filled, pages added, the "Plusieurs Documents" loop with its
// full-page and page-change interplay, cancelled dialogs and unreadable files.
#include "tests/app/ImagePrompts.h"

#include "app/window/MainWindow.h"
#include "report/PReport.h"
#include "tests/imaging/TestImages.h"

#include <QCheckBox>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

using velorix::Tvelorix_2;
using namespace velorix::testing;

class OpenTest : public QObject {
    Q_OBJECT

    ImageTestServices doubles;
    std::unique_ptr<Tvelorix_2> window;
    QTemporaryDir dir;
    QString small, portrait, broken;

    ImagePrompts& prompts() { return *doubles.images; }
    TPRImage* image(int n) { return window->FindPageImage(n); }

private slots:
    void initTestCase() {
        small = dir.filePath("small.png");
        portrait = dir.filePath("portrait.bmp");
        broken = dir.filePath("broken.png");
        velorix::imaging::TImageEngine engine;
        engine.Assign(colourPattern(400, 300));
        engine.SaveToFile(small);
        engine.Assign(colourPattern(1200, 1600));
        engine.SaveToFile(portrait);
        QVERIFY(writeAll(broken, "\x89PNG\r\n\x1a\nnot really"));
    }
    void init() {
        doubles = ImageTestServices();
        window = std::make_unique<Tvelorix_2>(doubles.services());
    }
    void cleanup() {
        QVERIFY2(prompts().allAnswered(), "questions left unanswered");
        window.reset();
    }

    void firstOpenFillsPageOneThenPagesAreAdded() {
        window->multi->setChecked(false);
        window->SetFullPageBox(true); // a command finds the box checked: unchecked by the open
        prompts().openAnswers << small;
        window->ouvririmageClick(window->ouvririmage);

        QCOMPARE(window->PageCount(), 1);
        QVERIFY(window->FirstPageFilled);
        const QImage page = image(1)->Picture();
        QCOMPARE(page.size(), QSize(600, 800));
        QCOMPARE(maxChannelDifference(page.copy(100, 250, 400, 300), colourPattern(400, 300)), 0);
        QVERIFY(!image(1)->Stretch());
        QVERIFY(!window->auto_->isChecked());
        QVERIFY(window->Zoom1->isEnabled());
        QVERIFY(window->enregistrerimage->isEnabled());
        QCOMPARE(window->ZoomSource.size(), QSize(600, 800));

        // The next open adds page 2 and shows it; an exact 3:4 image is scaled to the page.
        prompts().openAnswers << portrait;
        window->ouvririmageClick(window->ouvririmage);
        QCOMPARE(window->PageCount(), 2);
        QVERIFY(window->FindReportPage(2));
        QVERIFY(window->FindReportPage(2)->isVisible() || !window->isVisible());
        QCOMPARE(window->PageControl1->currentIndex(), 1);
        QCOMPARE(window->ActivePageImage(), image(2));
        QCOMPARE(image(2)->Picture().pixel(10, 10), colourPattern(1200, 1600).pixel(20, 20));
        QVERIFY(!image(2)->Stretch());
        QCOMPARE(window->PageControl1->tabText(1), QStringLiteral("2"));
    }

    // Three images in one run: the first two end full-page, the third is shown, not full-page.
    void severalDocumentsLoop() {
        window->multi->setChecked(false);
        prompts().openAnswers << small;
        window->ouvririmageClick(nullptr);
        const int n = window->PageCount();

        window->multi->setChecked(true);
        prompts().openAnswers << small << portrait << small;
        prompts().answer(true, QStringLiteral("Voulez-vous ouvrir une autre image?"));
        prompts().answer(true);
        prompts().answer(false);
        window->ouvririmageClick(nullptr);

        QCOMPARE(window->PageCount(), n + 3);
        QVERIFY(image(n + 1)->Stretch());
        QVERIFY(image(n + 2)->Stretch());
        QVERIFY(!image(n + 3)->Stretch());
        QCOMPARE(window->PageControl1->currentIndex(), n + 2);
        QVERIFY(!window->auto_->isChecked());
        QVERIFY(window->Zoom1->isEnabled());
        QCOMPARE(window->ZoomSource.Image(), image(n + 3)->Picture());
    }

    void cancelledDialogsChangeNothingButStillAsk() {
        window->multi->setChecked(true);
        prompts().openAnswers << QString() << QString();
        prompts().answer(true, QStringLiteral("Voulez-vous ouvrir une autre image?"));
        prompts().answer(false);
        window->ouvririmageClick(nullptr);
        QCOMPARE(prompts().openDialogs, 2);
        QCOMPARE(window->PageCount(), 1);
        QVERIFY(!window->FirstPageFilled);
        QVERIFY(!window->enregistrerimage->isEnabled());
    }

    void unreadableFileEndsTheCommandWithItsMessage() {
        window->multi->setChecked(false);
        prompts().openAnswers << broken;
        QVERIFY(!window->Guarded([&] { window->ouvririmageClick(nullptr); }));
        QVERIFY(!window->FirstPageFilled);
        const QStringList errors = prompts().texts(ScriptedPrompts::Kind::Error);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(QStringLiteral("n'est pas une image PNG lisible")),
                 qPrintable(errors.first()));

        // Once page 1 is filled, a failed open leaves its added page with an empty picture.
        prompts().openAnswers << small << broken;
        window->ouvririmageClick(nullptr);
        QVERIFY(!window->Guarded([&] { window->ouvririmageClick(nullptr); }));
        QCOMPARE(window->PageCount(), 2);
        QVERIFY(image(2)->Picture().isNull());
        QVERIFY(!window->FindReportPage(2)->isVisibleTo(window->FindReportPage(2)->parentWidget()));
    }
};

QTEST_MAIN(OpenTest)
#include "OpenCommandTest.moc"
