// velorix --scan-pdf from the command line, scanning SANE's test device.
#include "tests/app/HostileNames.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class CliScanTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    struct Run {
        int code;
        QString err;
    };
    // The test device alone, on a 40 mm bed; extra lines configure it further.
    Run run(const QStringList& args, const QByteArray& extraConfig = {}) {
        const QString sane = dir.filePath(QStringLiteral("sane.d"));
        QDir().mkpath(sane);
        QFile dll(sane + QStringLiteral("/dll.conf"));
        dll.open(QIODevice::WriteOnly);
        dll.write("test\n");
        dll.close();
        QFile conf(sane + QStringLiteral("/test.conf"));
        conf.open(QIODevice::WriteOnly);
        conf.write("number_of_devices 2\ntest-picture \"Color pattern\"\ngeometry_min 0.0\n"
                   "geometry_max 40.0\nbr_x 40.0\nbr_y 40.0\n" +
                   extraConfig);
        conf.close();
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SANE_CONFIG_DIR"), sane);
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("VELORIX_SCAN_BACKEND"));
        if (env.contains(QStringLiteral("ASAN_OPTIONS"))) {
            // SANE's test backend leaves its reader thread's buffer behind when a scan ends, inside
            // a library unloaded at exit where no suppression can name it. Our own code's leaks
            // are checked in-process by the scanner and scan command tests.
            env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                           QStringLiteral(":detect_leaks=0"));
        }
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VELORIX_EXE), QStringList{QStringLiteral("--scan-pdf")} + args);
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            return {-1, QStringLiteral("timeout")};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardError())};
    }
    QString out(const char* name) const { return dir.filePath(QLatin1String(name)); }
    static QString pdfInfo(const QString& file) {
        QProcess p;
        p.start(QStringLiteral("pdfinfo"), {file});
        p.waitForFinished();
        return QString::fromUtf8(p.readAllStandardOutput());
    }

