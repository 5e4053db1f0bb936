// The command-line modes given hostile file and folder names: each file is found and written at
// its exact path, and nothing is ever run through a shell.
#include "tests/app/HostileNames.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace velorix::testing;

class HostilePathsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    struct Run {
        int code = -1;
        QByteArray out, err;
    };
    Run run(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.path());
        env.insert("VELORIX_SETTINGS", "null");
        env.insert("VELORIX_SHELL", "null");
        env.insert("VELORIX_SCAN_BACKEND", "null");
        env.insert("VELORIX_PRINTER", "null");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(VELORIX_EXE), args);
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            return {};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                p.readAllStandardOutput(), p.readAllStandardError()};
    }

    // One small picture per hostile name, in a folder with a hostile name.
    QStringList hostileImages() {
        const QString folder = hostileFolder(dir.path());
        QStringList files;
        for (const QString& name : hostileNames()) {
            QFile f(folder + QLatin1Char('/') + name + QStringLiteral(".ppm"));
            if (!f.open(QIODevice::WriteOnly))
                return {};
            f.write(QByteArray("P6\n6 8\n255\n") + QByteArray(6 * 8 * 3, '\x40'));
            files << f.fileName();
        }
        return files;
    }

    bool nothingRan() const {
        QDirIterator it(dir.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            if (it.next().endsWith(QStringLiteral("/pwned")))
                return false;
        return true;
    }

private slots:
    void pdfFindsEveryImageAndWritesTheExactFile() {
        const QStringList images = hostileImages();
        QVERIFY(!images.isEmpty());
        for (const QString& name : hostileNames()) {
            const QString output =
                hostileFolder(dir.path()) + QLatin1Char('/') + name + QStringLiteral(".pdf");
            const Run r = run(QStringList{"--pdf", "--", output} + images);
            QVERIFY2(r.code == 0, r.err.constData());
            QFile pdf(output);
            QVERIFY2(pdf.open(QIODevice::ReadOnly), qPrintable(output));
            QCOMPARE(pdf.readAll().count("/Type /Page\r\n"), images.size());
        }
        QVERIFY(nothingRan());
        // Without "--" a leading dash is an unknown option: refused, nothing written.
        const Run dash = run({"--pdf", "-sortie.pdf", images.first()});
        QCOMPARE(dash.code, 2);
        QVERIFY(!QFile::exists(dir.filePath("-sortie.pdf")));
    }

    void imagesAtStartOpenAsPages() {
        const QStringList images = hostileImages();
        QVERIFY(!images.isEmpty());
        const Run r = run(QStringList{"--dump-ui", "--"} + images);
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY(r.out.contains("\"PRImage1\""));
        QVERIFY(r.out.contains(QStringLiteral("\"Page%1\"").arg(images.size()).toUtf8()));
        QVERIFY(!r.out.contains(QStringLiteral("\"Page%1\"").arg(images.size() + 1).toUtf8()));
        QVERIFY(nothingRan());
    }
};

QTEST_GUILESS_MAIN(HostilePathsTest)
#include "HostilePathsTest.moc"
