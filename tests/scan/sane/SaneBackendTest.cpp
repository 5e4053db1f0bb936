// The SANE backend against SANE's virtual "test" device: our pixels against scanimage's for the
// same settings, the property mapping, cancel during a slow scan, and the device's failure
// statuses. Each test writes its own small SANE configuration (test backend only, 60 mm bed).
// The device is driven in the scanner worker, as the program drives it: a cancel while the test
// backend's reader thread runs can hang that backend inside the C library's allocator, and only
// a process of its own can be stopped then.

#include "scan/ScannerComponent.h"
#include "scan/client/WorkerPlatform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <sane/sane.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
namespace wia = velorix::scan::wia;

namespace {

const char* const kDevice = "Noname frontend-tester (test:0)";

class SaneConfig {
public:
    explicit SaneConfig(const std::string& extra = "") {
        setenv(velorix::scan::worker::WorkerExeEnv, VELORIX_SCAN_WORKER_EXE, 0);
        // The worker's process is watched through the application object: a test that made
        // none gets one for its own time.
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "sane_test";
            static char* argv[] = {name, nullptr};
            app_ = std::make_unique<QCoreApplication>(argc, argv);
        }
        static int counter = 0;
        dir_ = fs::temp_directory_path() /
               ("velorix-sane-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        fs::create_directories(dir_);
        std::ofstream(dir_ / "dll.conf") << "test\n";
        std::ofstream(dir_ / "test.conf")
            << "number_of_devices 1\n"
               "test-picture \"Color pattern\"\n"
               "geometry_min 0.0\ngeometry_max 60.0\ngeometry_quant 1.0\n"
               "tl_x 0.0\ntl_y 0.0\nbr_x 60.0\nbr_y 60.0\n"
               "resolution_min 1.0\nresolution_max 1200.0\n"
            << extra;
        setenv("SANE_CONFIG_DIR", dir_.c_str(), 1);
    }
    ~SaneConfig() { fs::remove_all(dir_); }

private:
    std::unique_ptr<QCoreApplication> app_;
    fs::path dir_;
};

struct Pnm {
    int width = 0, height = 0, channels = 0;
    std::vector<std::uint8_t> data;
};

Pnm ReadPnm(const std::string& bytes) {
    Pnm p;
    std::size_t pos = 0;
    auto token = [&]() {
        for (;;) {
            while (pos < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[pos])))
                ++pos;
            if (pos < bytes.size() && bytes[pos] == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n')
                    ++pos;
                continue;
            }
            break;
        }
        std::string t;
        while (pos < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[pos])))
            t += bytes[pos++];
        return t;
    };
    const std::string magic = token();
    p.channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
    p.width = std::stoi(token());
    p.height = std::stoi(token());
    token(); // maxval 255
    ++pos;
    p.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos), bytes.end());
    return p;
}

std::string RunCommand(const std::string& command) {
    std::string out;
    FILE* f = popen(command.c_str(), "r");
    if (!f)
        return out;
    char buf[65536];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    pclose(f);
    return out;
}

std::string Mm(int pixels, int dpi) {
    char b[64];
    std::snprintf(b, sizeof b, "%.17g", pixels * 25.4 / dpi);
    return b;
}

std::shared_ptr<velorix::scan::IScanPlatform> Platform() {
    return velorix::scan::worker::CreateWorkerScanPlatform();
}

std::unique_ptr<TWIAScan> Connected() {
    auto scan = std::make_unique<TWIAScan>(Platform());
    scan->SetOpen(true);
    scan->SetSelectedDevice(kDevice);
    return scan;
}

struct Case {
    bool grey;
    int dpi;
    bool partial;
};

class SanePixels : public ::testing::TestWithParam<Case> {};

} // namespace

