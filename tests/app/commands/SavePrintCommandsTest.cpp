// Saving and printing the active page, the replace question, printer setup and the menu entries
// that run the same commands.
#include "tests/app/ImagePrompts.h"

#include "app/window/MainWindow.h"
#include "report/PReport.h"
#include "tests/imaging/RenderSupport.h"
#include "tests/imaging/TestImages.h"

#include <QAction>
#include <QCheckBox>
#include <QtTest>

using velorix::Tvelorix_2;
using namespace velorix::testing;

namespace {

// A printer that keeps the size of every picture drawn on it.
class RecordingPrinter : public velorix::printing::IPrinter {
public:
    QList<QSize> drawn;

    QString name() const override { return QStringLiteral("recording"); }
    std::unique_ptr<velorix::printing::IPrintJob> beginJob(const QString&) override {
        return std::make_unique<Job>(drawn);
    }
    bool setup(QWidget*) override { return false; }

private:
    class Job : public velorix::printing::IPrintJob {
    public:
        explicit Job(QList<QSize>& drawn) : drawn_(drawn) {}
        int dpiX() const override { return 96; }
        int dpiY() const override { return 96; }
        QRectF printableArea() const override { return QRectF(0, 0, 595, 842); }
        void stretchDraw(const QRect&, const QImage& picture) override {
            drawn_.append(picture.size());
        }
        void end() override {}

    private:
        QList<QSize>& drawn_;
    };
};

} // namespace

class SavePrintTest : public QObject {
    Q_OBJECT

    ImageTestServices doubles;
    std::unique_ptr<Tvelorix_2> window;
    std::unique_ptr<QTemporaryDir> dir;

    ImagePrompts& prompts() { return *doubles.images; }

    // Page 1 holds a red 600 x 800 picture with a blue band on top.
    void openRedPage() {
        QImage red = solid(600, 800, Qt::red);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 600; ++x)
                red.setPixel(x, y, qRgb(0, 0, 255));
        velorix::imaging::TImageEngine engine;
        engine.Assign(red);
        engine.SaveToFile(dir->filePath("red.png"));
        window->multi->setChecked(false);
        prompts().openAnswers << dir->filePath("red.png");
        window->ouvririmageClick(nullptr);
        QCOMPARE(window->ActivePageImage()->Picture(), red.convertToFormat(QImage::Format_RGB32));
    }
    QImage load(const QString& name) {
        velorix::imaging::TImageEngine engine;
        engine.LoadFromFile(name);
        return engine.Bitmap();
    }

