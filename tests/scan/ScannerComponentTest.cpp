// The scanner component against the scripted platform: enumeration, device choice, clamps,
// guards and their messages, the order of the settings written, and the transfer outcomes.

#include "scan/ScannerComponent.h"
#include "tests/scan/FakeScanPlatform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace fake;
namespace wia = velorix::scan::wia;

namespace {

const std::string Msg7(const std::string& name) {
    return "Périphérique WIA \"" + name + "\" non trouvé.\rBranchez le Scanner.";
}

struct ScanComponent : ::testing::Test {
    std::shared_ptr<Script> script = std::make_shared<Script>();
    std::vector<std::string> messages;
    std::unique_ptr<TWIAScan> scan;

    void Make() {
        scan = std::make_unique<TWIAScan>(MakePlatform(script));
        scan->ShowMessage = [this](TWIAScan::TMessageKind kind, const std::string& text) {
            messages.push_back(std::string(kind == TWIAScan::TMessageKind::Warning ? "W:" : "E:") +
                               text);
        };
    }
    // Open with one standard scanner connected.
    void Ready(const std::string& name = "Scanner A") {
        script->devices.push_back(StandardScanner(name));
        Make();
        scan->SetOpen(true);
        scan->SetSelectedDevice(name);
        script->log.clear();
    }
    std::string Raised(const std::function<void()>& f) {
        try {
            f();
        } catch (const EWIAException& e) {
            return e.what();
        }
        return "(nothing)";
    }
};

} // namespace

TEST_F(ScanComponent, EnumerationListsScannersAndSwallowsFailures) {
    DeviceEntry cam;
    cam.type = velorix::scan::CameraDeviceType;
    cam.name = "Camera";
    script->devices = {StandardScanner("A"), cam, StandardScanner("A"), StandardScanner("B")};
    Make();
    EXPECT_EQ(scan->WIAPresent(), wpUnknown);
    scan->SetOpen(true);
    EXPECT_EQ(scan->WIAPresent(), wpYes);
    EXPECT_EQ(scan->Devices(),
              (std::vector<std::string>{"A", "A", "B"})); // duplicates kept, order kept

    // A device that stops answering: what was listed stays, nothing is raised, Open stays true.
    script->failAtInfo = 3;
    EXPECT_NO_THROW(scan->SetOpen(true));
    EXPECT_EQ(scan->WIAPresent(), wpNo);
    EXPECT_EQ(scan->Devices(), (std::vector<std::string>{"A"}));
    EXPECT_TRUE(scan->Open());

    // No platform at all.
    script->failManager = true;
    scan->SetOpen(true);
    EXPECT_EQ(scan->WIAPresent(), wpNo);
    EXPECT_TRUE(scan->Devices().empty());

    // Closing only stores the flag.
    script->failManager = false;
    scan->SetOpen(false);
    EXPECT_EQ(scan->WIAPresent(), wpNo);
    EXPECT_EQ(Raised([&] { scan->CheckOpen(); }),
              "Composant WIAScan non activé pour cette opération!");
}

TEST_F(ScanComponent, OnlyCamerasGivesAnEmptyListButPresent) {
    DeviceEntry cam;
    cam.type = velorix::scan::VideoDeviceType;
    cam.name = "Webcam";
    script->devices = {cam};
    Make();
    scan->SetOpen(true);
    EXPECT_EQ(scan->WIAPresent(), wpYes);
    EXPECT_TRUE(scan->Devices().empty());
    EXPECT_EQ(Raised([&] { scan->SetSelectedDevice("Webcam"); }), Msg7("Webcam"));
}

TEST_F(ScanComponent, SelectingConnectsAndLimitsTheResolution) {
    script->devices = {StandardScanner("A")};
    Make();
    EXPECT_EQ(Raised([&] { scan->SetSelectedDevice("A"); }),
              "Composant WIAScan non activé pour cette opération!");
    scan->SetOpen(true);
    // No device yet: stored, then the clamp step raises.
    EXPECT_EQ(Raised([&] { scan->SetDPI(2400); }), "Aucun périphérique sélectionné.");
    EXPECT_EQ(scan->DPI(), 2400);
    scan->SetSelectedDevice("A");
    EXPECT_TRUE(scan->Connected());
    EXPECT_EQ(scan->MaxDPI(), 1200);
    EXPECT_EQ(scan->DPI(), 1200);
    scan->SetDPI(2400);
    EXPECT_EQ(scan->DPI(), 1200);
    scan->SetDPI(75);
    EXPECT_EQ(scan->DPI(), 75);

    // Exact, case-sensitive names.
    EXPECT_EQ(Raised([&] { scan->SetSelectedDevice("a"); }), Msg7("a"));
    EXPECT_EQ(Raised([&] { scan->SetSelectedDevice(" A"); }), Msg7(" A"));
    // The failed choice released the connection but kept the name.
    EXPECT_FALSE(scan->Connected());
    EXPECT_EQ(script->liveDevices, 0);
    EXPECT_EQ(scan->SelectedDevice(), "A");
    EXPECT_EQ(Raised([&] { scan->CheckDevice(); }), "Périphérique sélectionné non valide.");
}

