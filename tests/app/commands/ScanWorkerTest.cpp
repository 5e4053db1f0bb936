// The scanner drivers in their worker process, with a backend of our own whose devices crash,
// exit, hang, stall, print or send odd data, and a worker of our own that floods, shrinks its
// block or lies about its page: through the window (the message naming the scanner, the pages
// kept, the next scan working) and through --scan-pdf (non-zero, nothing written).
#include "tests/app/PickScanner.h"
#include "tests/app/SaneTestConfig.h"
#include "tests/app/ScriptedPrompts.h"

#include "app/window/MainWindow.h"
#include "report/PReport.h"
#include "scan/ScanPlatform.h"
#include "scan/ScannerComponent.h"
#include "scan/client/Watchdog.h"
#include "scan/client/WorkerPlatform.h"
#include "scan/client/WorkerProcess.h"
#include "scan/link/WorkerLink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <QDir>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// While set, a SIGKILL this program sends stops its target instead, as a process stuck in the
// kernel outlives the signal; the target is kept for the test to end.
std::atomic<bool> killIsIgnored{false};
std::atomic<pid_t> survivor{0};

} // namespace

// Qt's process class sends its signals through kill(): this one comes first.
extern "C" int kill(pid_t pid, int sig) {
    if (sig == SIGKILL && killIsIgnored && pid > 0) {
        survivor = pid;
        sig = SIGSTOP;
    }
    return static_cast<int>(::syscall(SYS_kill, pid, sig));
}

namespace {

// The blocks of shared memory this user's workers have in /dev/shm, and those this process
// holds open or mapped.
QStringList BlocksInShm() {
    return QDir(QStringLiteral("/dev/shm"))
        .entryList({QStringLiteral("velorix-scan-*")}, QDir::Files | QDir::System);
}
// The blocks of `now` not in `before` that a worker of this test may have left: made by a
// child of this process, or by a process that is gone. /dev/shm is shared by every test running
// at the same time: another test's worker, alive and not ours, makes and removes its own.
QStringList BlocksLeftSince(const QStringList& before, const QStringList& now) {
    QStringList left;
    for (const QString& name : now) {
        if (before.contains(name))
            continue;
        // "velorix-scan-PID-N-RANDOM", PID the process that made it
        const QString pid = name.section(QLatin1Char('-'), 2, 2);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) {
            left << name; // its maker is gone
            continue;
        }
        // "PID (NAME) STATE PPID ...": the name may hold spaces, so from its last ')'
        const QByteArray fields = stat.readAll();
        const QList<QByteArray> after = fields.mid(fields.lastIndexOf(')') + 2).split(' ');
        if (after.size() > 1 && after[1].toLongLong() == ::getpid())
            left << name;
    }
    return left;
}
int BlocksHeld() {
    int held = 0;
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (maps.open(QIODevice::ReadOnly))
        held += static_cast<int>(maps.readAll().count("velorix-scan-"));
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System))
        held += fd.symLinkTarget().contains(QLatin1String("velorix-scan-")) ? 1 : 0;
    return held;
}

// A progress window whose "Annuler" is clicked a moment after it shows.
class ClickingProgress : public velorix::scan::IScanProgress {
public:
    explicit ClickingProgress(int afterMs) : afterMs_(afterMs) {}
    void Show() override {
        shown_ = true;
        clock_.start();
    }
    bool IsShown() const override { return shown_; }
    void SetDone(double) override {}
    bool CancelRequested() const override {
        return afterMs_ >= 0 && shown_ && clock_.elapsed() >= afterMs_;
    }
    void Finish() override {}

private:
    int afterMs_;
    bool shown_ = false;
    QElapsedTimer clock_;
};

class WorkerPrompts : public ScriptedPrompts {
public:
    int cancelAfterMs = -1;      // -1: never
    int cancelCallsAfterMs = -1; // the same for the windows of calls other than scans
    QStringList windows;         // the text of every progress window made
    int execDialog(QDialog&) override { return QDialog::Accepted; }
    std::unique_ptr<velorix::scan::IScanProgress>
    scanProgress(const std::string& title, const std::string& text, bool cancellable) override {
        windows << QString::fromStdString(text);
        const bool scan = title == "Numérisation";
        return std::make_unique<ClickingProgress>(!cancellable ? -1
                                                  : scan       ? cancelAfterMs
                                                               : cancelCallsAfterMs);
    }
};

