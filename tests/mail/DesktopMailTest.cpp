#include "mail/linux/DesktopMail.h"
#include "mail/MailPlatform.h"
#include "mail/MailSnapshot.h"
#include "mail/linux/PortalEmail.h"
#include "mail/linux/XdgEmail.h"
#include "mail/mapi/MapiMail.h"
#include "tests/mail/MailFakes.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velorix::mail;
using namespace velorix::mail::testing;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The value between "attachment='" and the next "'" of Thunderbird's -compose argument.
QString composeAttachment(const QString& compose) {
    static const QRegularExpression re(QStringLiteral("attachment='([^']*)'"));
    return re.match(compose).captured(1);
}

unsigned modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0u;
}

QString pathOfFileUrl(const QString& value) {
    return value.startsWith(QLatin1String("file://")) ? QUrl(value).toLocalFile() : value;
}

const QDateTime kNow = QDateTime(QDate(2026, 12, 8), QTime(21, 0), Qt::UTC);

} // namespace

class DesktopMailTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp_;
    QString bin_, record_;

    QString dir(const QString& sub) const { return tmp_->filePath(sub); }

private slots:
    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
        bin_ = dir("bin");
        record_ = dir("record");
        QVERIFY(QDir().mkpath(bin_));
        usePrivateDesktop(tmp_->path());
        qputenv("PATH", bin_.toUtf8() + ":/usr/bin:/bin");
    }
    void cleanup() { tmp_.reset(); }

    void splitsDesktopExecLines_data() {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("plain") << "thunderbird %u" << QStringList{"thunderbird"};
        QTest::newRow("flatpak") << "/usr/bin/flatpak run --branch=stable --command=thunderbird "
                                    "org.mozilla.Thunderbird @@u %U @@"
                                 << QStringList{"/usr/bin/flatpak", "run", "--branch=stable",
                                                "--command=thunderbird", "org.mozilla.Thunderbird"};
        QTest::newRow("quoted") << "\"/opt/mes apps/tb\" -P \"a \\\"b\\\" \\\\c\" %f"
                                << QStringList{"/opt/mes apps/tb", "-P", "a \"b\" \\c"};
        QTest::newRow("percent") << "env RATE=100%% tb %i %c"
                                 << QStringList{"env", "RATE=100%", "tb"};
        QTest::newRow("empty") << "" << QStringList{};
    }
    void splitsDesktopExecLines() {
        QFETCH(QString, exec);
        QFETCH(QStringList, args);
        QCOMPARE(SplitDesktopExec(exec), args);
    }

    void pathsThatMailtoCannotCarryGoToThePortal() {
        for (const char* safe : {"/home/ann/capture.pdf", "/home/ann/relevé été/c 1.pdf"})
            QVERIFY2(!PathNeedsPortal(QString::fromUtf8(safe)), safe);
        for (const char* unsafe :
             {"/a\\b.pdf", "/a'b.pdf", "/a,b.pdf", "/a=b.pdf", "/a\tb.pdf", "/a\nb.pdf"})
            QVERIFY2(PathNeedsPortal(QString::fromUtf8(unsafe)), unsafe);
    }

    void xdgEmailHandsTheExactPathToTheMailer_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "capture.pdf";
        QTest::newRow("accented") << "relevé été/capture é.pdf";
        QTest::newRow("spaces") << "mes scans/capture 1.pdf";
    }
    void xdgEmailHandsTheExactPathToTheMailer() {
        QFETCH(QString, name);
        const QString path = dir(name);
        writeFile(path, "%PDF-1.3\n");
        writeRecordingProgram(bin_ + "/fake-mailer", record_);
        qputenv("MAILER", (bin_ + "/fake-mailer").toUtf8());

        const Attempt attempt =
            RunXdgEmail({"ann@example.org", "Scan du jour", {}, QStringList{path}});
        QVERIFY2(attempt.ok, qPrintable(attempt.reason));
        const QStringList args = recordedArguments(record_);
        QCOMPARE(args.size(), 1);
        const QUrl mailto(args[0]);
        QCOMPARE(mailto.scheme(), QStringLiteral("mailto"));
        QCOMPARE(mailto.path(), QStringLiteral("ann@example.org"));
        const QUrlQuery query(mailto);
        QCOMPARE(query.queryItemValue("attach", QUrl::FullyDecoded), path);
        QCOMPARE(query.queryItemValue("subject", QUrl::FullyDecoded),
                 QStringLiteral("Scan du jour"));
        QVERIFY(!query.hasQueryItem("body")); // absent values are not passed at all
    }

    // A client that keeps xdg-email waiting: the loop keeps running meanwhile (windows paint), and
    // past the wait the hand-over counts as made, the client left running with its draft.
    void aSlowClientLeavesTheLoopRunningAndItsDraftAlive() {
        const QString path = dir("capture.pdf");
        writeFile(path, "%PDF-1.3\n");
        const QString mailer = bin_ + "/slow-mailer";
        writeFile(mailer, "#!/bin/sh\ntouch '" + QFile::encodeName(record_) + "'\nsleep 5\n");
        QVERIFY(QFile::setPermissions(mailer, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner));
        qputenv("MAILER", mailer.toUtf8());

        int ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(50);
        QElapsedTimer clock;
        clock.start();
        const Attempt attempt = RunXdgEmail({{}, {}, {}, QStringList{path}}, 600);
        QVERIFY2(attempt.ok, qPrintable(attempt.reason));
        QVERIFY2(clock.elapsed() >= 600 && clock.elapsed() < 4000,
                 qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
        // The client may not have started yet when the wait ends (xdg-email is a long script):
        // left running, it gets there.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record_), 10000);
    }

    // Thunderbird ends a quoted value at the next quote and splits attachments at commas: a text
    // with an apostrophe or a path with a comma or a quote must not add or change a field.
    void composeArgumentKeepsTextsAndPathsWhole() {
        const MailMessage message{"a@example.org", "l'été, enfin",
                                  "x',attachment='file:///etc/passwd",
                                  QStringList{"/tmp/a,b/c'd.pdf", "/tmp/e.pdf"}};
        QCOMPARE(ThunderbirdComposeArguments(message),
                 (QStringList{"-compose",
                              "to='a@example.org',subject='l’été, enfin',"
                              "body='x’,attachment=’file:///etc/passwd',"
                              "attachment='file:///tmp/a%2Cb/c%27d.pdf,file:///tmp/e.pdf'"}));
        // Every character as its UTF-8 bytes, noncharacters too (QUrl writes U+BFFFF wrongly).
        const MailMessage odd{
            {}, {}, {}, QStringList{QString::fromUtf8("/tmp/\xf2\xbf\xbf\xbf é.pdf")}};
        QCOMPARE(ThunderbirdComposeArguments(odd).value(1),
                 QStringLiteral("attachment='file:///tmp/%F2%BF%BF%BF%20%C3%A9.pdf'"));
    }

    void xdgEmailHandsTheExactPathToAThunderbirdHandler_data() {
        xdgEmailHandsTheExactPathToTheMailer_data();
    }
    void xdgEmailHandsTheExactPathToAThunderbirdHandler() {
        QFETCH(QString, name);
        const QString path = dir(name);
        writeFile(path, "%PDF-1.3\n");
        writeRecordingProgram(bin_ + "/thunderbird", record_);
        setMailtoHandler(dir("data"), dir("config"), "thunderbird.desktop", "thunderbird %u");

        const Attempt attempt = RunXdgEmail({{}, {}, {}, QStringList{path}});
        QVERIFY2(attempt.ok, qPrintable(attempt.reason));
        const QStringList args = recordedArguments(record_);
        QCOMPARE(args.size(), 2);
        QCOMPARE(args[0], QStringLiteral("-compose"));
        QCOMPARE(pathOfFileUrl(composeAttachment(args[1])), path);
    }

    void aThunderbirdUnderAnotherLauncherGetsComposeFromUs() {
        writeRecordingProgram(bin_ + "/flatpak", record_);
        setMailtoHandler(dir("data"), dir("config"), "org.mozilla.Thunderbird.desktop",
                         bin_ + "/flatpak run --branch=stable org.mozilla.Thunderbird @@u %u @@");
        const QString original = dir("Documents été/capture.pdf");
        writeFile(original, "%PDF-1.3 pages\n");

        DesktopMailPlatform platform(
            dir("cache"), [] { return kNow; }, dir("snapshots"));
        const HandOverResult result =
            platform.handOver(TMailRequest({"attachment0=" + original.toStdString()}), 0);
        QVERIFY2(result.ok, qPrintable(result.reason));
        const QStringList args = recordedArguments(record_, 10000);
        QCOMPARE(args.size(), 5);
        QCOMPARE(args.mid(0, 4),
                 (QStringList{"run", "--branch=stable", "org.mozilla.Thunderbird", "-compose"}));
        const QString attached = pathOfFileUrl(composeAttachment(args[4]));
        QVERIFY(attached.startsWith(dir("snapshots") + "/"));
        QCOMPARE(QFileInfo(attached).fileName(), QStringLiteral("capture.pdf"));
        QCOMPARE(readAll(attached), QByteArray("%PDF-1.3 pages\n"));
    }

    // MAILER comes first, as xdg-email has it, even with a Thunderbird (in a sandbox here) as
    // the desktop's mailto handler.
    void mailerComesBeforeTheDesktopsHandler() {
        writeRecordingProgram(bin_ + "/flatpak", record_);
        setMailtoHandler(dir("data"), dir("config"), "org.mozilla.Thunderbird.desktop",
                         "flatpak run --branch=stable org.mozilla.Thunderbird @@u %u @@");
        const QString mailerRecord = dir("mailer-record");
        writeRecordingProgram(bin_ + "/my-mailer", mailerRecord);
        qputenv("MAILER", "my-mailer");
        const QString original = dir("Documents/capture.pdf");
        writeFile(original, "%PDF-1.3 pages\n");

        DesktopMailPlatform platform(
            dir("cache"), [] { return kNow; }, dir("snapshots"));
        const HandOverResult result =
            platform.handOver(TMailRequest({"attachment0=" + original.toStdString()}), 0);
        qunsetenv("MAILER");
        QVERIFY2(result.ok, qPrintable(result.reason));
        const QStringList args = recordedArguments(mailerRecord, 10000);
        QCOMPARE(args.size(), 1);
        const QUrl mailto(args[0]);
        QCOMPARE(mailto.scheme(), QStringLiteral("mailto"));
        const QString attached = pathOfFileUrl(
            QUrlQuery(mailto).queryItemValue(QStringLiteral("attach"), QUrl::FullyDecoded));
        QVERIFY2(attached.startsWith(dir("cache") + "/"), qPrintable(attached));
        QCOMPARE(readAll(attached), QByteArray("%PDF-1.3 pages\n"));
        QVERIFY(!QFile::exists(record_));
    }

    // Snap's and Flatpak's Thunderbird cannot read hidden folders of the home folder: stand-ins
    // that refuse such paths, as their sandboxes do, still get the file, byte for byte.
    void aSandboxedClientGetsAFileItCanRead_data() {
        QTest::addColumn<QString>("desktopId");
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("launcher");
        QTest::addColumn<int>("launcherArgs");
        QTest::addColumn<bool>("downloadsIsALink");
        QTest::newRow("snap") << "thunderbird_thunderbird.desktop"
                              << "env BAMF_DESKTOP_FILE_HINT=/var/lib/snapd/desktop/applications/"
                                 "thunderbird_thunderbird.desktop /snap/bin/thunderbird %u"
                              << "env" << 2 << false;
        const QString flatpak = "flatpak run --branch=stable org.mozilla.Thunderbird @@u %u @@";
        QTest::newRow("flatpak") << "org.mozilla.Thunderbird.desktop" << flatpak << "flatpak" << 3
                                 << false;
        QTest::newRow("flatpak, downloads on another disk")
            << "org.mozilla.Thunderbird.desktop" << flatpak << "flatpak" << 3 << true;
    }
    void aSandboxedClientGetsAFileItCanRead() {
        QFETCH(QString, desktopId);
        QFETCH(QString, exec);
        QFETCH(QString, launcher);
        QFETCH(int, launcherArgs);
        QFETCH(bool, downloadsIsALink);
        const QString home = dir("home");
        if (downloadsIsALink) {
            QVERIFY(QDir().mkpath(dir("otherdisk/Downloads")));
            QVERIFY(QFile::link(dir("otherdisk/Downloads"), home + "/Downloads"));
        }
        qputenv("XDG_CACHE_HOME", (home + "/.cache").toUtf8());
        writeFile(bin_ + "/" + launcher, "#!/bin/sh\ncase \"$*\" in *'" + home.toUtf8() +
                                             "/.'*) exit 1;; esac\nprintf '%s\\0' \"$@\" >> '" +
                                             record_.toUtf8() + "'\n");
        QFile::setPermissions(bin_ + "/" + launcher, QFileDevice::ReadOwner |
                                                         QFileDevice::WriteOwner |
                                                         QFileDevice::ExeOwner);
        setMailtoHandler(dir("data"), dir("config"), desktopId, exec);
        const QString original = home + "/Documents/capture.pdf";
        writeFile(original, "%PDF-1.3 pages\n");

        DesktopMailPlatform platform({}, [] { return kNow; });
        const HandOverResult result =
            platform.handOver(TMailRequest({"attachment0=" + original.toStdString()}), 0);
        QVERIFY2(result.ok, qPrintable(result.reason));
        const QStringList args = recordedArguments(record_);
        QCOMPARE(args.size(), launcherArgs + 2);
        QCOMPARE(args[launcherArgs], QStringLiteral("-compose"));
        const QString attached = pathOfFileUrl(composeAttachment(args.last()));
        QVERIFY2(attached.startsWith(home + "/Downloads/velorix-mail/"), qPrintable(attached));
        QCOMPARE(readAll(attached), QByteArray("%PDF-1.3 pages\n"));
        QCOMPARE(modeOf(attached), 0400u);
        QCOMPARE(modeOf(QFileInfo(attached).path()), 0700u);
        if (!downloadsIsALink)
            return;
        QVERIFY(QFileInfo(attached).canonicalFilePath().startsWith(dir("otherdisk/Downloads/")));
        // Followed at the base only: a link put in our folder's place is not.
        const QString ours = dir("otherdisk/Downloads/velorix-mail");
        QVERIFY(QDir(ours).removeRecursively());
        QVERIFY(QDir().mkpath(dir("victim")));
        QVERIFY(QFile::link(dir("victim"), ours));
        QVERIFY(SnapshotForMail(original, SandboxMailSnapshotBase(), kNow).isEmpty());
        QVERIFY(QDir(dir("victim")).isEmpty());
        // Nor is a downloads link that another user made.
        QVERIFY(QFile::remove(ours));
        if (::geteuid() == 0) {
            QVERIFY(::lchown(QFile::encodeName(home + "/Downloads").constData(), 65534, 65534) ==
                    0);
            QVERIFY(SnapshotForMail(original, SandboxMailSnapshotBase(), kNow).isEmpty());
        }
    }

    void eachHandOverAttachesAnUnchangingSnapshot() {
        writeRecordingProgram(bin_ + "/fake-mailer", record_);
        qputenv("MAILER", (bin_ + "/fake-mailer").toUtf8());
        const QString original = dir("Documents/capture.pdf");
        writeFile(original, "first export");
        DesktopMailPlatform platform(dir("snapshots"), [] { return kNow; });
        const auto attachedPath = [&](int call) {
            const QStringList args = recordedArguments(record_);
            return QUrlQuery(QUrl(args.value(call))).queryItemValue("attach", QUrl::FullyDecoded);
        };

        QVERIFY(platform.handOver(TMailRequest({"attachment0=" + original.toStdString()}), 0).ok);
        const QString first = attachedPath(0);
        writeFile(original, "second export");
        QVERIFY(platform.handOver(TMailRequest({"attachment0=" + original.toStdString()}), 0).ok);
        const QString second = attachedPath(1);

        QVERIFY(first != second && first != original);
        QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("capture.pdf"));
        QCOMPARE(readAll(first), QByteArray("first export"));
        QCOMPARE(readAll(second), QByteArray("second export"));
        static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9-]+$"));
        QVERIFY(safe.match(QFileInfo(first).dir().dirName()).hasMatch());
        QCOMPARE(QFileInfo(first).dir().absolutePath().section('/', 0, -2), dir("snapshots"));
    }

    void failureEverywhereShowsTheErrorBox() {
        // A mailer that fails, then no portal on the bus.
        qputenv("MAILER", "false");
        const QString original = dir("capture.pdf");
        writeFile(original, "pdf");
        DesktopMailPlatform platform(dir("snapshots"), [] { return kNow; });
        QStringList boxes;
        const HandOverResult result = SendMail(
            platform, 0, TMailRequest({"attachment0=" + original.toStdString()}),
            [&](const QString& text, const QString& title) { boxes << text + "|" + title; });
        QVERIFY(!result.ok);
        QCOMPARE(boxes, QStringList{"Erreur d'envoi du mail|Erreur"});
        QVERIFY2(result.reason.contains("xdg-email") && result.reason.contains("portail"),
                 qPrintable(result.reason));

        // No xdg-email at all.
        qputenv("PATH", bin_.toUtf8());
        QVERIFY(!RunXdgEmail({{}, {}, {}, QStringList{original}}).ok);
        // A file that is not there is never handed over.
        boxes.clear();
        qputenv("PATH", bin_.toUtf8() + ":/usr/bin:/bin");
        writeRecordingProgram(bin_ + "/fake-mailer", record_);
        qputenv("MAILER", (bin_ + "/fake-mailer").toUtf8());
        QVERIFY(!SendMail(platform, 0,
                          TMailRequest({"attachment0=" + dir("gone.pdf").toStdString()}),
                          [&](const QString& text, const QString&) { boxes << text; })
                     .ok);
        QCOMPARE(boxes.size(), 1);
        QVERIFY(!QFile::exists(record_));
    }

    // A client that ends with an error at once failed (Thunderbird without a display); one that
    // ends with 0 (a running Thunderbird took the message) or is still running has the message.
    void aClientThatFailsAtOnceIsAnErrorOneThatStaysIsNot() {
        const QString path = dir("capture.pdf");
        writeFile(path, "pdf");
        const QString client = bin_ + "/thunderbird";
        const auto compose = [&](const QByteArray& script) {
            writeFile(client, "#!/bin/sh\n" + script);
            QFile::setPermissions(client, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
            return RunThunderbirdCompose({client}, {{}, {}, {}, QStringList{path}}, 800);
        };
        QVERIFY(
            !compose("echo 'Error: no DISPLAY environment variable specified' >&2\nexit 1\n").ok);
        QVERIFY(compose("exit 0\n").ok);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(compose("sleep 3\nexit 1\n").ok);
        QVERIFY(clock.elapsed() >= 800);

        writeFile(client, "#!/bin/sh\nexit 1\n");
        setMailtoHandler(dir("data"), dir("config"), "thunderbird.desktop", client + " %u");
        DesktopMailPlatform platform(dir("snapshots"), [] { return kNow; });
        QStringList boxes;
        const HandOverResult result =
            SendMail(platform, 0, TMailRequest({"attachment0=" + path.toStdString()}),
                     [&](const QString& text, const QString&) { boxes << text; });
        QVERIFY(!result.ok);
        QCOMPARE(boxes, QStringList{"Erreur d'envoi du mail"});
        QVERIFY2(result.reason.contains("Thunderbird"), qPrintable(result.reason));
    }

    void snapshotsOlderThanAWeekArePrunedAtStart() {
        const QString base = dir("snapshots");
        const QStringList names{"20261201T205959Z-1",
                                "20261201T210000Z-2",
                                "20261201T210001Z-3",
                                "20261208T100000Z-1",
                                "notes",
                                "20261101T000000Z"};
        for (const QString& name : names)
            writeFile(base + "/" + name + "/capture.pdf", "pdf");
        DesktopMailPlatform platform(base, [] { return kNow; });
        QStringList left = QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        left.sort();
        // Exactly a week old is still within its week.
        QCOMPARE(left, (QStringList{"20261101T000000Z", "20261201T210000Z-2", "20261201T210001Z-3",
                                    "20261208T100000Z-1", "notes"}));
    }

    // Links named like old snapshots, or inside one, lose nothing of what they point to; the
    // base itself may not be a link; a cache folder that is a link to another disk still works.
    void theCleanUpRemovesOnlyWhatItMadeAndFollowsNoLink() {
        const QString victim = dir("victim");
        writeFile(victim + "/letter.odt", "mine");
        writeFile(victim + "/photos/one.jpg", "mine too");
        const QString base = dir("snapshots");
        writeFile(base + "/20200101T000000Z-2/capture.pdf", "old");
        QVERIFY(QFile::link(victim, base + "/20200101T000000Z-1"));
        QVERIFY(QFile::link(victim, base + "/20200101T000000Z-2/inside"));
        QVERIFY(QFile::link(victim + "/letter.odt", base + "/20200101T000000Z-2/letter.odt"));

        DesktopMailPlatform platform(base, [] { return kNow; });
        QCOMPARE(readAll(victim + "/letter.odt"), QByteArray("mine"));
        QCOMPARE(readAll(victim + "/photos/one.jpg"), QByteArray("mine too"));
        QVERIFY(QFileInfo(base + "/20200101T000000Z-1").isSymLink());
        QVERIFY(!QFileInfo::exists(base + "/20200101T000000Z-2"));

        writeFile(base + "/20200101T000000Z-3/capture.pdf", "old");
        QVERIFY(QFile::link(base, dir("linked-base")));

        DesktopMailPlatform throughLink(dir("linked-base"), [] { return kNow; });
        QVERIFY(QFileInfo::exists(base + "/20200101T000000Z-3/capture.pdf"));
        QVERIFY(
            throughLink
                .handOver(TMailRequest({"attachment0=" + victim.toStdString() + "/letter.odt"}), 0)
                .reason.contains("copier"));

        // ~/.cache as a link to another disk.
        QVERIFY(QDir().mkpath(dir("otherdisk/cache")));
        QVERIFY(QFile::link(dir("otherdisk/cache"), dir("cachelink")));
        qputenv("XDG_CACHE_HOME", dir("cachelink").toUtf8());
        writeFile(dir("otherdisk/cache/velorix/mail/20200101T000000Z-1/capture.pdf"), "old");
        writeRecordingProgram(bin_ + "/fake-mailer", record_);
        qputenv("MAILER", (bin_ + "/fake-mailer").toUtf8());
        const QString original = dir("Documents/capture.pdf");
        writeFile(original, "pages");
        DesktopMailPlatform cached({}, [] { return kNow; });
        QVERIFY(!QFileInfo::exists(dir("otherdisk/cache/velorix/mail/20200101T000000Z-1")));
        const HandOverResult result =
            cached.handOver(TMailRequest({"attachment0=" + original.toStdString()}), 0);
        QVERIFY2(result.ok, qPrintable(result.reason));
        const QString attached = QUrlQuery(QUrl(recordedArguments(record_).value(0)))
                                     .queryItemValue("attach", QUrl::FullyDecoded);
        QVERIFY2(QFileInfo(attached).canonicalFilePath().startsWith(
                     dir("otherdisk/cache/velorix/mail/")),
                 qPrintable(attached));
        QCOMPARE(readAll(attached), QByteArray("pages"));
    }

    // Read from the mode bits: as root every file is writable whatever its mode.
    void snapshotsAreTheUsersAlone() {
        qputenv("XDG_CACHE_HOME", dir("fresh-cache").toUtf8());
        const QString original = dir("Documents/capture.pdf");
        writeFile(original, "pages");
        QVERIFY(QFile::setPermissions(original, QFile::permissions(original) |
                                                    QFileDevice::ReadOther |
                                                    QFileDevice::WriteOther));
        const QString copy = SnapshotForMail(original, MailSnapshotBase(), kNow);
        QVERIFY(copy.startsWith(dir("fresh-cache/velorix/mail/")));
        QCOMPARE(modeOf(copy), 0400u);
        QCOMPARE(modeOf(QFileInfo(copy).path()), 0700u);
        QCOMPARE(modeOf(dir("fresh-cache/velorix/mail")), 0700u);
        QCOMPARE(modeOf(dir("fresh-cache/velorix")), 0700u);
        QCOMPARE(readAll(copy), QByteArray("pages"));
        // The portal gets the copy read-only: the only way a normal user can open it.
        const int fd = OpenAttachmentForPortal(copy);
        QVERIFY(fd >= 0);
        QCOMPARE(::fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY);
        ::close(fd);
        // Neither a folder nor a missing file is copied.
        QVERIFY(SnapshotForMail(dir("Documents"), MailSnapshotBase(), kNow).isEmpty());
        QVERIFY(SnapshotForMail(dir("gone.pdf"), MailSnapshotBase(), kNow).isEmpty());
    }

    void nullBackendOnRequest() {
        qputenv("VELORIX_MAIL", "null");
        const std::unique_ptr<MailPlatform> platform = loadMailPlatform();
        qunsetenv("VELORIX_MAIL");
        QVERIFY(!platform->available());
        QVERIFY(!platform->handOver(TMailRequest({"attachment0=/x.pdf"}), 0).ok);
        QVERIFY(loadMailPlatform()->available());
    }
};

QTEST_GUILESS_MAIN(DesktopMailTest)
#include "DesktopMailTest.moc"