TEST_P(SanePixels, EqualScanimage) {
    const Case c = GetParam();
    SaneConfig config;
    auto scan = Connected();
    scan->SetDPI(c.dpi);
    scan->SetIntent(c.grey ? wiGrayscale : wiColor);
    int x = 0, y = 0, w = scan->GetBedWidth(), h = scan->GetBedHeight();
    if (c.partial) {
        x = c.dpi / 5;
        y = c.dpi / 4;
        w = c.dpi;
        h = c.dpi * 3 / 4;
        scan->SetScanStartX(x);
        scan->SetScanStartY(y);
        scan->SetScanWidth(w);
        scan->SetScanHeight(h);
        scan->SetScanArea(wsaPartial);
    }
    ASSERT_TRUE(scan->Acquire());
    const QImage ours = scan->Graphic()->Image;

    const std::string cmd = std::string("scanimage -d test:0 --format=pnm --depth 8 --mode ") +
                            (c.grey ? "Gray" : "Color") + " --resolution " + std::to_string(c.dpi) +
                            " -l " + Mm(x, c.dpi) + " -t " + Mm(y, c.dpi) + " -x " + Mm(w, c.dpi) +
                            " -y " + Mm(h, c.dpi) + " 2>/dev/null";
    const Pnm ref = ReadPnm(RunCommand(cmd));
    ASSERT_EQ(ref.channels, c.grey ? 1 : 3) << cmd;
    ASSERT_EQ(ours.width(), ref.width);
    ASSERT_EQ(ours.height(), ref.height);
    ASSERT_EQ(ref.data.size(), static_cast<std::size_t>(ref.width * ref.height * ref.channels));
    // A flat picture would prove little.
    EXPECT_NE(std::count(ref.data.begin(), ref.data.end(), ref.data[0]),
              static_cast<std::ptrdiff_t>(ref.data.size()));
    int mismatches = 0;
    for (int yy = 0; yy < ref.height; ++yy)
        for (int xx = 0; xx < ref.width; ++xx) {
            const std::uint8_t* p =
                &ref.data[static_cast<std::size_t>((yy * ref.width + xx) * ref.channels)];
            const QRgb expected = c.grey ? qRgb(p[0], p[0], p[0]) : qRgb(p[0], p[1], p[2]);
            if (ours.pixel(xx, yy) != expected && ++mismatches < 5)
                ADD_FAILURE() << "pixel " << xx << "," << yy;
        }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(Sane, SanePixels,
                         ::testing::Values(Case{false, 75, false}, Case{false, 150, false},
                                           Case{false, 300, false}, Case{false, 75, true},
                                           Case{false, 150, true}, Case{false, 300, true},
                                           Case{true, 75, false}, Case{true, 150, false},
                                           Case{true, 300, false}, Case{true, 75, true},
                                           Case{true, 150, true}, Case{true, 300, true}),
                         [](const auto& param) {
                             return std::string(param.param.grey ? "Grey" : "Colour") +
                                    std::to_string(param.param.dpi) +
                                    (param.param.partial ? "Partial" : "Full");
                         });

TEST(SaneLayer, DevicesAndPropertyMapping) {
    SaneConfig config("source \"Flatbed\"\n");
    auto scan = Connected();
    EXPECT_EQ(scan->Devices(), (std::vector<std::string>{kDevice}));
    EXPECT_EQ(scan->WIAPresent(), wpYes);
    EXPECT_EQ(scan->MaxDPI(), 1200);
    EXPECT_EQ(velorix::scan::VariantToInt(scan->GetDeviceProperty(3074)), 2362); // 60 mm
    EXPECT_EQ(velorix::scan::VariantToInt(scan->GetDeviceProperty(3075)), 2362);
    EXPECT_TRUE(scan->DevicePropertyWritable(3096)); // the test device has a feeder
    EXPECT_FALSE(scan->DevicePropertyWritable(3074));
    EXPECT_FALSE(scan->ItemPropertyWritable(6154)); // no brightness option: no property
    EXPECT_TRUE(scan->ItemPropertyWritable(4103));
    EXPECT_TRUE(scan->ItemPropertyWritable(6147));
    scan->SetItemProperty(6147, std::int32_t{300});
    scan->SetItemProperty(4103, std::int32_t{2});
    scan->SetItemProperty(6151, std::int32_t{150}); // 12.7 mm at 300 dpi, snapped to 13 mm
    EXPECT_THROW(scan->SetItemProperty(6147, std::int32_t{5000}), EWIAException);
    EXPECT_THROW(scan->SetItemProperty(4103, std::int32_t{7}), EWIAException);
    EXPECT_THROW(scan->SetItemProperty(9999, std::int32_t{1}), EWIAException);
    EXPECT_FALSE(scan->DevicePropertyExists(4103)); // item ids are not device ids

    // The layer itself: a grey scan is an 8-bit BMP with a grey palette, reported as BMP.
    scan.reset(); // the device opens once at a time
    auto platform = Platform();
    auto infos = platform->CreateDeviceManager()->DeviceInfos();
    ASSERT_EQ(infos->Count(), 1);
    auto device = infos->Item(1)->Connect();
    auto item = device->Items()->Item(1);
    item->Properties()->Item("4103")->SetValue(std::int32_t{2});
    item->Properties()->Item("6147")->SetValue(std::int32_t{50});
    item->Properties()->Item("6148")->SetValue(std::int32_t{50});
    auto file = platform->CreateCommonDialog()->ShowTransfer(*item, wia::ImgFmt_BMP, false);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->FormatID(), wia::ImgFmt_BMP);
    const auto bytes = file->FileData();
    ASSERT_GT(bytes.size(), 54u + 1024);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[28], 8);
    EXPECT_EQ(bytes[54 + 4 * 200], 200);
    EXPECT_EQ(bytes[54 + 4 * 200 + 2], 200);
    // A format the transfer cannot give is refused.
    EXPECT_THROW(platform->CreateCommonDialog()->ShowTransfer(*item, wia::ImgFmt_PNG, false),
                 velorix::scan::EPlatformError);
}

