// "SCANNER VERS PDF", "SCANNER VERS MAIL", "IMAGE VERS MAIL" and the page-print handler, with a
// scripted scanner, a recording mail client and the PDF read back.
#include "tests/app/ImagePrompts.h"
#include "tests/capture/OverlayDriver.h"
#include "tests/mail/MailFakes.h"
#include "tests/scan/FakeScanPlatform.h"

#include "app/commands/PdfMail.h"
#include "app/platform/Shell.h"
#include "app/window/MainWindow.h"
#include "capture/CaptureRectForm.h"
#include "capture/ScreenCapture.h"
#include "mail/MailPlatform.h"
#include "report/PReport.h"
#include "workpool/WorkPool.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <atomic>
#include <future>
#include <optional>

using velorix::Tvelorix_2;

namespace {

class CommandPrompts : public ImagePrompts {
public:
    QStringList titledErrors;
    int execDialog(QDialog&) override { return QDialog::Accepted; }
    void errorWithTitle(const QString& text, const QString& title) override {
        titledErrors << title + "|" + text;
        error(text);
    }
};

// Keeps each request and the bytes of its first attachment as they were at the hand-over.
class RecordingMail : public velorix::mail::MailPlatform {
public:
    struct Sent {
        std::vector<std::string> lines;
        QByteArray pdf;
    };
    QList<Sent> sent;
    bool ok = true;

    bool available() const override { return true; }
    velorix::mail::HandOverResult handOver(const velorix::mail::TMailRequest& request,
                                           std::uintptr_t) override {
        QFile file(QString::fromStdString(request.Value("attachment0")));
        file.open(QIODevice::ReadOnly);
        sent << Sent{request.Lines(), file.readAll()};
        return {ok, ok ? QString() : QStringLiteral("refusé"), false};
    }
};

// The screen as a fixed picture; runs the test's probe when it is frozen.
class ProbedScreen final : public velorix::capture::IScreenGrab {
public:
    std::function<void()> onGrab;
    QString Name() const override { return QStringLiteral("fake"); }
    std::optional<velorix::capture::DesktopPicture> GrabDesktop(const QString&) override {
        if (onGrab)
            onGrab();
        const QImage screen = overlay::distinctPicture(400, 300);
        return velorix::capture::DesktopPicture{{QRect(QPoint(0, 0), screen.size()), screen}};
    }
};

// What the tests read back from a PDF: its pages in order, the width of each page's picture
// and the page the document opens at (0: none).
struct PdfFacts {
    int pages = 0;
    QList<int> widths;
    int openPage = 0;
};

PdfFacts readPdf(const QByteArray& pdf) {
    PdfFacts facts;
    const QString text = QString::fromLatin1(pdf);
    const QRegularExpression kids(QStringLiteral("/Kids \\[([^\\]]*)\\]"));
    QStringList pageRefs;
    for (const QString& ref : kids.match(text).captured(1).split(QStringLiteral(" R"))) {
        if (!ref.trimmed().isEmpty())
            pageRefs << ref.trimmed();
    }
    facts.pages = static_cast<int>(pageRefs.size());
    QRegularExpressionMatchIterator it =
        QRegularExpression(QStringLiteral("/Width (\\d+)")).globalMatch(text);
    while (it.hasNext())
        facts.widths << it.next().captured(1).toInt();
    const QRegularExpressionMatch open =
        QRegularExpression(QStringLiteral("/OpenAction \\[(\\d+ \\d+) R /XYZ -1 810 1 \\]"))
            .match(text);
    if (open.hasMatch())
        facts.openPage = static_cast<int>(pageRefs.indexOf(open.captured(1))) + 1;
    return facts;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString kAnother = QStringLiteral("Voulez-vous scanner un autre document?");

// Keeps every worker of the shared compression pool busy until released, so that page streams
// stay pending for as long as a test needs.
class BlockedPool {
public:
    BlockedPool() {
        auto& pool = pdfwork::TWorkPool::Shared();
        for (int i = 0; i < pool.ThreadCount(); ++i)
            pool.Post([gate = gate_] { gate->wait(); });
    }
    ~BlockedPool() { release(); }
    void release() {
        if (!released_.exchange(true))
            release_.set_value();
    }

private:
    std::promise<void> release_;
    std::shared_ptr<std::shared_future<void>> gate_ =
        std::make_shared<std::shared_future<void>>(release_.get_future().share());
    std::atomic<bool> released_{false};
};

} // namespace

class PdfMailCommandsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp_;
    std::shared_ptr<fake::Script> script;
    std::shared_ptr<CommandPrompts> prompts;
    std::shared_ptr<RecordingShell> shell;
    std::shared_ptr<RecordingMail> mail;
    std::unique_ptr<Tvelorix_2> window;
    QString pdfPath;
    bool listInBackground = false;
    std::shared_ptr<ProbedScreen> screen;
    std::shared_ptr<velorix::mail::MailPlatform> mailPlatform; // the recording one when null

