// Images named at start become pages as the open command makes them in series; an unreadable
// one shows its message and the next ones still open; prompts go back to the user afterwards.
#include "tests/app/ScriptedPrompts.h"

#include "app/commands/OpenAtStart.h"
#include "app/window/MainWindow.h"
#include "imaging/ImageEngine.h"
#include "report/PReport.h"
#include "tests/imaging/TestImages.h"

#include <QCheckBox>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

using velorix::Tvelorix_2;
using namespace velorix::testing;

class OpenAtStartTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString a, b, broken;

    // A window whose prompts answer from the start-up files first, as main() makes it.
    struct Started {
        std::shared_ptr<velorix::StartupFilePrompts> prompts;
        std::unique_ptr<Tvelorix_2> window;
        explicit Started(const TestServices& doubles)
            : prompts(std::make_shared<velorix::StartupFilePrompts>(doubles.prompts)) {
            velorix::Services services = doubles.services();
            services.prompts = prompts;
            window = std::make_unique<Tvelorix_2>(services);
        }
    };

private slots:
    void initTestCase() {
        a = dir.filePath("a.png");
        b = dir.filePath("b b.png");
        broken = dir.filePath("broken.png");
        velorix::imaging::TImageEngine engine;
        engine.Assign(colourPattern(400, 300));
        engine.SaveToFile(a);
        engine.Assign(colourPattern(600, 800));
        engine.SaveToFile(b);
        QVERIFY(writeAll(broken, "\x89PNG\r\n\x1a\nnot really"));
    }

    void filesBecomePagesAndTheSeriesAsksNothing() {
        TestServices doubles;
        Started started(doubles);
        Tvelorix_2& window = *started.window;
        velorix::StartupFilePrompts& prompts = *started.prompts;
        window.multi->setChecked(false); // the user's last state is given back afterwards

        velorix::OpenStartupImages(window, prompts, {a, broken, b});

        QVERIFY(window.FirstPageFilled);
        QCOMPARE(window.PageCount(), 3);
        QCOMPARE(window.FindPageImage(1)->Picture().size(), QSize(600, 800));
        QCOMPARE(window.FindPageImage(3)->Picture().size(), QSize(600, 800));
        QCOMPARE(maxChannelDifference(window.FindPageImage(3)->Picture(), colourPattern(600, 800)),
                 0);
        // The unreadable file's message reached the user once; no question was asked.
        QCOMPARE(doubles.prompts->texts(ScriptedPrompts::Kind::Error).size(), 1);
        QVERIFY(doubles.prompts->texts(ScriptedPrompts::Kind::Confirm).isEmpty());
        QVERIFY(!window.multi->isChecked());

        // Afterwards the open command asks the user again.
        doubles.prompts->answer(false, QStringLiteral("Voulez-vous ouvrir une autre image?"));
        window.multi->setChecked(true);
        window.ouvririmageClick(window.ouvririmage);
        QVERIFY(doubles.prompts->allAnswered());
        QCOMPARE(window.PageCount(), 3);
    }

    // Titled error boxes (the mail's "Erreur") and progress windows are the user's own too.
    void everyOtherPromptReachesTheWrappedOnes() {
        TestServices doubles;
        Started started(doubles);
        started.prompts->errorWithTitle(QStringLiteral("Erreur d'envoi du mail"),
                                        QStringLiteral("Erreur"));
        QCOMPARE(doubles.prompts->errorTitles, QStringList{QStringLiteral("Erreur")});
        started.prompts->progress(QStringLiteral("Création du PDF"), true)->setPage(1, 2);
        QCOMPARE(doubles.prompts->progressLog.pages, QStringList{QStringLiteral("Page 1 sur 2")});
    }

    void aMissingFirstFileLeavesPageOneForTheNext() {
        TestServices doubles;
        Started started(doubles);
        Tvelorix_2& window = *started.window;
        velorix::StartupFilePrompts& prompts = *started.prompts;

        velorix::OpenStartupImages(window, prompts, {dir.filePath("missing.png"), a});

        QCOMPARE(doubles.prompts->texts(ScriptedPrompts::Kind::Error).size(), 1);
        QVERIFY(window.FirstPageFilled);
        QCOMPARE(window.PageCount(), 1);
        QCOMPARE(window.FindPageImage(1)->Picture().pixel(100, 250),
                 colourPattern(400, 300).pixel(0, 0));
    }
};

QTEST_MAIN(OpenAtStartTest)
#include "OpenAtStartTest.moc"