private slots:
    void scansPagesIntoOnePdf() {
        const Run r =
            run({out("a.pdf"), QStringLiteral("--pages"), QStringLiteral("3"),
                 QStringLiteral("--gray"), QStringLiteral("--resolution"), QStringLiteral("50")});
        QCOMPARE(r.code, 0);
        QVERIFY(
            pdfInfo(out("a.pdf")).contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))));

        // By the listed name or by SANE's device name.
        QCOMPARE(run({out("b.pdf"), QStringLiteral("--device"),
                      QStringLiteral("Noname frontend-tester (test:1)")})
                     .code,
                 0);
        QCOMPARE(run({out("c.pdf"), QStringLiteral("--device"), QStringLiteral("test:1")}).code, 0);
        QVERIFY(
            pdfInfo(out("c.pdf")).contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))));
    }

    // The file is written at its exact path, whatever its name and its folder's; nothing runs.
    void hostileNamesArriveExactly() {
        const QString folder = velorix::testing::hostileFolder(dir.path());
        for (const QString& name : velorix::testing::hostileNames()) {
            const QString output = folder + QLatin1Char('/') + name + QStringLiteral(".pdf");
            const Run r = run({QStringLiteral("--resolution"), QStringLiteral("25"),
                               QStringLiteral("--"), output});
            QVERIFY2(r.code == 0, qPrintable(r.err));
            QVERIFY2(QFile::exists(output), qPrintable(output));
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(),
                 velorix::testing::hostileNames().size());
        QVERIFY(!QFile::exists(folder + QStringLiteral("/pwned")));
        QVERIFY(!QFile::exists(QStringLiteral("pwned")));
    }

    // --ocr reaches the recognition: without the language data the message names the packages
    // and the PDF is written all the same.
    void ocrWithAndWithoutLanguageData() {
        const QStringList args{QStringLiteral("--ocr"), QStringLiteral("--resolution"),
                               QStringLiteral("50")};
        Run r = run(QStringList{out("ocr.pdf")} + args);
        QVERIFY2(r.code == 0 && !r.err.contains(QStringLiteral("tesseract")), qPrintable(r.err));
        QTemporaryDir noData;
        qputenv("TESSDATA_PREFIX", noData.path().toLocal8Bit());
        r = run(QStringList{out("plain.pdf")} + args);
        qunsetenv("TESSDATA_PREFIX");
        QCOMPARE(r.code, 0);
        QVERIFY2(r.err.contains(QStringLiteral("installez les paquets tesseract-ocr-fra et "
                                               "tesseract-ocr-eng")),
                 qPrintable(r.err));
        QVERIFY(pdfInfo(out("plain.pdf"))
                    .contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))));
    }

    // The format is the area from the bed's corner; blank sides are left out, and a PDF of
    // blank sides only is no PDF; the test device's feeder gives its ten sheets in one run; a
    // source the scanner lacks is refused.
    void sourceFormatAndBlankSides() {
        const QByteArray wideBed = "geometry_max 220.0\nbr_x 220.0\nbr_y 220.0\n";
        Run r = run({out("a5.pdf"), QStringLiteral("--paper"), QStringLiteral("a5"),
                     QStringLiteral("--resolution"), QStringLiteral("25"),
                     QStringLiteral("--source"), QStringLiteral("flatbed")},
                    wideBed);
        QCOMPARE(r.code, 0);
        QProcess images;
        images.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), out("a5.pdf")});
        QVERIFY(images.waitForFinished());
        // 148 x 210 mm at 25 dpi, give or take the driver's rounding
        QVERIFY2(QString::fromUtf8(images.readAllStandardOutput())
                     .contains(QRegularExpression(QStringLiteral("\\s14[56]\\s+20[67]\\s"))),
                 "the page is not A5");

        r = run({out("white.pdf"), QStringLiteral("--skip-blank"), QStringLiteral("--pages"),
                 QStringLiteral("2"), QStringLiteral("--resolution"), QStringLiteral("50")},
                "test-picture \"Solid white\"\n");
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("toutes les pages scannées sont blanches")),
                 qPrintable(r.err));
        QVERIFY(!QFile::exists(out("white.pdf")));
        QCOMPARE(run({out("kept.pdf"), QStringLiteral("--skip-blank")}).code, 0);

        r = run({out("feeder.pdf"), QStringLiteral("--source"), QStringLiteral("feeder"),
                 QStringLiteral("--resolution"), QStringLiteral("25")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(pdfInfo(out("feeder.pdf"))
                    .contains(QRegularExpression(QStringLiteral("Pages:\\s+10\\n"))));
        r = run({out("duplex.pdf"), QStringLiteral("--source"), QStringLiteral("duplex")});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("ne propose pas « Chargeur recto-verso »")),
                 qPrintable(r.err));
        QVERIFY(!QFile::exists(out("duplex.pdf")));
        for (const QStringList& bad :
             {QStringList{QStringLiteral("--paper"), QStringLiteral("A4")},
              QStringList{QStringLiteral("--source"), QStringLiteral("adf")},
              QStringList{QStringLiteral("--pages"), QStringLiteral("all")}})
            QCOMPARE(run(QStringList{out("bad.pdf")} + bad).code, 2);
    }

    void failuresWriteNothing() {
        Run r = run({out("x.pdf"), QStringLiteral("--device"), QStringLiteral("nope")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("scanner introuvable : nope")));
        r = run({out("x.pdf"), QStringLiteral("--resolution"), QStringLiteral("abc")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("Résolution non valide")));
        QVERIFY(!QFile::exists(out("x.pdf")));

        QCOMPARE(run({out("x.pdf"), QStringLiteral("--pages"), QStringLiteral("0")}).code, 2);
        QCOMPARE(run({out("x.pdf"), QStringLiteral("--bogus")}).code, 2);
        QCOMPARE(run({}).code, 2);

        // A device failure on the second page: an existing file stays as it was.
        QFile keep(out("keep.pdf"));
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("old");
        keep.close();
        r = run({out("keep.pdf"), QStringLiteral("--pages"), QStringLiteral("2")},
                "read-status-code \"SANE_STATUS_JAMMED\"\n");
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("Erreur pendant le scanning")));
        QVERIFY(keep.open(QIODevice::ReadOnly));
        QCOMPARE(keep.readAll(), QByteArray("old"));
    }
};

QTEST_MAIN(CliScanTest)
#include "ScanPdfCommandTest.moc"
