// The window's stored place and size: first run, second run, minimum size, bad values, and the
// INI backend itself.
#include "tests/app/ScriptedPrompts.h"

#include "app/platform/qt/QSettingsStore.h"

#include "app/window/MainWindow.h"
#include <QSettings>

#include <QComboBox>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

using velorix::Tvelorix_2;

class SettingsTest : public QObject {
    Q_OBJECT

    static QRect screenArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void firstRunIsCentredAndWrittenOnClose();
    void secondRunRestores();
    void minimumSize_data();
    void minimumSize();
    void badValuesKeepTheFormValue_data();
    void badValuesKeepTheFormValue();
    void positionOffEveryScreenIsBroughtBack();
    void iniBackendRoundTrip();
    void paperChoiceRemembered();
    void loaderHonoursItsVariables();
};

void SettingsTest::firstRunIsCentredAndWrittenOnClose() {
    TestServices doubles;
    {
        Tvelorix_2 window(doubles.services());
        QCOMPARE(window.size(), QSize(900, 760));
        const QRect area = screenArea();
        QCOMPARE(window.x(), area.x() + (area.width() - 900) / 2);
        QCOMPARE(window.y(), area.y() + (area.height() - 760) / 2);
        QVERIFY(!doubles.settings->exists);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.close();
        QVERIFY(doubles.settings->exists);
        QCOMPARE(doubles.settings->values.value("Haut"), QString::number(window.y()));
        QCOMPARE(doubles.settings->values.value("Gauche"), QString::number(window.x()));
    }
    QCOMPARE(doubles.settings->values.keys(),
             QStringList({"Gauche", "Haut", "Hauteur", "Largeur", "NomScanner", "QualitePDF",
                          "Scanner", "TexteCherchable"}));
    QCOMPARE(doubles.settings->values.value("QualitePDF"), QStringLiteral("0"));
    QCOMPARE(doubles.settings->values.value("NomScanner"), QString());
    QCOMPARE(doubles.settings->values.value("TexteCherchable"), QStringLiteral("0"));
    QCOMPARE(doubles.settings->values.value("Largeur"), QStringLiteral("900"));
    QCOMPARE(doubles.settings->values.value("Hauteur"), QStringLiteral("760"));
    QCOMPARE(doubles.settings->values.value("Scanner"), QStringLiteral("-1"));
}

void SettingsTest::secondRunRestores() {
    TestServices doubles;
    doubles.settings->exists = true;
    const QRect area = screenArea();
    doubles.settings->values = {{"Haut", QString::number(area.y() + 7)},
                                {"Gauche", QString::number(area.x() + 11)},
                                {"Largeur", "1000"},
                                {"Hauteur", "800"},
                                {"Scanner", "1"}};
    Tvelorix_2 window(doubles.services());
    QCOMPARE(window.pos(), area.topLeft() + QPoint(11, 7));
    QCOMPARE(window.size(), QSize(1000, 800));
    // The scanner list is filled only when the window shows: nothing to select yet.
    QCOMPARE(window.cbDevice->currentIndex(), -1);

    window.resize(1100, 820);
    window.close();
    QCOMPARE(doubles.settings->values.value("Largeur"), QStringLiteral("1100"));
    QCOMPARE(doubles.settings->values.value("Hauteur"), QStringLiteral("820"));

    // "Texte cherchable (OCR)": off by default, remembered as soon as it is chosen.
    QVERIFY(window.TexteCherchable1->isCheckable());
    QVERIFY(window.TexteCherchable1->isEnabled());
    QVERIFY(!window.TexteCherchable1->isChecked());
    QCOMPARE(window.TexteCherchable1->text(), QStringLiteral("Texte cherchable (OCR)"));
    window.TexteCherchable1->trigger();
    QVERIFY(window.SearchableText());
    QCOMPARE(doubles.settings->values.value("TexteCherchable"), QStringLiteral("1"));
    Tvelorix_2 next(doubles.services());
    QVERIFY(next.SearchableText());
    QVERIFY(next.TexteCherchable1->isChecked());

    // "Qualité du PDF": "Sans perte" until another is chosen, which is remembered at once; a
    // stored value out of range keeps the default.
    QVERIFY(next.SansPerte1->isChecked());
    QCOMPARE(next.QualitePDF1->title(), QStringLiteral("Qualité du PDF"));
    QCOMPARE(next.TexteTresCompacte1->text(), QStringLiteral("Texte (très compacte)"));
    next.TexteTresCompacte1->trigger();
    QVERIFY(next.TexteTresCompacte1->isChecked());
    QVERIFY(!next.SansPerte1->isChecked());
    QCOMPARE(next.PdfQuality(), TPdfQuality::Text);
    QCOMPARE(doubles.settings->values.value("QualitePDF"), QStringLiteral("2"));
    {
        Tvelorix_2 third(doubles.services());
        QCOMPARE(third.PdfQuality(), TPdfQuality::Text);
        QVERIFY(third.TexteTresCompacte1->isChecked());
        QCOMPARE(third.FindPageImage(1)->PdfQuality(), TPdfQuality::Text);
    }
    doubles.settings->values["QualitePDF"] = QStringLiteral("7");
    Tvelorix_2 fourth(doubles.services());
    QCOMPARE(fourth.PdfQuality(), TPdfQuality::Lossless);
}

