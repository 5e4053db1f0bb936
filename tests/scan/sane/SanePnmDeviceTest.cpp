// A SANE device without scan-area options: SANE's "pnm" file reader, reading a picture the test
// writes. It scans its whole area, whatever area was asked, and every pixel arrives unchanged,
// as one colour frame, as three colour planes, and with a height unknown in advance.

#include "scan/ScannerComponent.h"
#include "scan/sane/inprocess/InProcessSanePlatform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
using velorix::scan::sane::SaneOptionValue;

namespace {

const char* const kDevice = "Noname PNM file reader (pnm:0)";

// An odd width, so that rows need padding, and one whose bed size in thousandths of an inch
// is a whole number at 100 dpi; no two neighbours alike.
constexpr int kWidth = 29;
constexpr int kHeight = 23;

std::uint8_t Sample(int x, int y, int c) {
    return static_cast<std::uint8_t>((x * 7 + y * 31 + c * 85 + x * y) % 256);
}

class PnmDevice : public ::testing::Test {
protected:
    void SetUp() override {
        // sane_exit unloads the backend; kept loaded, what it loses can be named in a leak report.
        static void* keep = dlopen(SANE_PNM_BACKEND, RTLD_NOW | RTLD_NODELETE);
        (void)keep;
        dir_ = fs::temp_directory_path() / ("velorix-pnm-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        std::ofstream(dir_ / "dll.conf") << "pnm\n";
        setenv("SANE_CONFIG_DIR", dir_.c_str(), 1);
        std::ofstream ppm(dir_ / "page.ppm", std::ios::binary);
        ppm << "P6\n" << kWidth << ' ' << kHeight << "\n255\n";
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                for (int c = 0; c < 3; ++c)
                    ppm.put(static_cast<char>(Sample(x, y, c)));
        std::ofstream pgm(dir_ / "page.pgm", std::ios::binary);
        pgm << "P5\n" << kWidth << ' ' << kHeight << "\n255\n";
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                pgm.put(static_cast<char>(Sample(x, y, 1)));
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::unique_ptr<TWIAScan> Connected(const std::string& file,
                                        std::vector<SaneOptionValue> more = {}) {
        // The backend keeps its options while it stays loaded: each test says all of them.
        std::vector<SaneOptionValue> presets{
            {"filename", (dir_ / file).string()}, {"three-pass", "no"}, {"hand-scanner", "no"}};
        presets.insert(presets.end(), more.begin(), more.end());
        auto scan = std::make_unique<TWIAScan>(
            velorix::scan::sane::CreateInProcessSanePlatform(std::move(presets)));
        scan->ShowMessage = [this](TWIAScan::TMessageKind, const std::string& text) {
            messages_.push_back(text);
        };
        scan->SetOpen(true);
        scan->SetSelectedDevice(kDevice);
        return scan;
    }

    static int Mismatches(const QImage& image, bool grey) {
        int wrong = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const QRgb expected = grey
                                          ? qRgb(Sample(x, y, 1), Sample(x, y, 1), Sample(x, y, 1))
                                          : qRgb(Sample(x, y, 0), Sample(x, y, 1), Sample(x, y, 2));
                if (image.pixel(x, y) != expected && ++wrong < 4)
                    ADD_FAILURE() << "pixel " << x << "," << y;
            }
        return wrong;
    }

    fs::path dir_;
    std::vector<std::string> messages_;
};

} // namespace

TEST_F(PnmDevice, ScansTheWholePictureExactly) {
    struct Variant {
        const char* what;
        std::vector<SaneOptionValue> options;
    };
    const Variant variants[] = {{"one frame", {}},
                                {"three planes", {{"three-pass", "yes"}}},
                                {"height unknown in advance", {{"hand-scanner", "yes"}}}};
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.what);
        auto scan = Connected("page.ppm", v.options);
        scan->SetDPI(150);
        ASSERT_TRUE(scan->Acquire()) << (messages_.empty() ? "" : messages_.front());
        EXPECT_TRUE(messages_.empty());
        const QImage image = scan->Graphic()->Image;
        ASSERT_EQ(image.width(), kWidth);
        ASSERT_EQ(image.height(), kHeight);
        EXPECT_EQ(Mismatches(image, false), 0);
    }
}

