// The scan commands and the scanner choice with a scripted scanner and scripted answers.
#include "tests/app/ScriptedPrompts.h"
#include "tests/scan/FakeScanPlatform.h"

#include "app/window/ChangeDocumentPrompt.h"
#include "app/window/MainWindow.h"
#include "imaging/ImageDialogs.h"
#include "imaging/printing/Printing.h"
#include "report/PReport.h"
#include "scan/ScannerComponent.h"

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QPainter>
#include <QScrollBar>
#include <QSlider>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using velorix::Tvelorix_2;
namespace wia = velorix::scan::wia;

namespace {

class ScanPrompts : public ScriptedPrompts {
public:
    int dialogs = 0;
    QStringList proposed;    // file names the save dialog proposed
    QString saveFolder;      // where confirmed saves go
    QList<bool> saveAnswers; // per dialog: confirm or cancel (default confirm)

    int execDialog(QDialog& dialog) override {
        ++dialogs;
        if (dialog.objectName() != QStringLiteral("changerdoc"))
            QTest::qFail("unexpected dialog", __FILE__, __LINE__);
        return QDialog::Accepted;
    }
    bool saveImage(velorix::imaging::TSaveImageDialog& dialog) override {
        proposed << dialog.FileName;
        const bool yes = saveAnswers.isEmpty() ? true : saveAnswers.takeFirst();
        if (yes)
            dialog.FileName =
                saveFolder + QLatin1Char('/') + dialog.FileName + QStringLiteral(".png");
        return yes;
    }
};

// Records each job's picture size.
class RecordingPrinter : public velorix::printing::IPrinter {
public:
    QList<QSize> jobs;
    QString name() const override { return QStringLiteral("test"); }
    bool setup(QWidget*) override { return true; }
    std::unique_ptr<velorix::printing::IPrintJob> beginJob(const QString&) override {
        struct Job : velorix::printing::IPrintJob {
            QList<QSize>& jobs;
            explicit Job(QList<QSize>& j) : jobs(j) {}
            int dpiX() const override { return 600; }
            int dpiY() const override { return 600; }
            QRectF printableArea() const override { return {0, 0, 595, 842}; }
            void stretchDraw(const QRect&, const QImage& picture) override {
                jobs << picture.size();
            }
            void end() override {}
        };
        return std::make_unique<Job>(jobs);
    }
};

QString kAnother = QStringLiteral("Voulez-vous scanner un autre document?");
QString kTurnOver =
    QStringLiteral("Retournez la pile et remettez-la dans le scanner pour scanner les versos.");

// A page of about 72 dpi as a BMP file: blank paper, or paper with one short line on it.
std::vector<std::uint8_t> PageBmp(bool written) {
    QImage page(600, 850, QImage::Format_RGB888);
    page.fill(QColor(240, 240, 236));
    if (written) {
        QPainter p(&page);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QPointF(300, 700), QStringLiteral("Lu et approuvé"));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    page.save(&buffer, "BMP");
    return {bytes.begin(), bytes.end()};
}

} // namespace

class ScanCommandTest : public QObject {
    Q_OBJECT

    std::shared_ptr<fake::Script> script;
    std::shared_ptr<ScanPrompts> prompts;
    std::shared_ptr<MemorySettings> settings;
    std::shared_ptr<RecordingShell> shell;
    std::unique_ptr<Tvelorix_2> window;
    std::shared_ptr<RecordingPrinter> printer;

    void make(bool listInBackground = false) {
        velorix::Services s;
        s.listScannersInBackground = listInBackground;
        s.prompts = prompts;
        s.settings = settings;
        s.shell = shell;
        s.clock = [] { return QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)); };
        s.scanner = fake::MakePlatform(script);
        s.printer = printer;
        window = std::make_unique<Tvelorix_2>(s);
    }
    // Two scanners, the first chosen in an earlier run.
    void makeReady() {
        script->devices = {fake::StandardScanner("Scanner A"), fake::StandardScanner("Scanner B")};
        script->bytes = fake::SmallBmp(40, 30);
        settings->exists = true;
        settings->values[QStringLiteral("Scanner")] = QStringLiteral("0");
        make();
        window->FormShow(window.get());
    }
    int transfers() const {
        return int(std::count(script->log.begin(), script->log.end(), "transfer"));
    }

