// Runs on a private session bus with the real xdg-desktop-portal and our stand-in backend
// (portal/PortalEmailTest.sh starts them).
#include "mail/linux/PortalEmail.h"
#include "mail/linux/DesktopMail.h"
#include "tests/mail/MailFakes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace velorix::mail;
using namespace velorix::mail::testing;

class PortalEmailTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp_;
    QString mailerRecord_;

    QList<QJsonObject> portalCalls() const {
        QFile file(qEnvironmentVariable("VELORIX_PORTAL_RECORD"));
        QList<QJsonObject> calls;
        if (!file.open(QIODevice::ReadOnly))
            return calls;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                calls << QJsonDocument::fromJson(line).object();
        return calls;
    }
    void setResponse(const QByteArray& code) {
        QFile file(qEnvironmentVariable("VELORIX_PORTAL_RESPONSE_FILE"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(code);
    }
    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = tmp_->filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }

private slots:
    void init() {
        QVERIFY2(qEnvironmentVariableIsSet("VELORIX_PORTAL_RECORD"),
                 "run through portal/PortalEmailTest.sh");
        tmp_ = std::make_unique<QTemporaryDir>();
        mailerRecord_ = tmp_->filePath("mailer-record");
        writeRecordingProgram(tmp_->filePath("fake-mailer"), mailerRecord_);
        usePrivateDesktop(tmp_->path(), true);
        qputenv("MAILER", tmp_->filePath("fake-mailer").toUtf8());
        QFile::remove(qEnvironmentVariable("VELORIX_PORTAL_RECORD"));
        setResponse("0");
    }

    void theDescriptorCarriesTheFile() {
        QVERIFY(PortalEmailAvailable());
        QByteArray bytes("%PDF-1.3\n");
        bytes.append('\0').append("\xff binary\n");
        const QString path = writeFile("relevé été/capture.pdf", bytes);
        const Attempt attempt =
            ComposeWithPortal({"ann@example.org", "Scan du jour", "Bonjour", QStringList{path}});
        QVERIFY2(attempt.ok, qPrintable(attempt.reason));
        const QList<QJsonObject> calls = portalCalls();
        QCOMPARE(calls.size(), 1);
        const QJsonObject call = calls[0];
        QCOMPARE(call["address"].toString(), QStringLiteral("ann@example.org"));
        QCOMPARE(call["subject"].toString(), QStringLiteral("Scan du jour"));
        QCOMPARE(call["body"].toString(), QStringLiteral("Bonjour"));
        const QJsonArray files = call["files"].toArray();
        QCOMPARE(files.size(), 1);
        QCOMPARE(QByteArray::fromHex(files[0].toObject()["bytes"].toString().toLatin1()), bytes);
    }

    void onlyResponseTwoIsAFailure() {
        const QString path = writeFile("capture.pdf", "pdf");
        for (const auto& [code, ok] :
             {std::pair{"1", true}, std::pair{"2", false}, std::pair{"0", true}}) {
            setResponse(code);
            QCOMPARE(ComposeWithPortal({{}, {}, {}, QStringList{path}}).ok, ok);
        }
        QCOMPARE(portalCalls().size(), 3);
    }

    void pathsMailtoCannotCarryGoToThePortalFirst() {
        const QString original = writeFile("Documents/capture.pdf", "pages");
        DesktopMailPlatform platform(tmp_->filePath("snap,shots"));
        const HandOverResult result =
            platform.handOver(TMailRequest({"attachment0=" + original.toStdString()}), 0);
        QVERIFY2(result.ok, qPrintable(result.reason));
        const QList<QJsonObject> calls = portalCalls();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(QByteArray::fromHex(
                     calls[0]["files"].toArray()[0].toObject()["bytes"].toString().toLatin1()),
                 QByteArray("pages"));
        QVERIFY(!QFile::exists(mailerRecord_));
    }

    void safePathsGoToTheMailClientFirstAndThePortalWhenItFails() {
        const QString original = writeFile("Documents/capture.pdf", "pages");
        DesktopMailPlatform platform(tmp_->filePath("snapshots"));
        const TMailRequest request({"attachment0=" + original.toStdString()});
        QVERIFY(platform.handOver(request, 0).ok);
        QCOMPARE(recordedArguments(mailerRecord_).size(), 1);
        QVERIFY(portalCalls().isEmpty());

        qputenv("MAILER", "false");
        QVERIFY(platform.handOver(request, 0).ok);
        QCOMPARE(portalCalls().size(), 1);
        setResponse("2");
        const HandOverResult refused = platform.handOver(request, 0);
        QVERIFY(!refused.ok);
        QVERIFY2(refused.reason.contains("portail"), qPrintable(refused.reason));
    }
};

QTEST_GUILESS_MAIN(PortalEmailTest)
#include "PortalEmailTest.moc"