TEST_F(PnmDevice, GreyPictureArrivesGrey) {
    auto scan = Connected("page.pgm");
    scan->SetIntent(wiGrayscale);
    ASSERT_TRUE(scan->Acquire());
    const QImage image = scan->Graphic()->Image;
    ASSERT_EQ(image.size(), QSize(kWidth, kHeight));
    EXPECT_EQ(Mismatches(image, true), 0);
}

// The bed is the announced frame at each resolution; an asked area is taken as the whole area.
TEST_F(PnmDevice, BedIsTheFrameAndAreaWritesTakeTheWholeArea) {
    auto scan = Connected("page.ppm");
    for (const int dpi : {75, 100, 150, 200, 300}) {
        scan->SetDPI(dpi);
        ASSERT_TRUE(scan->ApplySettings());
        EXPECT_EQ(scan->GetBedWidth(), kWidth) << dpi;
        EXPECT_EQ(scan->GetBedHeight(), kHeight) << dpi;
    }
    scan->SetScanStartX(5);
    scan->SetScanStartY(3);
    scan->SetScanWidth(10);
    scan->SetScanHeight(8);
    scan->SetScanArea(wsaPartial);
    ASSERT_TRUE(scan->Acquire());
    EXPECT_EQ(scan->Graphic()->Image.size(), QSize(kWidth, kHeight));
    EXPECT_EQ(Mismatches(scan->Graphic()->Image, false), 0);
    EXPECT_EQ(velorix::scan::VariantToInt(scan->GetDeviceProperty(3074)) * 300 / 1000, kWidth);
    EXPECT_THROW(scan->SetItemProperty(6149, std::int32_t{-1}), EWIAException);
    EXPECT_TRUE(messages_.empty());
}

// The area reads back as the whole frame, as the platform's own callers see it.
TEST_F(PnmDevice, AreaReadsAsTheWholeFrame) {
    auto platform = velorix::scan::sane::CreateInProcessSanePlatform(
        {{"filename", (dir_ / "page.ppm").string()}});
    auto device = platform->CreateDeviceManager()->DeviceInfos()->Item(1)->Connect();
    auto area = device->Items()->Item(1)->Properties();
    area->Item("6151")->SetValue(std::int32_t{4});
    const int expected[] = {0, 0, kWidth, kHeight};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(velorix::scan::VariantToInt(area->Item(std::to_string(6149 + k))->Value()),
                  expected[k])
            << k;
}

// A resolution the device does not offer is said, as for any scanner.
TEST_F(PnmDevice, ResolutionOutsideTheListIsRefused) {
    auto scan = Connected("page.ppm");
    scan->SetDPI(110);
    EXPECT_FALSE(scan->Acquire());
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("Résolution DPI 110"), std::string::npos);
}

TEST_F(PnmDevice, PresetsAreReadByTheOptionType) {
    EXPECT_NO_THROW(Connected("page.ppm", {{"resolution", "150"}, {"no-such-option", "x"}}));
    EXPECT_THROW(Connected("page.ppm", {{"hand-scanner", "maybe"}}), std::exception);
    EXPECT_THROW(Connected("page.ppm", {{"resolution", "150dpi"}}), std::exception);
    EXPECT_THROW(Connected("page.ppm", {{"resolution", "151"}}), std::exception);
    EXPECT_THROW(Connected("page.ppm", {{"resolution", ""}}), std::exception);
    // A file the device cannot read fails the scan, reported through the event, not as a success.
    auto scan = Connected("missing.ppm");
    bool failed = false;
    scan->OnScanError = [&failed](TWIAScan*) { failed = true; };
    EXPECT_FALSE(scan->Acquire());
    EXPECT_TRUE(failed);
    EXPECT_TRUE(messages_.empty());
}
