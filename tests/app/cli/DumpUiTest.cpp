// The program as started from the command line: --dump-ui, --help, --version, bad options.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class DumpUiTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;

    struct Run {
        int code;
        QByteArray out;
        QByteArray err;
    };
    Run run(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("VELORIX_SETTINGS_FILE", iniPath());
        env.insert("VELORIX_SHELL", "null");
        // The control tree needs no scanner or printer (and the scanner libraries keep memory
        // until exit, which the leak checker of the sanitizer build would report).
        env.insert("VELORIX_SCAN_BACKEND", "null");
        env.insert("VELORIX_PRINTER", "null");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VELORIX_EXE), args);
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            return {-1, {}, "timeout"};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                p.readAllStandardOutput(), p.readAllStandardError()};
    }
    QString iniPath() const { return home.filePath("config/Velorix! 2.ini"); }

private slots:
    void dumpListsEveryNamedControlAndWritesSettings();
    void informationOptions();
    void imagesGivenAtStartBecomePages();
};

void DumpUiTest::dumpListsEveryNamedControlAndWritesSettings() {
    const Run r = run({"--dump-ui"});
    QVERIFY2(r.code == 0, r.err.constData());
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    QVERIFY(doc.isArray());

    QMap<QString, QJsonObject> byName;
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject o = v.toObject();
        const QString name = o.value("name").toString();
        QVERIFY2(!byName.contains(name), qPrintable("twice: " + name));
        byName.insert(name, o);
    }
    const QStringList expected = {"velorix_2",
                                  "Panneauhaut",
                                  "Zoom1",
                                  "moins90",
                                  "plus90",
                                  "plus180",
                                  "noiretblanc",
                                  "selection",
                                  "selectionecran",
                                  "effacer",
                                  "multi",
                                  "auto",
                                  "cbDevice",
                                  "Panneaulateral",
                                  "Panneaufondlateral",
                                  "panneauboutons",
                                  "cbGrayscale",
                                  "scanneractif",
                                  "WIA",
                                  "res",
                                  "dpi",
                                  "contrast",
                                  "Label1",
                                  "Label2",
                                  "Panneaulateralhaut",
                                  "Panneaufonbas",
                                  "scanner",
                                  "scannerimprimer",
                                  "scannerenregistrer",
                                  "scannerexporterpdf",
                                  "scannermailer",
                                  "scannermodifier",
                                  "enregistrerimage",
                                  "imprimer",
                                  "ouvririmage",
                                  "mailer",
                                  "Panneaufond",
                                  "PageControl1",
                                  "TabSheet1",
                                  "ScrollBox1",
                                  "PRPage1",
                                  "PRLayoutPanel1",
                                  "PRImage1",
                                  "MainMenu1",
                                  "Scanner1",
                                  "Scanner2",
                                  "Scannerimprimer1",
                                  "scannerenregistrer1",
                                  "ScanneretExporterlimageauformatPDF1",
                                  "ScanneretMailerlimageauformatPDF1",
                                  "SCANNERETMODIFIER1",
                                  "ENREGISTRERLIMAGE1",
                                  "N3",
                                  "Ouvriruneimage1",
                                  "Maileruneimage1",
                                  "N2",
                                  "Configurerlimprimante1",
                                  "Imprimerlimage1",
                                  "N4",
                                  "TexteCherchable1",
                                  "Quitter1",
                                  "OUTILS1",
                                  "ROTATIONIMAGE1",
                                  "N901",
                                  "N902",
                                  "N1801",
                                  "N6",
                                  "NOIRBLANC1",
                                  "N7",
                                  "SELECTIONIMAGE1",
                                  "CAPTUREDECRAN1",
                                  "N1",
                                  "AIDE1",
                                  "APROPOS1",
                                  "MONSITE1",
                                  "PopupMenu1",
                                  "Effacer1"};
    for (const QString& name : expected)
        QVERIFY2(byName.contains(name), qPrintable("missing: " + name));

    const QJsonObject window = byName.value("velorix_2");
    QCOMPARE(window.value("class").toString(), QStringLiteral("Tvelorix_2"));
    QCOMPARE(window.value("text").toString(), QStringLiteral("VELORIX! 2"));
    QCOMPARE(window.value("width").toInt(), 900);
    QCOMPARE(window.value("height").toInt(), 760);

    const QJsonObject scan = byName.value("scanner");
    QCOMPARE(scan.value("class").toString(), QStringLiteral("QToolButton"));
    QCOMPARE(scan.value("text").toString(), QStringLiteral("             SCANNER"));
    QCOMPARE(scan.value("x").toInt(), 0);
    QCOMPARE(scan.value("y").toInt(), 0);
    QCOMPARE(scan.value("width").toInt(), 257);
    QCOMPARE(scan.value("height").toInt(), 56);
    QCOMPARE(scan.value("enabled").toBool(), true);
    QCOMPARE(scan.value("visible").toBool(), true);
    QVERIFY(!scan.contains("checked"));

    QCOMPARE(byName.value("multi").value("checked").toBool(), true);
    QCOMPARE(byName.value("auto").value("checked").toBool(), false);
    QCOMPARE(byName.value("auto").value("class").toString(), QStringLiteral("QCheckBox"));
    QCOMPARE(byName.value("imprimer").value("enabled").toBool(), false);
    QCOMPARE(byName.value("Zoom1").value("toolTip").toString(), QStringLiteral("Zoom"));
    QCOMPARE(byName.value("TabSheet1").value("text").toString(), QStringLiteral("1"));
    QCOMPARE(byName.value("PRImage1").value("class").toString(), QStringLiteral("TPRImage"));

    const QJsonObject quit = byName.value("Quitter1");
    QCOMPARE(quit.value("class").toString(), QStringLiteral("QAction"));
    QCOMPARE(quit.value("text").toString(), QStringLiteral("QUITTER"));
    QVERIFY(!quit.contains("x"));
    QCOMPARE(byName.value("OUTILS1").value("enabled").toBool(), false);
    QCOMPARE(byName.value("N3").value("text").toString(), QStringLiteral("-"));

    // The window was closed the normal way: its settings are written.
    QSettings ini(iniPath(), QSettings::IniFormat);
    QCOMPARE(ini.value("Largeur").toString(), QStringLiteral("900"));
    QCOMPARE(ini.value("Hauteur").toString(), QStringLiteral("760"));
    QCOMPARE(ini.value("Scanner").toString(), QStringLiteral("-1"));
    QVERIFY(ini.contains("Haut") && ini.contains("Gauche"));
}