const QString kBadWorker =
    QStringLiteral(VELORIX_SOURCE_DIR "/tests/scan/client/MisbehavingWorker.py");

const QString kWorker = QStringLiteral(VELORIX_SCAN_WORKER_EXE);

// Kills this process's scanner workers once limitMs have passed, unless destroyed first: a cancel
// that never stops the driver then ends the scan here, and fails the test's own check, instead of
// leaving the test hung until the runner's time-out.
class WorkerDeadline {
public:
    explicit WorkerDeadline(int limitMs)
        : thread_([this, limitMs] {
              std::unique_lock lock(mutex_);
              if (!wake_.wait_for(lock, std::chrono::milliseconds(limitMs),
                                  [this] { return over_; }))
                  fired_ = KillWorkers();
          }) {}
    ~WorkerDeadline() {
        {
            std::lock_guard lock(mutex_);
            over_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    bool Fired() {
        std::lock_guard lock(mutex_);
        return fired_;
    }

private:
    static bool KillWorkers() {
        const QString exe = QFileInfo(kWorker).canonicalFilePath();
        bool any = false;
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (pid.toInt() <= 0 || !stat.open(QIODevice::ReadOnly))
                continue;
            // "pid (comm) state ppid ...": the name may hold spaces, the fields after it do not.
            const QByteArray line = stat.readAll();
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (fields.size() < 2 || fields[1].toInt() != getpid() ||
                QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).canonicalFilePath() != exe)
                continue;
            any = ::kill(pid.toInt(), SIGKILL) == 0 || any;
        }
        return any;
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool over_ = false;
    bool fired_ = false;
    std::thread thread_;
};

// Our backend's "good" device, connected through the platform as the scanner component does.
std::shared_ptr<velorix::scan::IDevice> ConnectGood(velorix::scan::IScanPlatform& platform) {
    auto infos = platform.CreateDeviceManager()->DeviceInfos();
    for (int i = 1; i <= infos->Count(); ++i) {
        auto info = infos->Item(i);
        if (velorix::scan::VariantToText(info->Properties()->Item("7")->Value())
                .find("(velorixtest:good)") != std::string::npos)
            return info->Connect();
    }
    return nullptr;
}

// The scanners listed: the misbehaving backend's fourteen devices and the test backend's one.
constexpr int kListed = 15;

} // namespace

class ScanWorkerTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::shared_ptr<WorkerPrompts> prompts;
    std::unique_ptr<velorix::Tvelorix_2> window;

    void openWindow() {
        prompts = std::make_shared<WorkerPrompts>();
        velorix::Services services;
        services.prompts = prompts;
        services.settings = std::make_shared<MemorySettings>();
        services.shell = std::make_shared<RecordingShell>();
        services.scanner = velorix::scan::worker::CreateWorkerScanPlatform();
        window = std::make_unique<velorix::Tvelorix_2>(services);
        window->FormShow(window.get());
    }
    void pick(const QString& device) { PickScanner(*window, device); }
    void scan() {
        QVERIFY(window->Guarded([this] { window->btnScanClick(window->scanner); }));
    }