private slots:
    void init() {
        script = std::make_shared<fake::Script>();
        prompts = std::make_shared<ScanPrompts>();
        settings = std::make_shared<MemorySettings>();
        shell = std::make_shared<RecordingShell>();
        printer = std::make_shared<RecordingPrinter>();
    }
    void cleanup() { window.reset(); }
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void slowDeviceListFillsInTheBackground() {
        script->devices = {fake::StandardScanner("Scanner A"), fake::StandardScanner("Scanner B")};
        script->bytes = fake::SmallBmp(40, 30);
        settings->exists = true;
        settings->values[QStringLiteral("Scanner")] = QStringLiteral("1");

        // A backend that takes 5 s: the window shows at once, the combo says it is searching.
        script->listDelayMs = 5000;
        QElapsedTimer clock;
        clock.start();
        make(true);
        window->show();
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(window->cbDevice->count(), 0);
        QCOMPARE(window->cbDevice->placeholderText(), QStringLiteral("Recherche des scanners…"));
        QVERIFY(window->WIA->palette().color(QPalette::Window) != QColor(0, 128, 0));
        // A scan clicked now waits for the list, then scans with the stored choice.
        window->multi->setChecked(false);
        window->btnScanClick(nullptr);
        QCOMPARE(window->cbDevice->count(), 2);
        QCOMPARE(window->cbDevice->currentText(), QStringLiteral("Scanner B"));
        QCOMPARE(window->WIA->palette().color(QPalette::Window), QColor(0, 128, 0));
        QCOMPARE(transfers(), 1);
        QVERIFY(window->FirstPageFilled);
        QVERIFY(window->cbDevice->placeholderText().isEmpty());

        // Arriving while the window waits for nothing: list, lamp and stored choice apply then.
        window.reset();
        script->listDelayMs = 300;
        make(true);
        window->show();
        QTRY_COMPARE_WITH_TIMEOUT(window->cbDevice->count(), 2, 10000);
        QCOMPARE(window->cbDevice->currentIndex(), 1);
        QCOMPARE(window->WIA->palette().color(QPalette::Window), QColor(0, 128, 0));
        QCOMPARE(QString::fromStdString(window->WIAScan->SelectedDevice()),
                 QStringLiteral("Scanner B"));
    }

    void showFillsTheListLampAndStoredChoice() {
        makeReady();
        QCOMPARE(window->cbDevice->count(), 2);
        QCOMPARE(window->cbDevice->currentIndex(), 0);
        QCOMPARE(window->WIA->palette().color(QPalette::Window), QColor(0, 128, 0));
        QCOMPARE(QString::fromStdString(window->WIAScan->SelectedDevice()),
                 QStringLiteral("Scanner A"));

        // Second run after choosing the second scanner.
        window.reset();
        settings->values[QStringLiteral("Scanner")] = QStringLiteral("1");
        make();
        window->FormShow(window.get());
        QCOMPARE(window->cbDevice->currentIndex(), 1);
        QCOMPARE(QString::fromStdString(window->WIAScan->SelectedDevice()),
                 QStringLiteral("Scanner B"));
        QVERIFY(window->WIAScan->Connected());

        // The stored name wins over a place that now holds another scanner, and both are
        // written back as they stand.
        window.reset();
        settings->values[QStringLiteral("Scanner")] = QStringLiteral("0");
        settings->values[velorix::kScannerNameSetting] = QStringLiteral("Scanner B");
        make();
        window->FormShow(window.get());
        QCOMPARE(window->cbDevice->currentIndex(), 1);
        QCOMPARE(QString::fromStdString(window->WIAScan->SelectedDevice()),
                 QStringLiteral("Scanner B"));
        window->close();
        QCOMPARE(settings->values[QStringLiteral("Scanner")], QStringLiteral("1"));
        QCOMPARE(settings->values[velorix::kScannerNameSetting], QStringLiteral("Scanner B"));
        settings->values.remove(velorix::kScannerNameSetting);

        // A stored index beyond the list selects nothing.
        window.reset();
        settings->values[QStringLiteral("Scanner")] = QStringLiteral("5");
        make();
        window->FormShow(window.get());
        QCOMPARE(window->cbDevice->currentIndex(), -1);
        QVERIFY(!window->WIAScan->Connected());
    }

    void showWithoutScannerAccessOrKey() {
        script->failManager = true;
        settings->exists = true;
        settings->values[QStringLiteral("Scanner")] = QStringLiteral("0");
        make();
        window->FormShow(window.get());
        QCOMPARE(window->WIA->palette().color(QPalette::Window), QColor(255, 0, 0));
        QCOMPARE(window->cbDevice->currentIndex(), -1);

        // First run: nothing chosen, and the first scan says so without asking anything.
        window.reset();
        script->failManager = false;
        script->devices = {fake::StandardScanner("Scanner A")};
        settings->exists = false;
        make();
        window->FormShow(window.get());
        QCOMPARE(window->cbDevice->currentIndex(), -1);
        QVERIFY(!window->Guarded([&] { window->btnScanClick(window->scanner); }));
        QCOMPARE(prompts->texts(ScriptedPrompts::Kind::Error),
                 QStringList{QStringLiteral("Aucun périphérique sélectionné.")});
        QCOMPARE(window->PageCount(), 1);
        QVERIFY(!window->FirstPageFilled);

        // Picking the entry connects it.
        window->cbDevice->setCurrentIndex(0);
        window->cbDeviceChange(window->cbDevice);
        QVERIFY(window->WIAScan->Connected());
    }

    void storedScannerNoLongerAttached() {
        script->devices = {fake::StandardScanner("Scanner A")};
        settings->exists = true;
        settings->values[QStringLiteral("Scanner")] = QStringLiteral("0");
        make();
        script->devices[0].name = "Scanner Z"; // unplugged and replaced after the listing
        QVERIFY(!window->Guarded([&] { window->FormShow(window.get()); }));
        QCOMPARE(prompts->texts(ScriptedPrompts::Kind::Error),
                 QStringList{QStringLiteral(
                     "Périphérique WIA \"Scanner A\" non trouvé.\rBranchez le Scanner.")});
    }

    void singleScansFillPageOneThenAddPages() {
        makeReady();
        window->multi->setChecked(false);
        window->contrast->setValue(-110);
        script->devices[0].data->item.props[wia::IPS_BRIGHTNESS] = fake::Prop{std::int32_t{0}};
        window->btnScanClick(window->scanner);
        QVERIFY(window->FirstPageFilled);
        QCOMPARE(window->PageCount(), 1);
        QCOMPARE(window->PRImage1->Picture().size(), QSize(40, 30));
        QVERIFY(window->auto_->isChecked());
        QVERIFY(window->imprimer->isEnabled());
        QVERIFY(std::find(script->log.begin(), script->log.end(), "item 6154=-100") !=
                script->log.end());
        QVERIFY(std::find(script->log.begin(), script->log.end(), "item 6147=75") !=
                script->log.end());
        QVERIFY(prompts->seen.isEmpty());

        script->bytes = fake::SmallBmp(20, 10);
        window->btnScanClick(window->scanner);
        QCOMPARE(window->PageCount(), 2);
        QCOMPARE(window->PageControl1->currentIndex(), 1);
        QCOMPARE(window->PageControl1->widget(1)->objectName(), QStringLiteral("TabeSheet2"));
        QCOMPARE(window->FindPageImage(2)->Picture().size(), QSize(20, 10));
        QCOMPARE(window->ZoomSource.size(), QSize(20, 10));
    }

    void loopAddsPagesAndShowsPageOne() {
        makeReady();
        prompts->answer(true, kAnother);
        prompts->answer(true, kAnother);
        prompts->answer(false, kAnother);
        window->btnScanClick(window->scanner);
        QVERIFY(prompts->allAnswered());
        QCOMPARE(prompts->dialogs, 2);
        QCOMPARE(window->PageCount(), 3);
        QCOMPARE(transfers(), 3);
        QCOMPARE(window->PageControl1->currentIndex(), 0);
        QVERIFY(window->FindReportPage(3)->isVisibleTo(window->FindReportPage(3)->parentWidget()));
        QCOMPARE(window->ZoomSource.size(), window->PRImage1->Picture().size());
    }

    void cancelledTransferLeavesAnEmptyTab() {
        makeReady();
        script->nextOutcomes = {fake::Outcome::Image, fake::Outcome::Cancel, fake::Outcome::Error,
                                fake::Outcome::Image};
        for (int i = 0; i < 3; ++i)
            prompts->answer(true, kAnother);
        prompts->answer(false, kAnother);
        window->btnScanClick(window->scanner);
        QVERIFY(prompts->allAnswered());
        QCOMPARE(window->PageCount(), 4);
        QVERIFY(window->FindPageImage(2)->Picture().isNull());
        QVERIFY(window->FindPageImage(3)->Picture().isNull());
        QCOMPARE(window->PageControl1->tabText(3), QStringLiteral("4"));
        QVERIFY(!window->FindPageImage(4)->Picture().isNull());
        QCOMPARE(prompts->texts(ScriptedPrompts::Kind::Inform),
                 (QStringList{QStringLiteral("Scanning annulé"),
                              QStringLiteral("Erreur pendant le scanning")}));
    }

    void failedFirstScanKeepsThePlaceholder() {
        makeReady();
        window->multi->setChecked(false);
        script->outcome = fake::Outcome::Cancel;
        window->btnScanClick(window->scanner);
        QVERIFY(!window->FirstPageFilled);
        QCOMPARE(window->PageCount(), 1);
        QVERIFY(!window->imprimer->isEnabled());
        script->outcome = fake::Outcome::Image;
        window->btnScanClick(window->scanner);
        QVERIFY(window->FirstPageFilled);
        QCOMPARE(window->PageCount(), 1);
    }

    // A page of the series lands apart from a single scan's: it neither fills page 1 nor enables
    // the page commands, and the view ends on page 1.
    void seriesPageAfterAFailedFirstScan() {
        makeReady();
        script->nextOutcomes = {fake::Outcome::Cancel, fake::Outcome::Image};
        const QImage placeholder = window->PRImage1->Picture();
        prompts->answer(true, kAnother);
        prompts->answer(false, kAnother);
        window->btnScanClick(window->scanner);
        QVERIFY(prompts->allAnswered());
        QCOMPARE(window->PageCount(), 2);
        QVERIFY(!window->FirstPageFilled);
        QCOMPARE(window->PRImage1->Picture(), placeholder);
        QCOMPARE(window->FindPageImage(2)->Picture().size(), QSize(40, 30));
        QVERIFY(!window->imprimer->isEnabled());
        QCOMPARE(window->PageControl1->currentIndex(), 0);
        QVERIFY(window->FindReportPage(2)->isVisibleTo(window->FindReportPage(2)->parentWidget()));
    }

    void resolutionBox() {
        makeReady();
        window->multi->setChecked(false);
        for (const char* bad : {"abc", "", "12.5", "-300", "0"}) {
            prompts->seen.clear();
            window->res->setEditText(QString::fromLatin1(bad));
            QVERIFY(!window->Guarded([&] { window->btnScanClick(window->scanner); }));
            QCOMPARE(prompts->seen.size(), 1);
            QVERIFY(prompts->seen[0].text.startsWith(QStringLiteral("Résolution non valide")));
        }
        QCOMPARE(transfers(), 0);
        window->res->setEditText(QStringLiteral(" 300 "));
        window->btnScanClick(window->scanner);
        QVERIFY(std::find(script->log.begin(), script->log.end(), "item 6147=300") !=
                script->log.end());
        QCOMPARE(transfers(), 1);
    }

    // "Echelle de Gris" is read at every scan and reaches the device as data type, intent and
    // depth; unchecking it again brings colour back.
    void greyScaleBoxReachesEveryScan() {
        makeReady();
        window->multi->setChecked(false);
        const auto lastWrite = [&](int id) {
            const std::string prefix = "item " + std::to_string(id) + "=";
            for (auto it = script->log.rbegin(); it != script->log.rend(); ++it)
                if (it->rfind(prefix, 0) == 0)
                    return it->substr(prefix.size());
            return std::string("none");
        };
        window->cbGrayscale->setChecked(true);
        window->btnScanClick(window->scanner);
        QCOMPARE(transfers(), 1);
        QCOMPARE(lastWrite(wia::IPA_DATATYPE), std::string("2"));
        QCOMPARE(lastWrite(wia::IPS_CUR_INTENT), std::string("2"));
        QCOMPARE(lastWrite(wia::IPA_DEPTH), std::string("8"));

        window->cbGrayscale->setChecked(false);
        window->btnScanClick(window->scanner);
        QCOMPARE(transfers(), 2);
        QCOMPARE(lastWrite(wia::IPA_DATATYPE), std::string("3"));
        QCOMPARE(lastWrite(wia::IPS_CUR_INTENT), std::string("1"));
        QCOMPARE(lastWrite(wia::IPA_DEPTH), std::string("24"));
    }

    void scanAndSaveProposesCaptureNames() {
        QTemporaryDir dir;
        prompts->saveFolder = dir.path();
        makeReady();
        // Two pictures, then a cancelled third page: an empty page is not offered for saving.
        script->nextOutcomes = {fake::Outcome::Image, fake::Outcome::Image, fake::Outcome::Cancel};
        prompts->answer(true, kAnother);
        prompts->answer(true, kAnother);
        prompts->answer(false, kAnother);
        QFile existing(dir.filePath(QStringLiteral("capture2.png")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("old");
        existing.close();
        prompts->answer(false, QStringLiteral("Le fichier existe déjà. Voulez-vous le remplacer?"));
        window->scannerenregistrerClick(window->scannerenregistrer);
        QVERIFY(prompts->allAnswered());
        QCOMPARE(prompts->proposed,
                 (QStringList{QStringLiteral("capture1"), QStringLiteral("capture2")}));
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("capture1.png"))).size() > 0);
        QFile kept(dir.filePath(QStringLiteral("capture2.png")));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("old"));
    }

    void scanAndPrintPrintsEachPageAsAJob() {
        makeReady();
        script->nextOutcomes = {fake::Outcome::Image, fake::Outcome::Cancel, fake::Outcome::Image};
        script->bytes = fake::SmallBmp(40, 30);
        prompts->answer(true, kAnother);
        prompts->answer(true, kAnother);
        prompts->answer(false, kAnother);
        window->scannerimprimerClick(window->scannerimprimer);
        // Pages 1 and 3; the empty page 2 wastes no sheet.
        QCOMPARE(window->PageCount(), 3);
        QCOMPARE(printer->jobs, (QList<QSize>{QSize(40, 30), QSize(40, 30)}));
    }

    void scanAndEditWritesWhatTheNameSays() {
        makeReady();
        window->multi->setChecked(false);
        window->scannermodifierClick(window->scannermodifier);
        QCOMPARE(shell->opened.size(), 1);
        const QString jpg = shell->opened[0].toLocalFile();
        QVERIFY(jpg.endsWith(QStringLiteral("/temp.jpg")));
        QVERIFY(jpg.startsWith(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)));
        QFile j(jpg);
        QVERIFY(j.open(QIODevice::ReadOnly));
        QCOMPARE(j.read(2), QByteArray("\xff\xd8"));

        window->scannermodifierClick(window->scannermodifier); // page 2 becomes active
        QCOMPARE(shell->opened.size(), 2);
        QFile b(shell->opened[1].toLocalFile());
        QVERIFY(b.fileName().endsWith(QStringLiteral("/temp.bmp")));
        QVERIFY(b.open(QIODevice::ReadOnly));
        QCOMPARE(b.read(2), QByteArray("BM"));
    }

    // The format is the scan area from the bed's corner, within the bed; "Vitre entière" the
    // whole bed.
    void formatSetsTheAreaFromTheCorner() {
        makeReady();
        window->multi->setChecked(false);
        auto wrote = [this](const char* entry) {
            return std::find(script->log.begin(), script->log.end(), entry) != script->log.end();
        };
        window->ChoosePaper(velorix::scan::PaperSize::A5);
        window->btnScanClick(window->scanner);
        QVERIFY(wrote("item 6149=0") && wrote("item 6150=0"));
        QVERIFY(wrote("item 6151=437") && wrote("item 6152=620")); // 148 x 210 mm at 75 dpi
        script->log.clear();
        window->ChoosePaper(velorix::scan::PaperSize::Legal); // longer than the bed
        window->btnScanClick(window->scanner);
        QVERIFY(wrote("item 6151=637") && wrote("item 6152=876"));
        script->log.clear();
        window->ChoosePaper(velorix::scan::PaperSize::Bed);
        window->btnScanClick(window->scanner);
        QVERIFY(wrote("item 6151=637") && wrote("item 6152=876"));
    }

    // With "Ignorer les pages blanches", a blank side leaves no page and no gap in the numbers.
    void blankSidesAreDropped() {
        makeReady();
        window->SetSkipBlankPages(true);
        script->nextPages = {PageBmp(true), PageBmp(false), PageBmp(false), PageBmp(true)};
        for (int i = 0; i < 3; ++i)
            prompts->answer(true, kAnother);
        prompts->answer(false, kAnother);
        window->btnScanClick(window->scanner);
        QVERIFY(prompts->allAnswered());
        QCOMPARE(transfers(), 4);
        QCOMPARE(window->PageCount(), 2);
        QVERIFY(window->FirstPageFilled);
        QVERIFY(!window->FindPageImage(2)->Picture().isNull());
        QCOMPARE(window->PageControl1->tabText(1), QStringLiteral("2"));
        QCOMPARE(prompts->texts(ScriptedPrompts::Kind::Inform).size(), 2);
        // Off: every side is a page.
        window->SetSkipBlankPages(false);
        window->multi->setChecked(false);
        script->nextPages = {PageBmp(false)};
        window->btnScanClick(window->scanner);
        QCOMPARE(window->PageCount(), 3);
    }

    // Fronts 1 3 5, the stack turned over, backs 6 4 2: the pages read 1 to 6. Pages are told
    // apart by their heights.
    void manualDuplexInterleaves() {
        makeReady();
        script->nextPages = {fake::SmallBmp(10, 1), fake::SmallBmp(10, 3), fake::SmallBmp(10, 5),
                             fake::SmallBmp(10, 6), fake::SmallBmp(10, 4), fake::SmallBmp(10, 2)};
        for (int pass = 0; pass < 2; ++pass) {
            prompts->answer(true, kAnother);
            prompts->answer(true, kAnother);
            prompts->answer(false, kAnother);
            if (pass == 0)
                prompts->answer(true, kTurnOver);
        }
        window->RectoVersoManuel1Click(window->RectoVersoManuel1);
        QVERIFY(prompts->allAnswered());
        QCOMPARE(window->PageCount(), 6);
        for (int n = 1; n <= 6; ++n)
            QCOMPARE(window->FindPageImage(n)->Picture().height(), n);

        // Two fronts, one back: told, and both halves kept as scanned.
        script->nextPages = {fake::SmallBmp(10, 7), fake::SmallBmp(10, 8), fake::SmallBmp(10, 9)};
        prompts->answer(true, kAnother);
        prompts->answer(false, kAnother);
        prompts->answer(true, kTurnOver);
        prompts->answer(false, kAnother);
        window->RectoVersoManuel1Click(window->RectoVersoManuel1);
        QVERIFY(prompts->allAnswered());
        QCOMPARE(window->PageCount(), 9);
        for (int n = 7; n <= 9; ++n)
            QCOMPARE(window->FindPageImage(n)->Picture().height(), n);
        QVERIFY(prompts->texts(ScriptedPrompts::Kind::Inform)
                    .contains(QStringLiteral("1 versos pour 2 rectos : les pages restent dans "
                                             "l'ordre où elles ont été scannées.")));
    }

    void refusedSettingsShowTheComponentsMessage() {
        makeReady();
        window->multi->setChecked(false);
        script->devices[0].data->item.props[wia::IPS_XRES].failSet = true;
        window->btnScanClick(window->scanner);
        QCOMPARE(prompts->texts(ScriptedPrompts::Kind::Error).size(), 1);
        QVERIFY(prompts->texts(ScriptedPrompts::Kind::Error)[0].startsWith(
            QStringLiteral("Résolution DPI 75 ")));
        QVERIFY(!window->FirstPageFilled);
        QCOMPARE(transfers(), 0);
    }
};

QTEST_MAIN(ScanCommandTest)
#include "ScanCommandsTest.moc"