void DumpUiTest::informationOptions() {
    const Run help = run({"--help"});
    QCOMPARE(help.code, 0);
    QVERIFY(help.out.contains("--dump-ui"));
    const Run version = run({"--version"});
    QCOMPARE(version.code, 0);
    QVERIFY(version.out.startsWith("Velorix! 2 "));
    const Run bad = run({"--nonsense"});
    QCOMPARE(bad.code, 2);
    QVERIFY(bad.err.contains("--nonsense"));
    QVERIFY(bad.out.isEmpty());
}

// The way a file manager starts the program ("Exec=velorix %F"): each image a page, names with
// spaces, quotes and a leading dash included; the window's controls show them.
void DumpUiTest::imagesGivenAtStartBecomePages() {
    QTemporaryDir dir;
    QStringList files;
    for (const char* name : {"un.ppm", "deux l'image.ppm", "-trois.ppm"}) {
        QFile f(dir.filePath(QString::fromUtf8(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray ppm("P6\n6 8\n255\n");
        ppm.append(QByteArray(6 * 8 * 3, '\x7f'));
        f.write(ppm);
        files << f.fileName();
    }
    const auto names = [](const Run& r) {
        QSet<QString> out;
        for (const QJsonValue& v : QJsonDocument::fromJson(r.out).array())
            out << v.toObject().value("name").toString();
        return out;
    };
    QDir::setCurrent(dir.path());
    const Run r = run({"--dump-ui", files[0], files[1], "--", "-trois.ppm"});
    QVERIFY2(r.code == 0, r.err.constData());
    const QSet<QString> shown = names(r);
    QVERIFY(shown.contains("PRImage1"));
    QVERIFY(shown.contains("Page2"));
    QVERIFY(shown.contains("Page3"));
    QVERIFY(!shown.contains("Page4"));

    // Without "--" a leading dash is an option, refused before any window.
    const Run dash = run({"--dump-ui", "-trois.ppm"});
    QCOMPARE(dash.code, 2);
    QVERIFY(dash.out.isEmpty());
}

QTEST_GUILESS_MAIN(DumpUiTest)
#include "DumpUiTest.moc"
