// The desktop hand-over for real, on a display of its own: the shell layer asks the desktop
// (xdg-open here) to open a file, and the program the desktop picks, a recorder installed for
// this test, must receive the exact path, however hostile the file's and its folder's names;
// nothing runs through a shell.
#include "app/platform/qt/DesktopShell.h"
#include "tests/app/HostileNames.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace velorix::testing;

class DesktopShellTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString record() const { return dir.filePath(QStringLiteral("record")); }

    static bool write(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

    // The arguments the recorder received, or nothing after ten seconds.
    QStringList received() const {
        QFile f(record());
        for (int i = 0; i < 200 && !(f.exists() && f.size() > 0); ++i)
            QTest::qWait(50);
        QTest::qWait(50);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList args = QString::fromUtf8(f.readAll()).split(QChar(0));
        args.removeLast(); // after the last terminator
        return args;
    }

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
            QSKIP("xdg-open is not installed");
        // A desktop of our own: its default program for pictures and PDF files is the recorder.
        const QString apps = dir.filePath(QStringLiteral("data/applications"));
        QVERIFY(QDir().mkpath(apps));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("config"))));
        const QString recorder = dir.filePath(QStringLiteral("recorder"));
        QVERIFY(write(recorder, "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$VELORIX_TEST_RECORD.part\"\n"
                                "mv \"$VELORIX_TEST_RECORD.part\" \"$VELORIX_TEST_RECORD\"\n"));
        QVERIFY(QFile::setPermissions(recorder,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(
            write(apps + QStringLiteral("/velorix-recorder.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + recorder.toUtf8() +
                      " %f\nMimeType=image/jpeg;image/bmp;application/pdf;\n"));
        QVERIFY(write(dir.filePath(QStringLiteral("config/mimeapps.list")),
                      "[Default Applications]\nimage/jpeg=velorix-recorder.desktop\n"
                      "image/bmp=velorix-recorder.desktop\n"
                      "application/pdf=velorix-recorder.desktop\n"));
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
        qputenv("VELORIX_TEST_RECORD", record().toUtf8());
        // None of the caller's desktop: its handlers, session and browser stay out.
        qputenv("XDG_DATA_DIRS", dir.filePath(QStringLiteral("datadirs")).toUtf8());
        qputenv("XDG_CONFIG_DIRS", dir.filePath(QStringLiteral("configdirs")).toUtf8());
        qputenv("BROWSER", "false");
        for (const char* name :
             {"XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
              "KDE_SESSION_VERSION", "GNOME_DESKTOP_SESSION_ID"})
            qunsetenv(name);
    }

    void theExactPathArrives() {
        const QString folder = hostileFolder(dir.path());
        velorix::DesktopShell shell;
        // The desktop picks the program by the content: a JPEG image and a PDF document.
        const std::pair<const char*, QByteArray> files[] = {
            {".jpg", QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11)},
            {".pdf", QByteArray("%PDF-1.4\n")}};
        for (const QString& name : hostileNames()) {
            for (const auto& [ext, content] : files) {
                const QString path = folder + QLatin1Char('/') + name + QLatin1String(ext);
                QVERIFY(write(path, content));
                QFile::remove(record());
                QVERIFY(shell.openFile(path));
                QCOMPARE(received(), QStringList{path});
            }
        }
        QVERIFY(!QFile::exists(folder + QStringLiteral("/pwned")));
        QVERIFY(!QFile::exists(QStringLiteral("pwned")));
    }
};

QTEST_MAIN(DesktopShellTest)
#include "DesktopShellTest.moc"
