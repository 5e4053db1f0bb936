// velorix --mail: images to the shared capture.pdf, handed to the mail client through the real
// xdg-email and a stand-in mail client; failures give "Erreur d'envoi du mail" and exit 1.
#include "tests/app/HostileNames.h"
#include "tests/mail/MailFakes.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

namespace {

struct Run {
    int exitCode = -1;
    QString err;
};

} // namespace

class MailCommandTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp_;
    QString record_;
    QStringList images_;

    // A user's session without a desktop: no session bus, no mail handler, no display.
    Run runMail(const QStringList& args, const QMap<QString, QString>& extra = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        velorix::mail::testing::usePrivateDesktop(env, tmp_->path());
        env.insert("HOME", tmp_->filePath("home"));
        env.insert("XDG_CONFIG_HOME", tmp_->filePath("home/.config"));
        env.insert("XDG_DATA_HOME", tmp_->filePath("home/.local/share"));
        env.insert("XDG_CACHE_HOME", tmp_->filePath("home/.cache"));
        for (auto it = extra.begin(); it != extra.end(); ++it)
            env.insert(it.key(), it.value());
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(VELORIX_EXE, QStringList{"--mail"} + args);
        Run r;
        if (!p.waitForFinished(120000))
            return r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }

private slots:
    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        QDir().mkpath(tmp_->filePath("home"));
        QDir().mkpath(tmp_->filePath("bin"));
        record_ = tmp_->filePath("record");
        velorix::mail::testing::writeRecordingProgram(tmp_->filePath("bin/mailer"), record_);
        images_.clear();
        for (int i = 0; i < 2; ++i) {
            QImage image(30 + i, 20, QImage::Format_RGB32);
            image.fill(i ? Qt::red : Qt::blue);
            images_ << tmp_->filePath(QStringLiteral("scan %1.png").arg(i));
            QVERIFY(image.save(images_.last()));
        }
    }
    void cleanup() { tmp_.reset(); }

    void theSharedPdfReachesTheMailClient() {
        const Run run = runMail(images_, {{"MAILER", tmp_->filePath("bin/mailer")}});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const QStringList args = velorix::mail::testing::recordedArguments(record_);
        QCOMPARE(args.size(), 1);
        const QString attached =
            QUrlQuery(QUrl(args[0])).queryItemValue("attach", QUrl::FullyDecoded);
        QCOMPARE(QFileInfo(attached).fileName(), QStringLiteral("capture.pdf"));
        QVERIFY(attached.startsWith(tmp_->filePath("home/.cache/velorix/mail/")));
        QFile shared(tmp_->filePath("home/Documents/capture.pdf"));
        QVERIFY(shared.open(QIODevice::ReadOnly));
        QFile copy(attached);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        const QByteArray pdf = shared.readAll();
        QCOMPARE(copy.readAll(), pdf);
        QCOMPARE(pdf.count("/Type /Page") - pdf.count("/Type /Pages"), 2);
    }

    // A lossless PDF over the limit: the question with its figures on standard error, and the
    // lossless PDF asked for is the one sent.
    void aLargeLosslessMailSaysWhatCompactWouldWeigh() {
        const Run run = runMail(
            images_, {{"MAILER", tmp_->filePath("bin/mailer")}, {"VELORIX_MAIL_LIMIT", "1000"}});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("velorix --mail : Le PDF fait ")) &&
                     run.err.contains(QStringLiteral("refusent plus de 0,1 Mo. L'envoyer en "
                                                     "qualité compacte (")),
                 qPrintable(run.err));
        QFile shared(tmp_->filePath("home/Documents/capture.pdf"));
        QVERIFY(shared.open(QIODevice::ReadOnly));
        QVERIFY(!shared.readAll().contains("/DCTDecode"));
        QCOMPARE(QDir(tmp_->filePath("home/Documents")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("capture.pdf")});
    }

    // --ocr: the mail client gets the PDF with the page's text in it.
    void searchablePdfReachesTheMailClient() {
        QImage page(560, 200, QImage::Format_RGB32); // whole on the page: no part cut off
        page.fill(Qt::white);
        QPainter painter(&page);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(90);
        painter.setFont(font);
        painter.drawText(60, 130, QStringLiteral("Bonjour"));
        painter.end();
        const QString image = tmp_->filePath(QStringLiteral("lettre.png"));
        QVERIFY(page.save(image));
        const Run run =
            runMail({QStringLiteral("--ocr"), image}, {{"MAILER", tmp_->filePath("bin/mailer")}});
        QVERIFY2(run.exitCode == 0 && !run.err.contains("tesseract"), qPrintable(run.err));
        const QStringList args = velorix::mail::testing::recordedArguments(record_);
        QCOMPARE(args.size(), 1);
        QProcess text;
        text.start(QStringLiteral("pdftotext"),
                   {QUrlQuery(QUrl(args[0])).queryItemValue("attach", QUrl::FullyDecoded),
                    QStringLiteral("-")});
        QVERIFY(text.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(text.readAllStandardOutput()).trimmed(),
                 QStringLiteral("Bonjour"));
    }

    // A home folder and images whose names are hostile: the images are found, and the mail
    // client gets the exact path of the PDF's copy; nothing runs through a shell.
    void hostileNamesReachTheMailClient() {
        // No line break in the home folder: xdg-email writes it as CR LF in the address (a
        // path with one goes through the desktop portal, absent here).
        const QString home =
            tmp_->filePath(QStringLiteral("maison $(touch pwned); 'q' \"d\" é -x"));
        QVERIFY(QDir().mkpath(home));
        const QString folder = velorix::testing::hostileFolder(tmp_->path());
        QStringList images;
        for (const QString& name : velorix::testing::hostileNames()) {
            images << folder + QLatin1Char('/') + name + QStringLiteral(".png");
            QVERIFY(QFile::copy(images_.first(), images.last()));
        }
        const Run run = runMail(QStringList{"--"} + images,
                                {{"MAILER", tmp_->filePath("bin/mailer")},
                                 {"HOME", home},
                                 {"XDG_CACHE_HOME", home + QStringLiteral("/.cache")}});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const QStringList args = velorix::mail::testing::recordedArguments(record_);
        QCOMPARE(args.size(), 1);
        const QString attached =
            QUrlQuery(QUrl(args[0])).queryItemValue("attach", QUrl::FullyDecoded);
        QVERIFY2(attached.startsWith(home + QStringLiteral("/.cache/velorix/mail/")),
                 qPrintable(attached));
        QFile copy(attached);
        QVERIFY2(copy.open(QIODevice::ReadOnly), qPrintable(attached));
        const QByteArray pdf = copy.readAll();
        QCOMPARE(pdf.count("/Type /Page") - pdf.count("/Type /Pages"), images.size());
        QVERIFY(!QFile::exists(home + QStringLiteral("/pwned")));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/pwned")));
        QVERIFY(!QFile::exists(QStringLiteral("pwned")));
    }

    void failuresSayWhyAndExitNonZero() {
        Run run = runMail(images_, {{"MAILER", "false"}});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("velorix --mail : Erreur d'envoi du mail (") &&
                     run.err.contains("xdg-email") && run.err.contains("portail"),
                 qPrintable(run.err));
        // A Thunderbird that cannot open its window ends at once with an error: a failure.
        const QString thunderbird = tmp_->filePath("bin/thunderbird");
        QFile script(thunderbird);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho 'Error: no DISPLAY environment variable specified' >&2\n"
                     "exit 1\n");
        script.close();
        QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner));
        velorix::mail::testing::setMailtoHandler(tmp_->filePath("home/.local/share"),
                                                 tmp_->filePath("home/.config"),
                                                 "thunderbird.desktop", thunderbird + " %u");
        run = runMail(images_);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("Thunderbird a échoué"), qPrintable(run.err));
        QFile::remove(tmp_->filePath("home/.config/mimeapps.list"));
        run = runMail(images_, {{"VELORIX_MAIL", "null"}});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("Erreur d'envoi du mail"), qPrintable(run.err));
        run = runMail({tmp_->filePath("missing.png")}, {{"MAILER", tmp_->filePath("bin/mailer")}});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(!QFile::exists(record_));
        QCOMPARE(runMail({}).exitCode, 2);
        QCOMPARE(runMail({"--bcc"}).exitCode, 2);
    }
};

QTEST_MAIN(MailCommandTest) // a QGuiApplication: the test draws its letter with a font
#include "MailCommandTest.moc"