TEST_F(ScanComponent, DeviceWithoutOpticalResolutionKeepsTheLimit) {
    script->devices = {StandardScanner("A")};
    script->devices[0].data->device.props.erase(wia::DPS_OPTICAL_YRES);
    Make();
    scan->SetOpen(true);
    scan->SetSelectedDevice("A");
    EXPECT_EQ(scan->MaxDPI(), 12000);
    EXPECT_EQ(scan->DPI(), 150);
}

TEST_F(ScanComponent, TwoScannersOfTheSameNameConnectTheLaterOne) {
    script->devices = {StandardScanner("Twin"), StandardScanner("Twin")};
    script->devices[0].data->device.props[wia::DPS_OPTICAL_YRES].value = std::int32_t{100};
    script->devices[1].data->device.props[wia::DPS_OPTICAL_YRES].value = std::int32_t{600};
    Make();
    scan->SetOpen(true);
    scan->SetSelectedDevice("Twin");
    EXPECT_EQ(script->connects, 2);
    EXPECT_EQ(script->liveDevices, 1);
    EXPECT_EQ(scan->MaxDPI(), 600);
    EXPECT_EQ(scan->DPI(), 100); // the minimum over both limits
    script->log.clear();
    scan->SetDPI(100);
    scan->SetScanArea(wsaFull);
    ASSERT_TRUE(scan->ApplySettings());
    // The writes went to the second device.
    EXPECT_EQ(script->devices[1].data->item.props[wia::IPS_XRES].value,
              velorix::scan::TVariant(std::int32_t{100}));
    EXPECT_EQ(script->devices[0].data->item.props[wia::IPS_XRES].value,
              velorix::scan::TVariant(std::int32_t{0}));
}

TEST_F(ScanComponent, GuardsNameTheFirstMissingThing) {
    script->devices = {StandardScanner("A")};
    Make();
    EXPECT_EQ(Raised([&] { scan->CheckReady(); }),
              "Composant WIAScan non activé pour cette opération!");
    scan->SetOpen(true);
    EXPECT_EQ(Raised([&] { scan->SetDPI(300); }), "Aucun périphérique sélectionné.");
    EXPECT_EQ(scan->DPI(), 300);
    EXPECT_EQ(Raised([&] { scan->SetSelectedDevice("Nope"); }), Msg7("Nope"));
    EXPECT_EQ(Raised([&] { scan->CheckDevice(); }), "Aucun périphérique sélectionné.");
    EXPECT_EQ(Raised([&] { scan->Acquire(); }), "Aucun périphérique sélectionné.");
}

TEST_F(ScanComponent, StoredSettingsApplyWithoutRaising) {
    script->devices = {StandardScanner("A")};
    Make();
    scan->BeginInit();
    EXPECT_EQ(Raised([&] { scan->SetSelectedDevice("A"); }),
              "Composant WIAScan non activé pour cette opération!");
    scan->SetOpen(true);
    EXPECT_EQ(scan->Devices().size(), 1u);
    scan->SetDPI(150);
    scan->SetScanWidth(0);
    scan->SetSelectedDevice("A"); // inert
    scan->EndInit();
    EXPECT_EQ(scan->SelectedDevice(), "");
    EXPECT_FALSE(scan->Connected());
}

