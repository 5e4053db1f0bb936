// A scanner that fails part-way through a scan, as a device does when it is unplugged or jams:
// our test backend ends a scan after a given number of reads with each status a device can give,
// through the scanner worker. The message comes, the pages already made stay, and the scanner
// works again afterwards.
#include "tests/app/SaneTestConfig.h"
#include "tests/app/ScriptedPrompts.h"

#include "app/window/MainWindow.h"
#include "report/PReport.h"
#include "scan/ScanPlatform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <sane/sane.h>

namespace {

class AcceptingPrompts : public ScriptedPrompts {
public:
    int execDialog(QDialog&) override { return QDialog::Accepted; }
};

} // namespace

class ScanDeviceLostTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase() {
        QVERIFY(UseSaneConfig(dir, "velorixtest\n", {}));
        qputenv("LD_LIBRARY_PATH", VELORIX_MISBEHAVING_BACKEND_DIR);
        // reads of 500 bytes: a page of 100 x 150 pixels comes in ninety reads
        qputenv("VELORIXTEST_FAIL_FILE", dir.filePath(QStringLiteral("fail")).toUtf8());
        qunsetenv("VELORIX_SCAN_BACKEND");
        qunsetenv("VELORIXTEST_LIST");
    }

    void failureAtEveryRead_data() {
        QTest::addColumn<int>("reads");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const std::pair<const char*, SANE_Status> statuses[] = {
            {"IO_ERROR", SANE_STATUS_IO_ERROR},
            {"JAMMED", SANE_STATUS_JAMMED},
            {"NO_DOCS", SANE_STATUS_NO_DOCS},
            {"COVER_OPEN", SANE_STATUS_COVER_OPEN},
            {"DEVICE_BUSY", SANE_STATUS_DEVICE_BUSY},
            {"NO_MEM", SANE_STATUS_NO_MEM},
            {"ACCESS_DENIED", SANE_STATUS_ACCESS_DENIED},
            {"INVAL", SANE_STATUS_INVAL},
            {"UNSUPPORTED", SANE_STATUS_UNSUPPORTED},
            {"EOF", SANE_STATUS_EOF},
            {"CANCELLED", SANE_STATUS_CANCELLED}};
        for (const int reads : {0, 3}) { // at the first read, and part-way through the page
            for (const auto& [name, status] : statuses) {
                // A page that ends early after some lines keeps them (sheet-fed devices
                // announce the longest page): no message.
                QTest::addRow("%s after %d reads", name, reads)
                    << reads << int(status)
                    << (status == SANE_STATUS_CANCELLED ? QStringLiteral("Scanning annulé")
                        : status == SANE_STATUS_EOF && reads > 0
                            ? QString()
                            : QStringLiteral("Erreur pendant le "
                                             "scanning"));
            }
        }
    }

    void failureAtEveryRead() {
        QFETCH(int, reads);
        QFETCH(int, status);
        QFETCH(QString, message);
        auto prompts = std::make_shared<AcceptingPrompts>();
        velorix::Services services;
        services.prompts = prompts;
        services.settings = std::make_shared<MemorySettings>();
        services.shell = std::make_shared<RecordingShell>();
        services.scanner = velorix::scan::LoadScanPlatform();
        velorix::Tvelorix_2 window(services);
        window.FormShow(&window);
        const int good =
            window.cbDevice->findText(QStringLiteral("(velorixtest:good)"), Qt::MatchEndsWith);
        QVERIFY(good >= 0);
        window.cbDevice->setCurrentIndex(good);
        window.cbDeviceChange(window.cbDevice); // as the user's pick in the list
        window.res->setEditText(QStringLiteral("50"));
        window.multi->setChecked(false);

        const auto scan = [&window] {
            QVERIFY(window.Guarded([&window] { window.btnScanClick(window.scanner); }));
        };
        const QString failFile = dir.filePath(QStringLiteral("fail"));
        QFile::remove(failFile);
        scan(); // page 1
        scan(); // page 2
        QCOMPARE(window.PageCount(), 2);
        const QImage first = window.PRImage1->Picture();
        const QImage second = window.FindPageImage(2)->Picture();
        QVERIFY(!first.isNull() && !second.isNull());
        QVERIFY(prompts->seen.isEmpty());

        QVERIFY(
            WriteTestFile(failFile, QByteArray::number(status) + ' ' + QByteArray::number(reads)));
        scan(); // the device fails during page 3
        QVERIFY(QFile::remove(failFile));
        if (message.isEmpty()) {
            QVERIFY(prompts->seen.isEmpty());
            const QImage short3 = window.FindPageImage(3)->Picture();
            QVERIFY(!short3.isNull() && short3.height() < second.height());
        } else {
            QCOMPARE(prompts->texts(ScriptedPrompts::Kind::Inform), QStringList{message});
        }
        QCOMPARE(window.PRImage1->Picture(), first);
        QCOMPARE(window.FindPageImage(2)->Picture(), second);

        // Back again: the next scan adds its page.
        prompts->seen.clear();
        const int pages = window.PageCount();
        scan();
        QVERIFY(prompts->seen.isEmpty());
        QCOMPARE(window.PageCount(), pages + 1);
        QVERIFY(!window.FindPageImage(pages + 1)->Picture().isNull());
    }
};

QTEST_MAIN(ScanDeviceLostTest)
#include "ScanDeviceLostTest.moc"