void SettingsTest::minimumSize_data() {
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("got");
    QTest::newRow("both too small") << QSize(700, 500) << QSize(900, 760);
    QTest::newRow("too low") << QSize(1200, 700) << QSize(1200, 760);
    QTest::newRow("too narrow") << QSize(800, 900) << QSize(900, 900);
    QTest::newRow("large enough") << QSize(1000, 800) << QSize(1000, 800);
}

void SettingsTest::minimumSize() {
    QFETCH(QSize, asked);
    QFETCH(QSize, got);
    TestServices doubles;
    Tvelorix_2 window(doubles.services());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(asked);
    QTRY_COMPARE(window.size(), got);

    // A stored size below the minimum is raised the same way.
    TestServices stored;
    stored.settings->exists = true;
    stored.settings->values = {{"Largeur", QString::number(asked.width())},
                               {"Hauteur", QString::number(asked.height())}};
    Tvelorix_2 restored(stored.services());
    QCOMPARE(restored.size(), got);
}

void SettingsTest::badValuesKeepTheFormValue_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("empty") << "";
    QTest::newRow("letters") << "abc";
    QTest::newRow("trailing garbage") << "900px";
    QTest::newRow("fraction") << "12.5";
    QTest::newRow("hexadecimal") << "$384";
    QTest::newRow("too large") << "99999999999";
}

void SettingsTest::badValuesKeepTheFormValue() {
    QFETCH(QString, value);
    const QRect area = screenArea();
    TestServices doubles;
    doubles.settings->exists = true;
    doubles.settings->values = {{"Haut", value},
                                {"Gauche", QString::number(area.x() + 3)},
                                {"Largeur", value},
                                {"Hauteur", "790"},
                                {"Scanner", value}};
    Tvelorix_2 window(doubles.services());
    // Each bad value keeps its own default; the good ones still apply.
    QCOMPARE(window.y(), 133);
    QCOMPARE(window.x(), area.x() + 3);
    QCOMPARE(window.width(), 900);
    QCOMPARE(window.height(), 790);
    QCOMPARE(window.cbDevice->currentIndex(), -1);
    window.close();
    QCOMPARE(doubles.settings->values.value("Largeur"), QStringLiteral("900"));
}

void SettingsTest::positionOffEveryScreenIsBroughtBack() {
    QRect all;
    for (QScreen* s : QGuiApplication::screens())
        all |= s->geometry();
    const QRect area = screenArea();
    const QList<QPoint> lost = {all.bottomRight() + QPoint(500, 500),
                                all.topLeft() - QPoint(5000, 5000),
                                QPoint(all.x() + 10, all.bottom() - 5)};
    for (const QPoint& at : lost) {
        TestServices doubles;
        doubles.settings->exists = true;
        doubles.settings->values = {{"Haut", QString::number(at.y())},
                                    {"Gauche", QString::number(at.x())},
                                    {"Largeur", "1000"},
                                    {"Hauteur", "800"}};
        Tvelorix_2 window(doubles.services());
        QCOMPARE(window.size(), QSize(1000, 800));
        QCOMPARE(window.pos(), QPoint(area.x() + (area.width() - 1000) / 2,
                                      area.y() + (area.height() - 800) / 2));
    }
}

void SettingsTest::iniBackendRoundTrip() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("sub/Velorix! 2.ini"));
    {
        velorix::QSettingsStore store(path);
        QVERIFY(store.available());
        QVERIFY(!store.keyExists());
        QVERIFY(!store.read(QStringLiteral("Haut")));
        store.write(QStringLiteral("Haut"), QStringLiteral("-12"));
        store.write(QStringLiteral("Scanner"), QStringLiteral("-1"));
        store.flush();
    }
    QVERIFY(QFile::exists(path));
    velorix::QSettingsStore again(path);
    QVERIFY(again.keyExists());
    QCOMPARE(again.read(QStringLiteral("Haut")), std::optional<QString>(QStringLiteral("-12")));
    QCOMPARE(velorix::readIntSetting(again, QStringLiteral("Scanner")), std::optional<int>(-1));
    QVERIFY(!again.read(QStringLiteral("Largeur")));

    // A file as Qt's INI format writes it is read, but serialised values are never interpreted:
    // one claiming a 54 GB array once made the first read allocate it.
    const QString qtFile = dir.filePath(QStringLiteral("qt.ini"));
    QFile raw(qtFile);
    QVERIFY(raw.open(QIODevice::WriteOnly));
    raw.write("[General]\nLargeur=640\nHauteur=@ByteArray(xxxx)\n"
              "Gauche=@Variant(\\0\\0\\0\\tq\\x82\\xe4\\xe5\\x30)\n");
    raw.close();
    velorix::QSettingsStore mixed(qtFile);
    QCOMPARE(velorix::readIntSetting(mixed, QStringLiteral("Largeur")), std::optional<int>(640));
    QCOMPARE(mixed.read(QStringLiteral("Hauteur")),
             std::optional<QString>(QStringLiteral("@ByteArray(xxxx)")));
    QVERIFY(!velorix::readIntSetting(mixed, QStringLiteral("Gauche")));

    // The default file lives in the (test-mode) configuration folder, never beside the sources.
    QVERIFY(velorix::QSettingsStore::defaultIniPath().endsWith(QStringLiteral("/Velorix! 2.ini")));
    QVERIFY(velorix::QSettingsStore::defaultIniPath().contains(QStringLiteral("qttest")));
}