private slots:
    void initTestCase() {
        QVERIFY(UseSaneConfig(dir, "velorixtest\ntest\n",
                              {{QStringLiteral("test.conf"),
                                "number_of_devices 1\ngeometry_min 0.0\ngeometry_max 20.0\n"
                                "br_x 20.0\nbr_y 20.0\n"}}));
        qputenv("LD_LIBRARY_PATH", VELORIX_MISBEHAVING_BACKEND_DIR);
        qputenv(velorix::scan::worker::WorkerExeEnv, kWorker.toUtf8());
        qunsetenv("VELORIX_SCAN_BACKEND");
        qunsetenv("VELORIXTEST_LIST");
        qunsetenv("VELORIXTEST_STALL");
        // A driver that calls exit() ends the worker with its threads and the backend's memory
        // still held: under the sanitizers, no leak report may change that status. The workers
        // and the program still run with the other checks.
        const QByteArray asan = qgetenv("ASAN_OPTIONS");
        if (!asan.isEmpty())
            qputenv("ASAN_OPTIONS", asan + ":detect_leaks=0");
    }
    void init() { qputenv(velorix::scan::worker::WatchdogEnv, "8,1"); }
    void cleanup() {
        window.reset();
        qunsetenv("VELORIXTEST_LIST");
        qunsetenv("VELORIXTEST_XY");
        qunsetenv("VELORIX_BAD_WORKER");
        qputenv(velorix::scan::worker::WorkerExeEnv, kWorker.toUtf8());
    }
    // The session's worker is ours, passing everything else to the real one.
    void useBadWorker(const QByteArray& how) {
        qputenv("VELORIX_REAL_WORKER", kWorker.toUtf8());
        qputenv("VELORIX_BAD_WORKER", how);
        qputenv(velorix::scan::worker::WorkerExeEnv, kBadWorker.toUtf8());
    }

    void driverFailureKeepsPages_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("says");
        QTest::addRow("segfault") << "segv"
                                  << "s'est arrêté brutalement";
        QTest::addRow("abort") << "abort"
                               << "s'est arrêté brutalement";
        QTest::addRow("exit") << "exit"
                              << "s'est terminé (code 3)";
        QTest::addRow("hung read") << "hang"
                                   << "n'envoie plus rien depuis 1 s";
        QTest::addRow("stall") << "stall"
                               << "n'envoie plus rien depuis 1 s";
        QTest::addRow("more than the buffer") << "overclaim"
                                              << "";
    }
    void driverFailureKeepsPages() {
        QFETCH(QString, device);
        QFETCH(QString, says);
        openWindow();
        pick(QStringLiteral("(velorixtest:good)"));
        scan();
        QVERIFY(prompts->seen.isEmpty());
        const QImage first = window->PRImage1->Picture();
        QCOMPARE(first.size(), QSize(100, 150));

        pick(QStringLiteral("(velorixtest:%1)").arg(device));
        QElapsedTimer clock;
        clock.start();
        scan();
        QVERIFY(clock.elapsed() < 5000);
        const QStringList told = prompts->texts(ScriptedPrompts::Kind::Inform);
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].startsWith(QStringLiteral("Erreur pendant le scanning")),
                 qPrintable(told[0]));
        if (!says.isEmpty()) {
            QVERIFY2(told[0].contains(says), qPrintable(told[0]));
            QVERIFY2(told[0].contains(QStringLiteral("velorixtest:") + device),
                     qPrintable(told[0]));
        }
        QCOMPARE(window->PRImage1->Picture(), first);

        // Back to a good device: a fresh worker, and its page is added.
        prompts->seen.clear();
        const int pages = window->PageCount();
        pick(QStringLiteral("(velorixtest:good)"));
        scan();
        QVERIFY(prompts->seen.isEmpty());
        QCOMPARE(window->PageCount(), pages + 1);
        QCOMPARE(window->FindPageImage(pages + 1)->Picture().size(), QSize(100, 150));
        QCOMPARE(window->PRImage1->Picture(), first);
    }

    // "Annuler" on a read that never returns: the window goes within the grace time and the
    // next scan works.
    void cancelStopsAHungDriver() {
        qputenv(velorix::scan::worker::WatchdogEnv, "60,60");
        openWindow();
        prompts->cancelAfterMs = 200;
        pick(QStringLiteral("(velorixtest:hang)"));
        QElapsedTimer clock;
        clock.start();
        {
            WorkerDeadline deadline(3000);
            scan();
            QVERIFY2(!deadline.Fired(), "the worker still ran 3 s after the scan began: killed");
        }
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(prompts->texts(ScriptedPrompts::Kind::Inform),
                 QStringList{QStringLiteral("Scanning annulé")});
        prompts->seen.clear();
        prompts->cancelAfterMs = -1;
        pick(QStringLiteral("(velorixtest:good)"));
        scan();
        QVERIFY(prompts->seen.isEmpty());
        QVERIFY(window->FirstPageFilled);
    }

    // A sheet that ends before the announced length keeps its lines; the test backend's
    // pictures come through the worker as through the library.
    void shortPageAndTestBackend() {
        openWindow();
        pick(QStringLiteral("(velorixtest:short)"));
        window->cbGrayscale->setChecked(true);
        scan();
        QVERIFY(prompts->seen.isEmpty());
        const QImage page = window->PRImage1->Picture();
        QCOMPARE(page.size(), QSize(100, 50));
        QCOMPARE(page.dotsPerMeterY(), qRound(50 / 0.0254));
        QCOMPARE(qGray(page.pixel(7, 3)), 10);

        pick(QStringLiteral("(test:0)"));
        scan();
        QVERIFY(prompts->seen.isEmpty());
        QCOMPARE(window->PageCount(), 2);

        // Scanned twice, and no driver in this process: libsane is not even mapped.
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QVERIFY(!maps.readAll().contains("libsane"));
    }

    // A block the program never took is removed by its worker when the program goes, and a
    // block left by a worker killed with its program goes when the next worker starts; blocks
    // of live workers stay.
    void sharedMemoryLeftBehind() {
        using velorix::scan::worker::DecodeMessage;
        using velorix::scan::worker::EncodeMessage;
        QProcess worker;
        worker.start(kWorker, {});
        QVERIFY(worker.waitForStarted());
        for (const std::string& line :
             {EncodeMessage(1, "open", {"velorixtest:good"}), EncodeMessage(2, "scan")})
            worker.write(line.data(), static_cast<qint64>(line.size()));
        std::string block;
        QElapsedTimer clock;
        clock.start();
        while (block.empty() && clock.elapsed() < 10000) {
            if (!worker.canReadLine() && !worker.waitForReadyRead(1000))
                continue;
            const auto m = DecodeMessage(worker.readLine().toStdString());
            if (m && m->number == 2 && m->type == "block" && m->args.size() == 2)
                block = m->args[0];
        }
        QVERIFY(!block.empty());
        const QString path = QStringLiteral("/dev/shm") + QString::fromStdString(block);
        QVERIFY(QFile::exists(path));
        worker.closeWriteChannel(); // the program is gone before opening it
        QVERIFY(worker.waitForFinished(5000));
        QVERIFY(!QFile::exists(path));

        const pid_t dead = fork();
        if (dead == 0)
            _exit(0);
        QVERIFY(dead > 0);
        QCOMPARE(waitpid(dead, nullptr, 0), dead);
        const QString orphan = QStringLiteral("/dev/shm/velorix-scan-%1-0-1").arg(dead);
        const QString live = QStringLiteral("/dev/shm/velorix-scan-%1-0-1").arg(getpid());
        QVERIFY(WriteTestFile(orphan, "x"));
        QVERIFY(WriteTestFile(live, "x"));
        QCOMPARE(velorix::scan::worker::CreateWorkerScanPlatform()
                     ->CreateDeviceManager()
                     ->DeviceInfos()
                     ->Count(),
                 kListed);
        QVERIFY(!QFile::exists(orphan));
        QVERIFY(QFile::exists(live));
        QFile::remove(live);
    }

    // What a worker names is input to the program: only names as workers make them are opened,
    // as the scanner layer's error the program catches; opening removes the name, even when the
    // block is smaller than announced.
    void blockNamesChecked() {
        using velorix::scan::worker::SharedBlock;
        auto raised = [](const std::string& name, std::size_t size) {
            try {
                SharedBlock::Open(name, size);
            } catch (const velorix::scan::EPlatformError& e) {
                return QString::fromUtf8(e.what());
            }
            return QString();
        };
        QCOMPARE(raised("/velorix-scan-1/../../x", 1), QStringLiteral("Mémoire partagée inconnue"));
        QCOMPARE(raised("velorix-scan-1-0-0", 1), QStringLiteral("Mémoire partagée inconnue"));
        QCOMPARE(raised("/velorix-scan-0-0-0", 1), QStringLiteral("Mémoire partagée introuvable"));
        const unsigned char bytes[3] = {7, 8, 9};
        const std::string name = SharedBlock::Publish(bytes, 3, [](const std::string&) {});
        const QString path = QStringLiteral("/dev/shm") + QString::fromStdString(name);
        QCOMPARE(raised(name, 4), QStringLiteral("Mémoire partagée illisible"));
        QVERIFY(!QFile::exists(path));
        // A block others may read or write is not taken, and its name goes all the same.
        const std::string open = SharedBlock::Publish(bytes, 3, [](const std::string&) {});
        const QString openPath = QStringLiteral("/dev/shm") + QString::fromStdString(open);
        QVERIFY(QFile::setPermissions(openPath,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        QCOMPARE(raised(open, 3), QStringLiteral("Mémoire partagée d'un autre"));
        QVERIFY(!QFile::exists(openPath));
    }

    // The program lists in the background: from a thread of its own, with no event loop.
    void listsFromAnotherThread() {
        auto platform = velorix::scan::worker::CreateWorkerScanPlatform();
        int count = -1;
        std::thread lister([&] {
            try {
                count = platform->CreateDeviceManager()->DeviceInfos()->Count();
            } catch (const std::exception&) {
            }
        });
        lister.join();
        QCOMPARE(count, kListed);
    }

    // Properties are read from the table the worker sends back with each write: a write that
    // changes another property (the mode changes the depth) is seen at once.
    void writesBringTheirEffects() {
        using namespace velorix::scan;
        auto platform = worker::CreateWorkerScanPlatform();
        const auto device = ConnectGood(*platform);
        QVERIFY(device);
        auto item = device->Items()->Item(1)->Properties();
        const std::string depth = std::to_string(wia::IPA_DEPTH);
        item->Item(std::to_string(wia::IPA_DATATYPE))->SetValue(std::int32_t{wia::DATA_GRAYSCALE});
        QCOMPARE(VariantToInt(item->Item(depth)->Value()), 8);
        item->Item(std::to_string(wia::IPA_DATATYPE))->SetValue(std::int32_t{wia::DATA_COLOR});
        QCOMPARE(VariantToInt(item->Item(depth)->Value()), 24);
        item->Item(std::to_string(wia::IPS_XRES))->SetValue(std::int32_t{120});
        QCOMPARE(VariantToInt(item->Item(std::to_string(wia::IPS_XRES))->Value()), 120);
        // A value the device refuses raises, and the property keeps its value.
        QVERIFY_THROWS_EXCEPTION(
            EPlatformError,
            item->Item(std::to_string(wia::IPS_XRES))->SetValue(std::int32_t{5000}));
        QCOMPARE(VariantToInt(item->Item(std::to_string(wia::IPS_XRES))->Value()), 120);
        QVERIFY(!device->Properties()->Exists("99999"));
    }

    // A device with a vertical resolution of its own: each axis keeps its own dots per metre
    // from the driver's options to the page.
    void eachAxisKeepsItsResolution() {
        using namespace velorix::scan;
        qputenv("VELORIXTEST_XY", "1");
        auto platform = worker::CreateWorkerScanPlatform();
        const auto device = ConnectGood(*platform);
        QVERIFY(device);
        auto item = device->Items()->Item(1);
        item->Properties()->Item(std::to_string(wia::IPS_XRES))->SetValue(std::int32_t{50});
        item->Properties()->Item(std::to_string(wia::IPS_YRES))->SetValue(std::int32_t{100});
        const auto file =
            platform->CreateCommonDialog()->ShowTransfer(*item, wia::ImgFmt_BMP, true);
        QVERIFY(file);
        const QImage page = file->Picture();
        QCOMPARE(page.size(), QSize(100, 300));
        QCOMPARE(page.dotsPerMeterX(), qRound(50 / 0.0254));
        QCOMPARE(page.dotsPerMeterY(), qRound(100 / 0.0254));
    }

    // A scanner named as the list showed it is opened by its SANE name, without a listing
    // (this backend takes 5 s to list); a name that does not open falls back to the list.
    void connectsWithoutListing() {
        qputenv("VELORIXTEST_LIST", "slow:5");
        TWIAScan scan(velorix::scan::worker::CreateWorkerScanPlatform());
        scan.TakeDeviceList({wpYes, {}, {}});
        QElapsedTimer clock;
        clock.start();
        scan.SetSelectedDevice("Velorix good (velorixtest:good)");
        scan.SetDPI(50);
        QVERIFY(scan.Acquire());
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(scan.Graphic()->Image.size(), QSize(100, 150));
        QCOMPARE(scan.SelectedDevice(), std::string("Velorix good (velorixtest:good)"));

        qunsetenv("VELORIXTEST_LIST");
        QVERIFY_THROWS_EXCEPTION(EWIAException,
                                 scan.SetSelectedDevice("Velorix gone (velorixtest:gone)"));
        QVERIFY(!scan.Connected());
    }

    // The scanner of the last run is opened by its stored name while the list (5 s here) is
    // made: connected, shown and scanning at once; when the list comes it stays the choice by
    // its name, even where the stored place in the list names another scanner.
    void rememberedScannerWithoutTheList() {
        const QString good = QStringLiteral("Velorix good (velorixtest:good)");
        auto settings = std::make_shared<MemorySettings>();
        settings->exists = true;
        settings->values[QStringLiteral("Scanner")] = QStringLiteral("3");
        settings->values[velorix::kScannerNameSetting] = good;
        auto open = [&] {
            prompts = std::make_shared<WorkerPrompts>();
            velorix::Services services;
            services.prompts = prompts;
            services.settings = settings;
            services.shell = std::make_shared<RecordingShell>();
            services.scanner = velorix::scan::worker::CreateWorkerScanPlatform();
            services.listScannersInBackground = true;
            window = std::make_unique<velorix::Tvelorix_2>(services);
            window->show();
        };
        const QColor green(0, 128, 0);
        qputenv("VELORIXTEST_LIST", "slow:5");
        QElapsedTimer clock;
        clock.start();
        open();
        QTRY_VERIFY_WITH_TIMEOUT(window->WIAScan->Connected(), 2500);
        QCOMPARE(window->cbDevice->currentText(), good);
        QCOMPARE(window->WIA->palette().color(QPalette::Window), green);
        window->res->setEditText(QStringLiteral("50"));
        window->multi->setChecked(false);
        scan();
        QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(prompts->seen.isEmpty());
        QCOMPARE(window->PRImage1->Picture().size(), QSize(100, 150));

        QTRY_COMPARE_WITH_TIMEOUT(window->cbDevice->count(), kListed, 15000);
        QCOMPARE(window->cbDevice->currentText(), good);
        QVERIFY(window->cbDevice->currentIndex() != 3);
        QCOMPARE(window->WIAScan->SelectedDevice(), good.toStdString());
        const QString goodAt = QString::number(window->cbDevice->currentIndex());
        const QString third = window->cbDevice->itemText(3);
        window->close();
        QCOMPARE(settings->values[QStringLiteral("Scanner")], goodAt);
        QCOMPARE(settings->values[velorix::kScannerNameSetting], good);
        window.reset();

        // A name that no longer opens: the list and the stored place decide, as before. Closed
        // before the list came, the window keeps the stored choice.
        settings->values[QStringLiteral("Scanner")] = QStringLiteral("3");
        settings->values[velorix::kScannerNameSetting] =
            QStringLiteral("Velorix gone (velorixtest:gone)");
        qputenv("VELORIXTEST_LIST", "slow:2");
        open();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(!window->WIAScan->Connected());
        QCOMPARE(window->cbDevice->count(), 0);
        window->close();
        QCOMPARE(settings->values[QStringLiteral("Scanner")], QStringLiteral("3"));
        QCOMPARE(settings->values[velorix::kScannerNameSetting],
                 QStringLiteral("Velorix gone (velorixtest:gone)"));
        window.reset();
        qunsetenv("VELORIXTEST_LIST");
        open();
        QTRY_COMPARE_WITH_TIMEOUT(window->cbDevice->count(), kListed, 15000);
        QCOMPARE(window->cbDevice->currentIndex(), 3);
        QCOMPARE(window->cbDevice->currentText(), third);
        QCOMPARE(window->WIAScan->SelectedDevice(), third.toStdString());
    }

    // The window is on the screen within a second of its start, while the scanner of the last
    // run hangs in its driver's open and the listing hangs too.
    void windowShowsAtOnce() {
        class FirstPaint : public QObject {
        public:
            QElapsedTimer clock;
            qint64 at = -1;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Paint && at < 0)
                    at = clock.elapsed();
                return false;
            }
        } paint;
        qputenv(velorix::scan::worker::WatchdogEnv, "4,1");
        qputenv("VELORIXTEST_LIST", "hang");
        auto settings = std::make_shared<MemorySettings>();
        settings->exists = true;
        settings->values[velorix::kScannerNameSetting] =
            QStringLiteral("Velorix openhang (velorixtest:openhang)");
        prompts = std::make_shared<WorkerPrompts>();
        velorix::Services services;
        services.prompts = prompts;
        services.settings = settings;
        services.shell = std::make_shared<RecordingShell>();
        services.scanner = velorix::scan::worker::CreateWorkerScanPlatform();
        services.listScannersInBackground = true;
        window = std::make_unique<velorix::Tvelorix_2>(services);
        window->installEventFilter(&paint);
        paint.clock.start();
        window->show();
        QTRY_VERIFY_WITH_TIMEOUT(paint.at >= 0, 10000);
        QVERIFY2(paint.at < 1000, qPrintable(QString::number(paint.at)));
        QTRY_VERIFY_WITH_TIMEOUT(!prompts->texts(ScriptedPrompts::Kind::Warning).isEmpty(), 15000);
        QVERIFY(!window->WIAScan->Connected());
        window->removeEventFilter(&paint);
    }

    // A listing that crashes or never ends leaves a working window without scanners.
    void listingFailures() {
        for (const char* how : {"crash", "hang"}) {
            qputenv("VELORIXTEST_LIST", how);
            QElapsedTimer clock;
            clock.start();
            openWindow();
            QVERIFY(clock.elapsed() < 15000);
            QCOMPARE(window->cbDevice->count(), 0);
            const QStringList told = prompts->texts(ScriptedPrompts::Kind::Warning);
            QCOMPARE(told.size(), 1);
            QVERIFY2(told[0].startsWith(QStringLiteral("La recherche des scanners ")),
                     qPrintable(told[0]));
            window.reset();
        }
    }

    // A page's pixels are the program's own once scanned: no block stays open or mapped, and a
    // worker that shrinks its block after the hand-over changes nothing.
    void pagesLeaveSharedMemory() {
        openWindow();
        pick(QStringLiteral("(velorixtest:good)"));
        scan();
        pick(QStringLiteral("(velorixtest:good)"));
        scan();
        QVERIFY(prompts->seen.isEmpty());
        QCOMPARE(window->PageCount(), 2);
        QCOMPARE(BlocksHeld(), 0);
        window.reset();

        useBadWorker("shrink");
        openWindow();
        pick(QStringLiteral("(velorixtest:good)"));
        scan();
        QVERIFY(prompts->seen.isEmpty());
        QTest::qWait(600); // the block is shrunk meanwhile
        const QImage page = window->PRImage1->Picture();
        QCOMPARE(page.size(), QSize(2, 2));
        QCOMPARE(page.pixel(1, 1), qRgb(0, 0, 0)); // a fault here, were the page still the block
        QCOMPARE(BlocksHeld(), 0);
    }

    // What drivers print on their standard output, even lines that read like answers, goes to
    // standard error; a reader thread that asks for asynchronous cancellation is cancelled where
    // it waits, not while it holds a lock: the scans work and their pixels are the device's.
    void driverHabitsAreHarmless() {
        openWindow();
        for (const char* device : {"chatty", "mimic", "asynccancel"}) {
            pick(QStringLiteral("(velorixtest:%1)").arg(QLatin1String(device)));
            scan();
            QVERIFY2(prompts->seen.isEmpty(), device);
        }
        QCOMPARE(window->PageCount(), 3);
        for (int n : {1, 2, 3}) {
            const QImage page = window->FindPageImage(n)->Picture();
            QCOMPARE(page.size(), QSize(100, 150));
            // byte = line + column in the line, colour: pixel (7, 3) starts at column 21
            QCOMPARE(page.pixel(7, 3), qRgb(24, 25, 26));
        }
    }

    // A worker that sends more than the program takes is stopped, and the user told.
    void floodingWorkerIsStopped() {
        useBadWorker("longline");
        openWindow();
        pick(QStringLiteral("(velorixtest:good)"));
        QElapsedTimer clock;
        clock.start();
        scan();
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        const QStringList told = prompts->texts(ScriptedPrompts::Kind::Inform);
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].contains(QStringLiteral("envoie trop de données")), qPrintable(told[0]));
        window.reset();

        useBadWorker("devices");
        openWindow();
        QCOMPARE(window->cbDevice->count(), 1000); // the first thousand, the worker stopped
        const QStringList warned = prompts->texts(ScriptedPrompts::Kind::Warning);
        QCOMPARE(warned.size(), 1);
        QVERIFY2(warned[0].contains(QStringLiteral("plus de 1 000")), qPrintable(warned[0]));
    }

    // A page whose geometry does not hold together is refused, and its block freed.
    void badGeometryIsRefused_data() {
        QTest::addColumn<QString>("geometry");
        QTest::addRow("height past 32 bits") << "2,4294967297,8,13";
        QTest::addRow("rows shorter than the width") << "3,2,8,13";
        QTest::addRow("rows past the block") << "2,9,8,13";
        QTest::addRow("negative row") << "2,2,-8,13";
        QTest::addRow("unknown format") << "2,2,8,4";
        QTest::addRow("not a number") << "2,2x,8,13";
    }
    void badGeometryIsRefused() {
        QFETCH(QString, geometry);
        const QStringList before = BlocksInShm();
        useBadWorker("geometry:" + geometry.toLatin1());
        openWindow();
        pick(QStringLiteral("(velorixtest:good)"));
        scan();
        const QStringList told = prompts->texts(ScriptedPrompts::Kind::Inform);
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].contains(QStringLiteral("Image scannée invalide")), qPrintable(told[0]));
        QVERIFY(!window->FirstPageFilled);
        QCOMPARE(BlocksHeld(), 0);
        QCOMPARE(BlocksLeftSince(before, BlocksInShm()), QStringList());
    }

    // A driver that hangs while an option is written: the call waits behind a progress window
    // whose "Annuler" ends it at once, and the next scan works.
    void hungOptionDoesNotFreeze() {
        openWindow();
        prompts->cancelCallsAfterMs = 300;
        QElapsedTimer clock;
        clock.start();
        pick(QStringLiteral("(velorixtest:sethang)"));
        // The write that was stopped fails the command as a refused one does, with its message.
        QVERIFY(!window->Guarded([this] { window->btnScanClick(window->scanner); }));
        QVERIFY(!prompts->seen.isEmpty());
        QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(prompts->windows.contains(QStringLiteral("Réglage du scanner…")),
                 qPrintable(prompts->windows.join(u'|')));
        QVERIFY(!window->FirstPageFilled);
        prompts->seen.clear();
        prompts->cancelCallsAfterMs = -1;
        pick(QStringLiteral("(velorixtest:good)"));
        scan();
        QVERIFY(prompts->seen.isEmpty());
        QVERIFY(window->FirstPageFilled);
    }

    // A worker that outlives SIGKILL is set aside at once, not waited for, and freed once it ends.
    void unkillableWorkerIsAbandoned() {
        using velorix::scan::worker::ReapAbandonedWorkers;
        openWindow();
        pick(QStringLiteral("(velorixtest:hang)"));
        killIsIgnored = true;
        QElapsedTimer clock;
        clock.start();
        scan();
        killIsIgnored = false;
        QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
        const pid_t stuck = survivor.exchange(0);
        QVERIFY(stuck > 0);
        QCOMPARE(prompts->texts(ScriptedPrompts::Kind::Inform).size(), 1);
        prompts->seen.clear();
        pick(QStringLiteral("(velorixtest:good)"));
        scan();
        QVERIFY(prompts->seen.isEmpty());
        QVERIFY(window->FirstPageFilled);
        QCOMPARE(ReapAbandonedWorkers(), std::size_t(1));
        ::kill(stuck, SIGKILL);
        ::kill(stuck, SIGCONT);
        QTRY_COMPARE_WITH_TIMEOUT(ReapAbandonedWorkers(), std::size_t(0), 10000);
    }

    // Limits beyond an hour, infinite ones too, are an hour; what is no number keeps the default.
    void watchdogLimitsAreBounded() {
        using velorix::scan::worker::ReadLimits;
        const struct {
            const char* text;
            double first, after;
        } cases[] = {{"inf", 3600, 3600},           {"1e300,inf", 3600, 3600},
                     {"1e400,2", 3600, 2},          {"nan,-1", 60, 30},
                     {"0.5,abc", 0.5, 30},          {"90", 90, 90},
                     {"infinity,1e-3", 3600, 0.001}};
        for (const auto& c : cases) {
            qputenv(velorix::scan::worker::WatchdogEnv, c.text);
            QCOMPARE(ReadLimits().first, c.first);
            QCOMPARE(ReadLimits().after, c.after);
        }
    }

    void scanPdf() {
        auto run = [this](const QString& device, const QString& output) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("HOME"), dir.path());
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(VELORIX_EXE),
                    {QStringLiteral("--scan-pdf"), output, QStringLiteral("--device"), device,
                     QStringLiteral("--pages"), QStringLiteral("2")});
            if (!p.waitForFinished(30000)) {
                p.kill();
                p.waitForFinished();
            }
            return std::make_pair(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                                  QString::fromUtf8(p.readAllStandardError()));
        };
        const QString keep = dir.filePath(QStringLiteral("keep.pdf"));
        QVERIFY(WriteTestFile(keep, "old"));
        for (const char* device : {"velorixtest:segv", "velorixtest:exit", "velorixtest:hang"}) {
            const auto [code, err] = run(QString::fromLatin1(device), keep);
            QCOMPARE(code, 1);
            QVERIFY2(err.contains(QLatin1String(device)), qPrintable(err));
            QFile file(keep);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("old"));
        }
        const QString good = dir.filePath(QStringLiteral("good.pdf"));
        QCOMPARE(run(QStringLiteral("velorixtest:good"), good).first, 0);
        QVERIFY(QFile(good).size() > 100);
    }
};

QTEST_MAIN(ScanWorkerTest)
#include "ScanWorkerTest.moc"