TEST_F(ScanComponent, SettersClamp) {
    Ready();
    scan->SetBrightness(-110);
    EXPECT_EQ(scan->Brightness(), -100);
    scan->SetBrightness(150);
    EXPECT_EQ(scan->Brightness(), 100);
    scan->SetContrast(-101);
    EXPECT_EQ(scan->Contrast(), -100);
    scan->SetScanStartX(-5);
    EXPECT_EQ(scan->ScanStartX(), 0);
    scan->SetScanStartY(100000); // the start is not limited
    EXPECT_EQ(scan->ScanStartY(), 100000);
    scan->SetDPI(150);
    scan->SetScanWidth(5000);
    EXPECT_EQ(scan->ScanWidth(), 1275);
    scan->SetScanHeight(-1);
    EXPECT_EQ(scan->ScanHeight(), 0);
    // A higher resolution does not enlarge a clamped size again.
    scan->SetDPI(300);
    EXPECT_EQ(scan->ScanWidth(), 1275);
    // Bed sizes: thousandths of an inch -> pixels at DPI.
    for (auto [dpi, px] : {std::pair{75, 637}, {150, 1275}, {300, 2550}}) {
        scan->SetDPI(dpi);
        EXPECT_EQ(scan->GetBedWidth(), px);
    }
}

TEST_F(ScanComponent, PropertyAccessMessagesCarryThePlatformText) {
    Ready();
    auto& data = *script->devices[0].data;
    data.device.failExists.insert(3074);
    EXPECT_EQ(
        Raised([&] { scan->DevicePropertyExists(3074); }),
        "Echec de la vérification de la propriété du périphérique \"3074\" existance: no answer");
    data.device.props[3096] = Prop{std::int32_t{0}, false, false, true};
    EXPECT_EQ(Raised([&] { scan->DevicePropertyWritable(3096); }),
              "Echec de la vérification de la propriété\"3096\" existante: no answer");
    EXPECT_EQ(Raised([&] { scan->GetDeviceProperty(4242); }),
              "Echec de l'obtention de la propriété du périphérique \"4242\": not found");
    EXPECT_EQ(Raised([&] { scan->SetDeviceProperty(3075, std::int32_t{5}); }),
              "Echec de l'application de la propriété du périphérique \"3075\" à \"5\": refused");
    data.item.props[6154] = Prop{std::int32_t{0}, false, false, true};
    EXPECT_EQ(Raised([&] { scan->ItemPropertyWritable(6154); }),
              "Echec de la vérification de la propriété \"6154\" existance: no answer");
    data.item.props[6147].failSet = true;
    EXPECT_EQ(Raised([&] { scan->SetItemProperty(6147, std::int32_t{300}); }),
              "Echec de l'application de la propriété \"6147\" à \"300\": refused");
    EXPECT_EQ(Raised([&] { scan->SetItemProperty(4106, std::string("{X}")); }),
              "Echec de l'application de la propriété \"4106\" à \"{X}\": not found");
    // Guards are not wrapped.
    scan->SetOpen(false);
    EXPECT_EQ(Raised([&] { scan->GetDeviceProperty(3074); }),
              "Composant WIAScan non activé pour cette opération!");
}