// The source per scanner, by names holding what drivers put in them (slashes, colons,
// brackets), the format and the blank-page switch for all, through the INI file itself.
void SettingsTest::paperChoiceRemembered() {
    using velorix::scan::OfferedSource;
    using velorix::scan::PaperSize;
    using velorix::scan::SourceKind;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Velorix! 2.ini"));
    const QStringList scanners{QStringLiteral("HP Officejet (hpaio:/usb/Officejet_4630?serial=X)"),
                               QStringLiteral("Velorix canon (velorixfeeder:canon)"),
                               QStringLiteral("Flat [1] (test:0)")};
    const std::vector<OfferedSource> three{{SourceKind::Flatbed, "Flatbed"},
                                           {SourceKind::Feeder, "ADF"},
                                           {SourceKind::Duplex, "Duplex"}};
    auto open = [&](Tvelorix_2& window, int scanner, const std::vector<OfferedSource>& sources) {
        window.cbDevice->clear();
        window.cbDevice->addItems(scanners);
        window.cbDevice->setCurrentIndex(scanner);
        window.SetScannerSources(sources);
    };
    TestServices doubles;
    {
        velorix::Services services = doubles.services();
        services.settings = std::make_shared<velorix::QSettingsStore>(path);
        Tvelorix_2 window(services);
        QCOMPARE(window.ChosenPaper(), PaperSize::Bed); // today's whole bed at first
        QVERIFY(!window.SkipBlankPages());
        for (int scanner : {0, 1}) {
            open(window, scanner, three);
            QVERIFY(!window.cbSource->isHidden());
            QCOMPARE(window.cbSource->currentText(), QStringLiteral("Vitre"));
            window.cbSource->setCurrentIndex(scanner == 0 ? 2 : 1);
            window.cbSourceChange(window.cbSource);
        }
        open(window, 2, {{SourceKind::Flatbed, "Flatbed"}});
        QVERIFY(window.cbSource->isHidden()); // one source: no choice to show
        window.cbFormat->setCurrentIndex(window.cbFormat->findText(QStringLiteral("Légal US")));
        window.cbFormatChange(window.cbFormat);
        window.IgnorerPagesBlanches1->setChecked(true);
        window.IgnorerPagesBlanches1Click(window.IgnorerPagesBlanches1);
    }
    velorix::Services services = doubles.services();
    services.settings = std::make_shared<velorix::QSettingsStore>(path);
    Tvelorix_2 window(services);
    QCOMPARE(window.ChosenPaper(), PaperSize::Legal);
    QVERIFY(window.SkipBlankPages());
    open(window, 0, three);
    QCOMPARE(window.cbSource->currentText(), QStringLiteral("Chargeur recto-verso"));
    QCOMPARE(window.ChosenSource()->driverName, std::string("Duplex"));
    open(window, 1, three);
    QCOMPARE(window.cbSource->currentText(), QStringLiteral("Chargeur"));
    // A stored source the scanner no longer has: its first one.
    open(window, 0, {{SourceKind::Flatbed, "Flatbed"}, {SourceKind::Feeder, "ADF"}});
    QCOMPARE(window.cbSource->currentText(), QStringLiteral("Vitre"));
}

void SettingsTest::loaderHonoursItsVariables() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chosen.ini"));
    qputenv("VELORIX_SETTINGS_FILE", path.toUtf8());
    {
        auto store = velorix::loadSettingsStore();
        store->write(QStringLiteral("Gauche"), QStringLiteral("5"));
        store->flush();
    }
    QVERIFY(QFile::exists(path));
    qputenv("VELORIX_SETTINGS", "null");
    {
        auto store = velorix::loadSettingsStore();
        QVERIFY(!store->available());
        store->write(QStringLiteral("Gauche"), QStringLiteral("5"));
        QVERIFY(!store->keyExists());
        QVERIFY(!store->read(QStringLiteral("Gauche")));
    }
    qunsetenv("VELORIX_SETTINGS");
    qunsetenv("VELORIX_SETTINGS_FILE");
}

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