    void make(std::shared_ptr<velorix::Shell> withShell = {}) {
        auto settings = std::make_shared<MemorySettings>();
        settings->exists = true;
        settings->values[QStringLiteral("Scanner")] = QStringLiteral("0");
        velorix::Services s;
        s.prompts = prompts;
        s.settings = settings;
        s.shell = withShell ? withShell : shell;
        s.mail = mailPlatform ? mailPlatform : mail;
        s.screen = screen;
        s.listScannersInBackground = listInBackground;
        s.clock = [] { return QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)); };
        s.scanner = fake::MakePlatform(script);
        window = std::make_unique<Tvelorix_2>(s);
        window->PReport1->SetFileName(pdfPath);
        window->FormShow(window.get());
        window->multi->setChecked(false);
    }
    // One scan whose picture is `width` pixels wide, so each page is known in the PDF.
    void scan(int width) {
        script->bytes = fake::SmallBmp(width, 30);
        window->btnScanClick(window->scanner);
    }
    void openImage(int width) {
        const QString path = tmp_->filePath(QStringLiteral("open%1.png").arg(width));
        QImage image(width, 20, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(path));
        prompts->openAnswers.enqueue(path);
        window->ouvririmageClick(window->ouvririmage);
    }
    // A picture that compresses badly: its lossless PDF is large.
    void openNoise() {
        const QString path = tmp_->filePath(QStringLiteral("noise.png"));
        QImage noise(600, 800, QImage::Format_RGB32);
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                noise.setPixel(x, y,
                               qRgb((x * 37 + y * 11) % 256, (x * y) % 251, (x + y * 7) % 256));
        QVERIFY(noise.save(path));
        prompts->openAnswers.enqueue(path);
        window->ouvririmageClick(window->ouvririmage);
    }
    void hidePage(int n) {
        window->PageControl1->setCurrentIndex(n - 1);
        window->Effacer1Click(nullptr);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        pdfPath = tmp_->filePath(QStringLiteral("capture.pdf"));
        script = std::make_shared<fake::Script>();
        script->devices = {fake::StandardScanner("Scanner A")};
        prompts = std::make_shared<CommandPrompts>();
        shell = std::make_shared<RecordingShell>();
        mail = std::make_shared<RecordingMail>();
        listInBackground = false;
        screen = std::make_shared<ProbedScreen>();
        mailPlatform.reset();
    }
    void cleanup() {
        window.reset();
        tmp_.reset();
    }

    void hiddenPagesStayOutOfExportAndMail() {
        make();
        scan(41);
        scan(42);
        scan(43);
        hidePage(2);
        window->pdfClick(window->scannerexporterpdf); // scans a fourth page first
        PdfFacts pdf = readPdf(readFile(pdfPath));
        QCOMPARE(pdf.widths, (QList<int>{41, 43, 43}));
        QCOMPARE(shell->opened, QList<QUrl>{QUrl::fromLocalFile(pdfPath)});

        hidePage(4);
        window->mailerClick(window->mailer);
        QCOMPARE(mail->sent.size(), 1);
        QCOMPARE(mail->sent[0].lines,
                 std::vector<std::string>{"attachment0=" + pdfPath.toStdString()});
        pdf = readPdf(mail->sent[0].pdf);
        QCOMPARE(pdf.pages, 2);
        QCOMPARE(pdf.widths, (QList<int>{41, 43}));
    }

    // A lossless PDF over the mail limit: the question gives the real sizes of both PDFs, "Oui"
    // mails the compact one in the shared file's place, "Non" the lossless one; no stray file.
    void aLargeLosslessMailOffersTheCompactPdf_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("Oui") << true;
        QTest::newRow("Non") << false;
    }
    void aLargeLosslessMailOffersTheCompactPdf() {
        QFETCH(bool, yes);
        qputenv("VELORIX_MAIL_LIMIT", "100000");
        make();
        openNoise();
        prompts->answer(yes);
        window->mailerClick(window->mailer);
        qunsetenv("VELORIX_MAIL_LIMIT");
        QVERIFY(prompts->allAnswered());
        QCOMPARE(mail->sent.size(), 1);
        const QByteArray sent = mail->sent[0].pdf;
        QCOMPARE(sent.contains("/DCTDecode"), yes);
        QCOMPARE(readFile(pdfPath), sent); // the shared file is what was mailed
        const QStringList asked = prompts->texts(ScriptedPrompts::Kind::Confirm);
        QCOMPARE(asked.size(), 1);
        // The lossless figure is that of the file written first; the compact one, what was sent
        // (or would have been).
        QVERIFY2(asked[0].contains(QStringLiteral("refusent plus de 0,1 Mo. L'envoyer en qualité "
                                                  "compacte (")),
                 qPrintable(asked[0]));
        const QString figure = velorix::MegabytesText(sent.size());
        QVERIFY2(yes ? asked[0].endsWith(QStringLiteral("(%1 Mo) ?").arg(figure))
                     : asked[0].startsWith(QStringLiteral("Le PDF fait %1 Mo :").arg(figure)),
                 qPrintable(asked[0]));
        QCOMPARE(QDir(tmp_->path()).entryList(QDir::Files | QDir::Hidden).filter("compacte"),
                 QStringList());

        // In the compact quality nothing is asked.
        window->QualitePDF1Click(window->Compacte1);
        qputenv("VELORIX_MAIL_LIMIT", "1000");
        window->mailerClick(window->mailer);
        qunsetenv("VELORIX_MAIL_LIMIT");
        QCOMPARE(mail->sent.size(), 2);
        QVERIFY(mail->sent[1].pdf.contains("/DCTDecode"));
        QCOMPARE(prompts->texts(ScriptedPrompts::Kind::Confirm).size(), 1);
    }

    // A lossless page's compact data is made ahead beside its own, so that "Oui" mails at once:
    // with every worker of the pool held, the mail waits for nothing. A turned page drops it and
    // prepares it again, and the turned page is what is mailed.
    void theCompactMailIsPreparedAheadAndFollowsPageChanges() {
        qputenv("VELORIX_MAIL_LIMIT", "100000");
        make();
        openNoise();
        TPRImage* image = window->ActivePageImage();
        QVERIFY(image != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(image->StreamReady(TPdfQuality::Lossless) &&
                                     image->StreamReady(TPdfQuality::Compact),
                                 20000);
        int width = 0;
        {
            BlockedPool blocked;
            QObject scope; // a wait is cancelled rather than hangs the test
            QTimer::singleShot(3000, &scope, [&] { prompts->progressLog.cancelNow = true; });
            prompts->answer(true);
            window->mailerClick(window->mailer);
            QCOMPARE(prompts->progressLog.shownAfterMs, -1);
            QCOMPARE(mail->sent.size(), 1);
            QVERIFY(mail->sent[0].pdf.contains("/DCTDecode"));
            width = readPdf(mail->sent[0].pdf).widths.value(0);

            window->N901Click(window->N901);
            QVERIFY(!image->StreamReady(TPdfQuality::Compact));
            QVERIFY(image->StreamPending(TPdfQuality::Compact));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!image->StreamPending(), 20000);
        QVERIFY(image->StreamReady(TPdfQuality::Compact));
        prompts->answer(true);
        window->mailerClick(window->mailer);
        qunsetenv("VELORIX_MAIL_LIMIT");
        QVERIFY(prompts->allAnswered());
        QCOMPARE(mail->sent.size(), 2);
        QVERIFY(mail->sent[1].pdf.contains("/DCTDecode"));
        const int turned = readPdf(mail->sent[1].pdf).widths.value(0);
        QVERIFY2(turned > width, qPrintable(QStringLiteral("%1 %2").arg(width).arg(turned)));

        // In the compact quality no lossless data is kept beside.
        window->QualitePDF1Click(window->Compacte1);
        QVERIFY(!image->StreamReady(TPdfQuality::Lossless));
        QVERIFY(image->StreamReady(TPdfQuality::Compact));
    }

    void megabytesAreWrittenTheFrenchWay() {
        QCOMPARE(velorix::MegabytesText(58'000'000), QStringLiteral("58"));
        QCOMPARE(velorix::MegabytesText(1'940'000), QStringLiteral("1,9"));
        QCOMPARE(velorix::MegabytesText(9'960'000), QStringLiteral("10"));
        QCOMPARE(velorix::MegabytesText(1'000), QStringLiteral("0,1"));
        QCOMPARE(velorix::CompactMailQuestion(58'000'000, 1'900'000),
                 QStringLiteral("Le PDF fait 58 Mo : la plupart des serveurs de mail refusent plus "
                                "de 20 Mo. L'envoyer en qualité compacte (1,9 Mo) ?"));
    }

    void afterClearingTwoScansArePage1AndPage2WithoutOpenAction() {
        make();
        scan(41);
        scan(42);
        QCOMPARE(readPdf((window->mailerClick(nullptr), mail->sent.last().pdf)).openPage, 1);
        prompts->answer(true, QStringLiteral("Voulez-vous effacer toutes les images actuelles?"));
        window->effacerClick(window->effacer);
        scan(51);
        scan(52);
        QVERIFY(window->FindReportPage(1) && window->FindReportPage(2));
        window->mailerClick(window->mailer);
        const PdfFacts pdf = readPdf(mail->sent.last().pdf);
        QCOMPARE(pdf.widths, (QList<int>{51, 52}));
        QCOMPARE(pdf.openPage, 0); // scanned pages carry no page-print handler
        QVERIFY(!mail->sent.last().pdf.contains("/OpenAction"));
    }

    void theDocumentOpensAtTheLastPageCarryingTheHandler() {
        make();
        scan(41);      // the window's own page 1: carries the handler
        scan(42);      // scanned: none
        openImage(33); // opened: carries it
        scan(44);
        window->mailerClick(window->mailer);
        PdfFacts pdf = readPdf(mail->sent.last().pdf);
        QCOMPARE(pdf.pages, 4);
        QCOMPARE(pdf.openPage, 3);
        hidePage(3);
        window->mailerClick(window->mailer);
        pdf = readPdf(mail->sent.last().pdf);
        QCOMPARE(pdf.pages, 3);
        QCOMPARE(pdf.openPage, 1);
    }

    void scanToMailOfThreeScansSendsOneMailWithOneThreePagePdf() {
        make();
        window->multi->setChecked(true);
        prompts->answer(true, kAnother);
        prompts->answer(true, kAnother);
        prompts->answer(false, kAnother);
        script->bytes = fake::SmallBmp(40, 30);
        window->mailClick(window->scannermailer);
        QVERIFY(prompts->allAnswered());
        QCOMPARE(mail->sent.size(), 1);
        QCOMPARE(readPdf(mail->sent[0].pdf).pages, 3);
        QVERIFY(prompts->seen.size() == 3); // the three questions, nothing else
    }

    void everyTabHiddenKeepsTheOldFileAndHandsNothingOn() {
        make();
        scan(41);
        scan(42);
        window->mailerClick(window->mailer);
        const QByteArray before = readFile(pdfPath);
        QVERIFY(!before.isEmpty());
        hidePage(1);
        hidePage(2);
        window->mailerClick(window->mailer);
        window->mailerClick(window->mailer);
        QCOMPARE(prompts->texts(ScriptedPrompts::Kind::Warning),
                 QStringList(2, QStringLiteral("La page est vide")));
        QCOMPARE(readFile(pdfPath), before);
        QCOMPARE(mail->sent.size(), 1);
        QVERIFY(shell->opened.isEmpty());
    }

    void aLongWaitShowsPageNOfNAfterHalfASecondWithTheLoopRunning() {
        BlockedPool blocked;
        make();
        scan(41);
        scan(42);
        QVERIFY(window->PRImage1->StreamPending());
        // Timers run while the command waits: the window keeps painting.
        QTimer::singleShot(900, [&] { blocked.release(); });
        QElapsedTimer clock;
        clock.start();
        window->mailerClick(window->mailer);
        QVERIFY(clock.elapsed() >= 900);
        QVERIFY(prompts->progressLog.shownAfterMs >= 500);
        QCOMPARE(prompts->progressLog.pages,
                 (QStringList{QStringLiteral("Page 1 sur 2"), QStringLiteral("Page 2 sur 2")}));
        QCOMPARE(mail->sent.size(), 1);
        QCOMPARE(readPdf(mail->sent[0].pdf).widths, (QList<int>{41, 42}));
    }

    void aQuickExportShowsNoProgressWindow() {
        make();
        scan(41);
        while (window->PRImage1->StreamPending())
            QTest::qWait(5);
        window->mailerClick(window->mailer);
        QCOMPARE(prompts->progressLog.shownAfterMs, -1);
        QCOMPARE(mail->sent.size(), 1);
    }

    void aCancelledExportKeepsTheOldFileWholeAndHandsNothingOn() {
        make();
        scan(41);
        window->pdfClick(window->scannerexporterpdf);
        const QByteArray before = readFile(pdfPath);
        QCOMPARE(readPdf(before).pages, 2);
        QCOMPARE(shell->opened.size(), 1);

        // Cancelled by the user while the streams are still being made.
        {
            BlockedPool blocked;
            prompts->progressLog = {};
            QTimer::singleShot(700, [&] { prompts->progressLog.cancelNow = true; });
            // The streams come free soon after the cancel: an export that missed it would go on
            // and write, which the checks below see (rather than a test that never ends).
            QObject scope;
            QTimer::singleShot(1500, &scope, [&] { blocked.release(); });
            window->pdfClick(window->scannerexporterpdf); // scans a third page first
            QVERIFY(prompts->progressLog.shownAfterMs >= 500);
            QTest::qWait(1000);
        }
        QCOMPARE(readFile(pdfPath), before);
        QCOMPARE(QDir(tmp_->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("capture.pdf")});
        QCOMPARE(shell->opened.size(), 1);

        // Cancelled at the second page: the mail is not sent either.
        prompts->progressLog = {};
        prompts->progressLog.cancelAtPage = 2;
        window->mailerClick(window->mailer);
        QCOMPARE(prompts->progressLog.pages,
                 (QStringList{QStringLiteral("Page 1 sur 3"), QStringLiteral("Page 2 sur 3")}));
        QVERIFY(mail->sent.isEmpty());
        QCOMPARE(readFile(pdfPath), before);

        // Not cancelled, the same pages make the new file.
        prompts->progressLog = {};
        window->mailerClick(window->mailer);
        QCOMPARE(readPdf(readFile(pdfPath)).pages, 3);
        QCOMPARE(mail->sent.size(), 1);
    }

    void aFailedHandOverShowsTheMailErrorBox() {
        mail->ok = false;
        make();
        scan(41);
        QVERIFY(window->Guarded([&] { window->mailerClick(window->mailer); }));
        QCOMPARE(prompts->titledErrors,
                 QStringList{QStringLiteral("Erreur|Erreur d'envoi du mail")});
    }

    void theShellOpensThePdfInTheDesktopsViewer() {
        // A desktop whose application/pdf handler is a viewer of ours.
        const QString viewer = tmp_->filePath(QStringLiteral("bin/viewer"));
        const QString record = tmp_->filePath(QStringLiteral("viewer-record"));
        QDir().mkpath(tmp_->filePath(QStringLiteral("bin")));
        velorix::mail::testing::writeRecordingProgram(viewer, record);
        const QString data = tmp_->filePath(QStringLiteral("data"));
        const QString config = tmp_->filePath(QStringLiteral("config"));
        QDir().mkpath(data + "/applications");
        QFile desktop(data + "/applications/velorix-test-viewer.desktop");
        QVERIFY(desktop.open(QIODevice::WriteOnly));
        desktop.write("[Desktop Entry]\nType=Application\nName=Lecteur\nExec=" + viewer.toUtf8() +
                      " %f\nMimeType=application/pdf;\n");
        desktop.close();
        QDir().mkpath(config);
        QFile list(config + "/mimeapps.list");
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("[Default Applications]\napplication/pdf=velorix-test-viewer.desktop\n");
        list.close();
        qputenv("XDG_DATA_HOME", data.toUtf8());
        qputenv("XDG_DATA_DIRS", tmp_->filePath(QStringLiteral("none")).toUtf8());
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        qputenv("XDG_CONFIG_DIRS", tmp_->filePath(QStringLiteral("none")).toUtf8());
        // xdg-open looks at desktop files only when it believes a display is there.
        qputenv("DISPLAY", ":velorix-test");
        qputenv("BROWSER", "false");
        for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                                 "GNOME_DESKTOP_SESSION_ID", "VELORIX_SHELL"})
            qunsetenv(name);

        pdfPath = tmp_->filePath(QStringLiteral("mes documents/été/capture.pdf"));
        QDir().mkpath(QFileInfo(pdfPath).path());
        make(velorix::loadShell());
        script->bytes = fake::SmallBmp(40, 30);
        window->pdfClick(window->scannerexporterpdf);
        const QStringList args = velorix::mail::testing::recordedArguments(record, 10000);
        QCOMPARE(args, QStringList{pdfPath});
        QCOMPARE(readPdf(readFile(args[0])).pages, 1);
    }

    // The scanner list made in the background, arriving while a command waits (an export, the
    // capture's delay with every window hidden, a mail client's hand-over), is taken only once
    // that command has ended: no scanner is listed or connected inside it, and no window of ours
    // shows in the capture. A second click during the wait is dropped, not run afterwards.
    void workArrivingDuringACommandWaitsUntilItEnds_data() {
        QTest::addColumn<QString>("wait");
        QTest::newRow("export") << QStringLiteral("export");
        QTest::newRow("capture") << QStringLiteral("capture");
        QTest::newRow("mail") << QStringLiteral("mail");
    }
    void workArrivingDuringACommandWaitsUntilItEnds() {
        QFETCH(QString, wait);
        if (wait == QLatin1String("mail")) {
            // The desktop's own hand-over, with a client that takes a second.
            using namespace velorix::mail::testing;
            usePrivateDesktop(tmp_->filePath(QStringLiteral("desktop")));
            const QString mailer = tmp_->filePath(QStringLiteral("slow-mailer"));
            QFile file(mailer);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\nsleep 1\n");
            file.close();
            QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            qputenv("MAILER", mailer.toUtf8());
            mailPlatform = velorix::mail::loadMailPlatform();
        }
        listInBackground = true;
        // The list ends once the window has shown, before the command's wait: at the test's
        // word, since a delay would let a loaded machine hand it over while the window shows.
        std::promise<void> listMayEnd;
        script->listGate = listMayEnd.get_future().share();
        const auto listed = std::make_shared<std::atomic<bool>>(false);
        script->onListed = [listed] { *listed = true; };
        make();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        std::optional<BlockedPool> blocked; // the page's stream stays pending: the export waits
        if (wait == QLatin1String("export"))
            blocked.emplace();
        if (wait != QLatin1String("capture"))
            openImage(41);
        // The list is handed over meanwhile, with no pass of the window's loop; the window sees
        // it at the command's first wait.
        listMayEnd.set_value();
        QElapsedTimer clock;
        clock.start();
        while (!*listed && clock.elapsed() < 30000)
            QThread::msleep(5);
        QVERIFY(*listed);
        QThread::msleep(200);
        QCOMPARE(window->cbDevice->count(), 0);

        int listedDuringWait = -1;
        QStringList shownDuringWait;
        const auto probe = [&] {
            listedDuringWait = window->cbDevice->count();
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible())
                    shownDuringWait << w->metaObject()->className();
        };
        QObject scope;
        if (wait == QLatin1String("export")) {
            QTimer::singleShot(200, &scope,
                               [&] { QTest::mouseClick(window->mailer, Qt::LeftButton); });
            QTimer::singleShot(700, &scope, [&] {
                probe();
                blocked->release();
            });
            window->mailer->click();
            QCOMPARE(mail->sent.size(), 1);
        } else if (wait == QLatin1String("capture")) {
            screen->onGrab = probe;
            window->ScreenCapture1->OnOverlayShown = [](velorix::capture::TCaptureRectForm& form) {
                overlay::drag(form, QPoint(10, 10), QPoint(60, 50));
            };
            window->selectionecran->click();
            QCOMPARE(shownDuringWait, QStringList());
            QCOMPARE(window->PageCount(), 1);
        } else {
            QTimer::singleShot(600, &scope, probe);
            window->mailer->click();
            QVERIFY(prompts->texts(ScriptedPrompts::Kind::Error).isEmpty());
        }
        QCOMPARE(listedDuringWait, 0);
        QCOMPARE(script->connects, 0);
        QTRY_COMPARE(window->cbDevice->count(), 1);
        QCOMPARE(window->cbDevice->currentIndex(), 0);
        QTest::qWait(100);
        QCOMPARE(mail->sent.size(), wait == QLatin1String("export") ? 1 : 0);
    }
};

QTEST_MAIN(PdfMailCommandsTest)
#include "PdfMailCommandsTest.moc"