TEST(SaneLayer, RefusedResolutionShowsTheMessage) {
    SaneConfig config("resolution_min 25.0\nresolution_quant 25.0\n");
    auto scan = Connected();
    std::vector<std::string> shown;
    scan->ShowMessage = [&](TWIAScan::TMessageKind, const std::string& t) { shown.push_back(t); };
    scan->SetDPI(110);
    int events = 0;
    scan->OnScanAbort = scan->OnScanError = [&](TWIAScan*) { ++events; };
    EXPECT_FALSE(scan->Acquire());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Résolution DPI 110 non pas supportée", 0), 0u);
    EXPECT_EQ(events, 0);
    scan->SetDPI(100);
    scan->SetScanWidth(20);
    scan->SetScanHeight(20);
    scan->SetScanArea(wsaPartial);
    EXPECT_TRUE(scan->Acquire());
}

TEST(SaneLayer, CancelDuringASlowScanLeavesTheDeviceUsable) {
    int argc = 1;
    char name[] = "sane_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    SaneConfig config("read-delay true\nread-delay-duration 100000\nread-limit true\n"
                      "read-limit-size 4096\n");
    auto scan = Connected();
    int aborts = 0, errors = 0;
    scan->OnScanAbort = [&](TWIAScan*) { ++aborts; };
    scan->OnScanError = [&](TWIAScan*) { ++errors; };
    scan->SetDPI(300); // 700 x 700 colour: far longer than the test waits

    QElapsedTimer sinceClick;
    bool clicked = false;
    int ticks = 0;
    QTimer poke;
    QObject::connect(&poke, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || clicked || ++ticks < 10)
            return; // let the window paint a few times first
        auto* cancel = modal->findChild<QPushButton*>(QStringLiteral("cancelButton"));
        if (!cancel)
            return;
        clicked = true;
        sinceClick.start();
        cancel->click();
    });
    poke.start(50);
    EXPECT_FALSE(scan->Acquire());
    const qint64 cancelMs = sinceClick.elapsed();
    poke.stop();
    ASSERT_TRUE(clicked);
    // The test device lets go at once; a driver that does not is stopped after 2 s.
    EXPECT_LT(cancelMs, 2500);
    RecordProperty("cancel_ms", static_cast<int>(cancelMs));
    EXPECT_EQ(aborts, 1);
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(scan->Graphic(), nullptr);

    // The same device scans again.
    scan->SetDPI(50);
    scan->SetScanWidth(30);
    scan->SetScanHeight(20);
    scan->SetScanArea(wsaPartial);
    ASSERT_TRUE(scan->Acquire());
    // The device snaps the area to whole millimetres.
    EXPECT_NEAR(scan->Graphic()->Image.width(), 30, 1);
    EXPECT_NEAR(scan->Graphic()->Image.height(), 20, 1);
}

namespace {
class SaneStatus : public ::testing::TestWithParam<const char*> {};
} // namespace

