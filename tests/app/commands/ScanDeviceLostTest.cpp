// SANE's test scanner that fails part-way through a scan, as a device does when it is unplugged
// or jams: its reads are cut after a given number with each status a device can give. The
// message comes, the pages already made stay, and the scanner works again afterwards.
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

#include <atomic>
#include <dlfcn.h>
#include <vector>

namespace {

std::atomic<int> gReadsLeft{-1}; // reads before the device fails; -1: it never does
std::atomic<SANE_Status> gFailure{SANE_STATUS_GOOD};

} // namespace

// Every read of the program goes through here before it reaches libsane.
extern "C" SANE_Status sane_read(SANE_Handle handle, SANE_Byte* data, SANE_Int max,
                                 SANE_Int* length) {
    using Read = SANE_Status (*)(SANE_Handle, SANE_Byte*, SANE_Int, SANE_Int*);
    static const auto real = reinterpret_cast<Read>(dlsym(RTLD_NEXT, "sane_read"));
    int left = gReadsLeft.load();
    while (left > 0 && !gReadsLeft.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 0) {
        // A device that is gone ends the backend's reader with the failure; the reader must not
        // be left running (cancelling the test backend's live reader thread can deadlock it
        // inside malloc, as its cancellation is asynchronous).
        std::vector<SANE_Byte> rest(static_cast<std::size_t>(max));
        SANE_Int ignored = 0;
        while (real(handle, rest.data(), max, &ignored) == SANE_STATUS_GOOD) {
        }
        *length = 0;
        return gFailure.load();
    }
    return real(handle, data, max, length);
}

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
        QVERIFY(UseSaneConfig(
            dir, "test\n",
            {{QStringLiteral("test.conf"),
              "number_of_devices 1\ntest-picture \"Color pattern\"\ngeometry_min 0.0\n"
              "geometry_max 20.0\nbr_x 20.0\nbr_y 20.0\n"
              // a page of 40 x 40 pixels comes in ten reads or so
              "read-limit true\nread-limit-size 500\n"}}));
        qunsetenv("VELORIX_SCAN_BACKEND");
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
        QVERIFY(window.cbDevice->count() > 0);
        window.cbDevice->setCurrentIndex(0);
        window.cbDeviceChange(window.cbDevice); // as the user's pick in the list
        window.res->setEditText(QStringLiteral("50"));
        window.multi->setChecked(false);

        const auto scan = [&window] {
            QVERIFY(window.Guarded([&window] { window.btnScanClick(window.scanner); }));
        };
        gReadsLeft = -1;
        scan(); // page 1
        scan(); // page 2
        QCOMPARE(window.PageCount(), 2);
        const QImage first = window.PRImage1->Picture();
        const QImage second = window.FindPageImage(2)->Picture();
        QVERIFY(!first.isNull() && !second.isNull());
        QVERIFY(prompts->seen.isEmpty());

        gFailure = static_cast<SANE_Status>(status);
        gReadsLeft = reads;
        scan(); // the device fails during page 3
        gReadsLeft = -1;
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