TEST_F(ScanComponent, ApplySettingsWritesInItsOrder) {
    Ready();
    auto& data = *script->devices[0].data;
    data.device.props[wia::DPS_PAGES] = Prop{std::int32_t{0}};
    data.device.props[wia::DPS_PAGE_SIZE] = Prop{std::int32_t{5}};
    data.item.props[wia::IPS_BRIGHTNESS] = Prop{std::int32_t{0}};
    data.item.props[wia::IPS_CONTRAST] = Prop{std::int32_t{0}, true}; // read-only: skipped
    scan->SetDPI(75);
    scan->SetBrightness(-110);
    ASSERT_TRUE(scan->ApplySettings());
    EXPECT_EQ(script->log, (std::vector<std::string>{
                               "device 3096=1", "device 3097=0", "item 4103=3", "item 6146=1",
                               "item 4104=24", "item 6154=-100", "item 6147=75", "item 6148=75",
                               "item 6149=0", "item 6150=0", "item 6151=637", "item 6152=876"}));

    script->log.clear();
    data.device.props[wia::DPS_PAGES].failSet = true; // ignored
    data.item.props.erase(wia::IPS_BRIGHTNESS);
    data.item.props[wia::IPA_DEPTH].readOnly = true;
    scan->SetIntent(wiGrayscale);
    scan->SetDPI(300);
    scan->SetScanStartX(10);
    scan->SetScanStartY(20);
    scan->SetScanWidth(30);
    scan->SetScanHeight(40);
    scan->SetScanArea(wsaPartial);
    ASSERT_TRUE(scan->ApplySettings());
    EXPECT_EQ(script->log,
              (std::vector<std::string>{"device 3097=0", "item 4103=2", "item 6146=2",
                                        "item 6147=300", "item 6148=300", "item 6149=10",
                                        "item 6150=20", "item 6151=30", "item 6152=40"}));
    EXPECT_TRUE(messages.empty());

    // A stack: the source before everything else, then one transfer a sheet until the feeder
    // is empty, each page handed over as it comes.
    script->log.clear();
    data.device.props[wia::DPS_PAGES].failSet = false;
    data.device.props[wia::DPS_DOCUMENT_HANDLING_SELECT] = Prop{std::int32_t{wia::FLATBED}};
    scan->SetDocumentHandling(wia::FEEDER | wia::DUPLEX);
    scan->SetPages(0);
    scan->SetPageSize(wia::PAGE_AUTO);
    scan->SetScanArea(wsaFull);
    script->bytes = SmallBmp(3, 2);
    script->nextOutcomes = {Outcome::Image, Outcome::Image, Outcome::FeederEmpty};
    std::vector<QSize> pages;
    EXPECT_EQ(scan->AcquireStack([&](QImage page) { pages.push_back(page.size()); }),
              TWIAScan::TStackResult::Complete);
    EXPECT_EQ(pages, (std::vector<QSize>{QSize(3, 2), QSize(3, 2)}));
    EXPECT_EQ(script->log,
              (std::vector<std::string>{
                  "device 3088=5", "device 3096=0", "device 3097=100", "item 4103=2", "item 6146=2",
                  "item 6147=300", "item 6148=300", "item 6149=0", "item 6150=0", "item 6151=2550",
                  "item 6152=3507", "transfer", "transfer", "transfer"}));

    // Empty at once, a jam after a page (its reason kept), a cancel.
    script->nextOutcomes = {Outcome::FeederEmpty};
    EXPECT_EQ(scan->AcquireStack([](QImage) {}), TWIAScan::TStackResult::Empty);
    script->nextOutcomes = {Outcome::Image, Outcome::Jam};
    pages.clear();
    EXPECT_EQ(scan->AcquireStack([&](QImage page) { pages.push_back(page.size()); }),
              TWIAScan::TStackResult::Failed);
    EXPECT_EQ(pages.size(), 1U);
    EXPECT_EQ(scan->FailureReason(), velorix::scan::FeederReason::Jam);
    EXPECT_TRUE(scan->LastScanFailed());
    script->nextOutcomes = {Outcome::Cancel};
    EXPECT_EQ(scan->AcquireStack([](QImage) {}), TWIAScan::TStackResult::Cancelled);

    // A feeder asked of a scanner that has none is said, and nothing is scanned.
    data.device.props.erase(wia::DPS_DOCUMENT_HANDLING_SELECT);
    script->log.clear();
    EXPECT_THROW(scan->AcquireStack([](QImage) {}), EWIAException);
    EXPECT_EQ(std::count(script->log.begin(), script->log.end(), "transfer"), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ScanComponent, ApplySettingsRefusals) {
    Ready();
    auto& data = *script->devices[0].data;
    // Refused resolution: message names it, the first axis stays written, no area.
    data.item.props[wia::IPS_YRES].failSet = true;
    scan->SetDPI(400);
    EXPECT_FALSE(scan->ApplySettings());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(
        messages[0],
        "E:Résolution DPI 400 non pas supportée par ce périphérique via l'interface WIA. Utilisez "
        "une des valeurs DPI suivantes: 75, 100, 150, 200, 300, 600 ou sélectionnez un autre "
        "périphérique scanner.");
    EXPECT_EQ(script->log.back(), "item 6147=400");

    // A failing intent write leaves ApplySettings raised.
    data.item.props[wia::IPA_DATATYPE].failSet = true;
    EXPECT_EQ(Raised([&] { scan->ApplySettings(); }),
              "Echec de l'application de la propriété \"4103\" à \"3\": refused");

    // No bed size: warning, nothing written.
    script->log.clear();
    messages.clear();
    data.device.props.erase(wia::DPS_VERTICAL_BED_SIZE);
    EXPECT_FALSE(scan->ApplySettings());
    EXPECT_EQ(messages,
              (std::vector<std::string>{"W:Scanner incompatible avec ce programme, désolé!"}));
    EXPECT_TRUE(script->log.empty());
}

TEST_F(ScanComponent, AcquireOutcomes) {
    Ready();
    int errors = 0, aborts = 0;
    scan->OnScanError = [&](TWIAScan* s) {
        EXPECT_EQ(s, scan.get());
        ++errors;
    };
    scan->OnScanAbort = [&](TWIAScan*) { ++aborts; };

    script->bytes = SmallBmp(7, 5);
    ASSERT_TRUE(scan->Acquire());
    EXPECT_EQ(script->transferFormat, wia::ImgFmt_BMP);
    ASSERT_NE(scan->Graphic(), nullptr);
    EXPECT_EQ(scan->Graphic()->Kind, TGraphic::gkBitmap);
    EXPECT_EQ(scan->Graphic()->Image.size(), QSize(7, 5));

    script->outcome = Outcome::Cancel;
    EXPECT_FALSE(scan->Acquire());
    EXPECT_EQ(aborts, 1);
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(scan->Graphic()->Image.size(), QSize(7, 5));

    script->outcome = Outcome::Error;
    EXPECT_FALSE(scan->Acquire());
    EXPECT_EQ(aborts, 1);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(scan->Graphic()->Image.size(), QSize(7, 5));

    scan->OnScanError = nullptr;
    scan->OnScanAbort = nullptr;
    EXPECT_FALSE(scan->Acquire());
    script->outcome = Outcome::Cancel;
    EXPECT_FALSE(scan->Acquire());

    // A JPEG result; the previous image is gone.
    script->outcome = Outcome::Image;
    script->formatId = wia::ImgFmt_JPEG;
    script->bytes = SmallJpeg(9, 4);
    ASSERT_TRUE(scan->Acquire());
    EXPECT_EQ(scan->Graphic()->Kind, TGraphic::gkJpegImage);
    EXPECT_EQ(scan->Graphic()->Image.size(), QSize(9, 4));

    // Ids are compared exactly.
    script->formatId = "{b96b3cae-0728-11d3-9d7b-0000f81ef32e}";
    EXPECT_EQ(
        Raised([&] { scan->Acquire(); }),
        "Format d'image inconnu {b96b3cae-0728-11d3-9d7b-0000f81ef32e} lors de la lecture du flux "
        "mémoire");
    EXPECT_EQ(scan->Graphic(), nullptr);

    // Data that does not decode is raised, not handed on.
    script->formatId = wia::ImgFmt_BMP;
    script->bytes = {'B', 'M', 1, 2, 3};
    EXPECT_THROW(scan->Acquire(), EWIAException);
    EXPECT_EQ(scan->Graphic(), nullptr);
}

TEST_F(ScanComponent, AcquireStopsBeforeTheTransferWhenSettingsAreRefused) {
    Ready();
    int events = 0;
    scan->OnScanError = scan->OnScanAbort = [&](TWIAScan*) { ++events; };
    script->devices[0].data->item.props[wia::IPS_XRES].failSet = true;
    EXPECT_FALSE(scan->Acquire());
    EXPECT_EQ(events, 0);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(std::count(script->log.begin(), script->log.end(), "transfer"), 0);
}

TEST_F(ScanComponent, AcquireFormatProperty) {
    Ready();
    script->bytes = SmallBmp(2, 2);
    scan->SetFormat(sffPNG);
    EXPECT_TRUE(scan->Acquire()); // no format property: nothing written, the scan goes on
    EXPECT_EQ(std::count_if(script->log.begin(), script->log.end(),
                            [](const std::string& s) { return s.rfind("item 4106", 0) == 0; }),
              0);
    script->devices[0].data->item.props[wia::IPA_FORMAT] = Prop{std::string()};
    script->log.clear();
    EXPECT_TRUE(scan->Acquire());
    EXPECT_EQ(script->log[script->log.size() - 2],
              "item 4106={B96B3CAF-0728-11D3-9D7B-0000F81EF32E}");
    EXPECT_EQ(script->log.back(), "transfer");
    EXPECT_EQ(script->transferFormat, wia::ImgFmt_BMP);
}

TEST_F(ScanComponent, AcquireToFile) {
    Ready();
    scan->SetScanMedium(smFile);
    scan->SetFileName("   ");
    EXPECT_EQ(Raised([&] { scan->Acquire(); }),
              "Pas de fichier de sortie spécifié comme fichier scanné!");
    EXPECT_TRUE(script->log.empty());

    const auto path = std::filesystem::temp_directory_path() / "velorix_wiascan_file.bmp";
    {
        std::ofstream old(path);
        old << "old content that is longer than the new "
               "one........................................";
    }
    script->bytes = SmallBmp(3, 3);
    scan->SetFileName(path.string());
    EXPECT_FALSE(scan->Acquire());
    EXPECT_EQ(scan->Graphic(), nullptr);
    EXPECT_EQ(std::filesystem::file_size(path), script->bytes.size());
    std::filesystem::remove(path);
}