private slots:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        doubles = ImageTestServices();
        window = std::make_unique<Tvelorix_2>(doubles.services());
        openRedPage();
    }
    void cleanup() {
        QVERIFY2(prompts().allAnswered(), "questions left unanswered");
        window.reset();
    }

    void savesTheActivePageByItsExtension() {
        const QString name = dir->filePath("page.PNG");
        prompts().saveAnswers << name;
        window->enregistrerimageClick(nullptr);
        QCOMPARE(prompts().savePreview.size(), QSize(600, 800));
        QVERIFY(readAll(name).startsWith("\x89PNG"));
        QCOMPARE(load(name), window->ActivePageImage()->Picture());

        // The OS/2 type chosen in the dialog gives an OS/2 bitmap.
        prompts().saveAnswers << dir->filePath("page.bmp");
        prompts().saveType = 6;
        window->enregistrerimageClick(nullptr);
        QCOMPARE(int(readAll(dir->filePath("page.bmp"))[14]), 12);

        // Cancelled: nothing is written, nothing asked.
        prompts().saveAnswers << QString();
        window->enregistrerimageClick(nullptr);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files).size(), 3);
    }

    void existingFileIsReplacedOnlyOnYes() {
        const QString name = dir->filePath("old.jpg");
        QVERIFY(writeAll(name, "previous content"));
        prompts().saveAnswers << name;
        prompts().answer(false,
                         QStringLiteral("Le fichier existe déjà. Voulez-vous le remplacer?"));
        window->enregistrerimageClick(nullptr);
        QCOMPARE(readAll(name), QByteArray("previous content"));
        QCOMPARE(prompts().saveDialogs, 1); // no second dialog after No

        prompts().saveAnswers << name;
        prompts().answer(true, QStringLiteral("Le fichier existe déjà. Voulez-vous le remplacer?"));
        window->enregistrerimageClick(nullptr);
        QVERIFY(readAll(name).startsWith("\xff\xd8"));
        QCOMPARE(load(name).size(), QSize(600, 800));
    }

    // A zoomed page is saved and printed at its enlarged size.
    void zoomedPageSavesAndPrintsEnlarged() {
        window->SetZoomPosition(200);
        const QString name = dir->filePath("zoomed.png");
        prompts().saveAnswers << name;
        window->enregistrerimageClick(nullptr);
        QCOMPARE(prompts().savePreview.size(), QSize(800, 1000));
        QCOMPARE(load(name), window->ActivePageImage()->Picture());
        QCOMPARE(load(name).size(), QSize(800, 1000));

        window->SetZoomPosition(300);
        auto printer = std::make_shared<RecordingPrinter>();
        window->services().printer = printer;
        window->imprimerClick(nullptr);
        QCOMPARE(printer->drawn, QList<QSize>{QSize(900, 1100)});
    }

    void menuEntriesRunSaveAndPrint() {
        QVERIFY(window->ENREGISTRERLIMAGE1->isEnabled());
        prompts().saveAnswers << QString();
        window->ENREGISTRERLIMAGE1->trigger();
        QCOMPARE(prompts().saveDialogs, 1);

        // No printer: the message comes in the error box.
        QVERIFY(window->Imprimerlimage1->isEnabled());
        window->Imprimerlimage1->trigger();
        QCOMPARE(prompts().texts(ScriptedPrompts::Kind::Error),
                 QStringList{QStringLiteral("Aucune imprimante par défaut sélectionnée")});

        window->Configurerlimprimante1->trigger();
        QCOMPARE(prompts().printerSetups, 1);
    }

    // On a 600-dpi printer writing PDF, the page lands at the printable area's corner, 8.2 x 11.2
    // inches at the window's 96 pixels per inch.
    void printsOnTheCurrentPrinter() {
        if (!havePdfRenderer())
            QSKIP("pdftoppm (poppler-utils) is not installed");
        if (window->logicalDpiX() != 96 || window->logicalDpiY() != 96)
            QSKIP("the screen's logical resolution is not 96 here");
        const QString pdf = dir->filePath("printed.pdf");
        window->services().printer =
            velorix::printing::makePdfPrinter(pdf, 600, 5.0, QPageSize::A3);
        window->imprimerClick(nullptr);
        window->services().printer.reset(); // ends the PDF file
        const QImage sheet = renderFirstPage(pdf, 50, dir->path());
        QVERIFY(!sheet.isNull());
        const QRect red = redBox(sheet);
        const double margin = 5.0 / 25.4 * 50;
        // The blue band is on top: red starts 40 picture rows lower (40 * 6 printer pixels).
        QVERIFY2(std::abs(red.left() - margin) <= 1.5, qPrintable(QString::number(red.left())));
        QVERIFY2(std::abs(red.top() - (margin + 40.0 * 1120 / 800 * 6 / 600 * 50)) <= 2,
                 qPrintable(QString::number(red.top())));
        QVERIFY2(std::abs(red.width() - 8.2 * 50) <= 1.5, qPrintable(QString::number(red.width())));
        QVERIFY2(std::abs(red.bottom() + 1 - margin - 11.2 * 50) <= 1.5,
                 qPrintable(QString::number(red.bottom())));
    }
};

QTEST_MAIN(SavePrintTest)
#include "SavePrintCommandsTest.moc"