TEST_P(SaneStatus, RaisesWithSanesText) {
    const std::string status = GetParam();
    SaneConfig config("read-status-code \"SANE_STATUS_" + status + "\"\n");
    auto platform = Platform();
    auto infos = platform->CreateDeviceManager()->DeviceInfos();
    auto device = infos->Item(1)->Connect();
    auto item = device->Items()->Item(1);
    item->Properties()->Item("6147")->SetValue(std::int32_t{20});
    item->Properties()->Item("6148")->SetValue(std::int32_t{20});

    static const std::pair<const char*, SANE_Status> kStatuses[] = {
        {"UNSUPPORTED", SANE_STATUS_UNSUPPORTED},
        {"DEVICE_BUSY", SANE_STATUS_DEVICE_BUSY},
        {"INVAL", SANE_STATUS_INVAL},
        {"JAMMED", SANE_STATUS_JAMMED},
        {"NO_DOCS", SANE_STATUS_NO_DOCS},
        {"COVER_OPEN", SANE_STATUS_COVER_OPEN},
        {"IO_ERROR", SANE_STATUS_IO_ERROR},
        {"NO_MEM", SANE_STATUS_NO_MEM},
        {"ACCESS_DENIED", SANE_STATUS_ACCESS_DENIED}};
    auto dialog = platform->CreateCommonDialog();
    if (status == "CANCELLED") {
        EXPECT_EQ(dialog->ShowTransfer(*item, wia::ImgFmt_BMP, false), nullptr);
        return;
    }
    if (status == "EOF") { // nothing at all arrives: an error, not an empty page
        EXPECT_THROW(dialog->ShowTransfer(*item, wia::ImgFmt_BMP, false),
                     velorix::scan::EPlatformError);
        return;
    }
    SANE_Status expected = SANE_STATUS_GOOD;
    for (auto [n, s] : kStatuses)
        if (status == n)
            expected = s;
    try {
        dialog->ShowTransfer(*item, wia::ImgFmt_BMP, false);
        ADD_FAILURE() << "no error raised";
    } catch (const velorix::scan::EScannerLost& e) {
        ADD_FAILURE() << e.what();
    } catch (const velorix::scan::EPlatformError& e) {
        EXPECT_STREQ(e.what(), sane_strstatus(expected));
    }
    // Through the component the failure is the error event, raised nowhere.
    item.reset();
    device.reset();
    auto scan = Connected();
    int errors = 0;
    scan->OnScanError = [&](TWIAScan*) { ++errors; };
    EXPECT_FALSE(scan->Acquire());
    EXPECT_EQ(errors, 1);
}

INSTANTIATE_TEST_SUITE_P(Sane, SaneStatus,
                         ::testing::Values("UNSUPPORTED", "CANCELLED", "DEVICE_BUSY", "INVAL",
                                           "EOF", "JAMMED", "NO_DOCS", "COVER_OPEN", "IO_ERROR",
                                           "NO_MEM", "ACCESS_DENIED"));

// The project's own configuration keeps the system's backends and adds the test device.
// (Checked with scanimage: every system backend loaded in this process would leave leak
// reports from libraries that are unloaded again.)
TEST(SaneLayer, ProjectConfigurationAddsTheDemoScanner) {
    const char* dir = std::getenv("SANE_CONFIG_DIR");
    ASSERT_NE(dir, nullptr);
    ASSERT_NE(std::string(dir).find("data/sane.d"), std::string::npos);
    const std::string log = RunCommand("SANE_DEBUG_DLL=4 scanimage -L 2>&1");
    EXPECT_NE(log.find("`test:0'"), std::string::npos);
    EXPECT_NE(log.find("adding backend `test'"), std::string::npos);
    EXPECT_NE(log.find("adding backend `net'"), std::string::npos); // from the system's list
}

TEST(SaneLayer, NullBackendIsNotAvailable) {
    setenv(velorix::scan::ScanBackendEnv, "null", 1);
    TWIAScan scan(velorix::scan::LoadScanPlatform());
    unsetenv(velorix::scan::ScanBackendEnv);
    scan.SetOpen(true);
    EXPECT_EQ(scan.WIAPresent(), wpNo);
    EXPECT_TRUE(scan.Devices().empty());
}
