#include "scan/ScannerComponent.h"

#include <QApplication>
#include <QMessageBox>

#include <algorithm>
#include <cstdio>
#include <iostream>

using velorix::scan::TVariant;
using velorix::scan::VariantToInt;
using velorix::scan::VariantToText;
namespace wia = velorix::scan::wia;

namespace {

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}
std::string IdText(int id) {
    return std::to_string(id);
}

std::string Trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

} // namespace

TWIAScan::TWIAScan(std::shared_ptr<velorix::scan::IScanPlatform> platform)
    : platform_(std::move(platform)) {}

// The connection goes before the platform that made it.
TWIAScan::~TWIAScan() {
    graphic_.reset();
    connectedDevice_.reset();
}

const char* TWIAScan::FormatIdText(TScanFileFormat format) {
    switch (format) {
    case sffBMP:
        return wia::ImgFmt_BMP;
    case sffBMPRAW:
        return wia::ImgFmt_MEMORYBMP;
    case sffJPEG:
        return wia::ImgFmt_JPEG;
    case sffGIF:
        return wia::ImgFmt_GIF;
    case sffPNG:
        return wia::ImgFmt_PNG;
    case sffTIFF:
        return wia::ImgFmt_TIFF;
    case sffAuto:
        break;
    }
    return "";
}

void TWIAScan::Show(TMessageKind kind, const std::string& text) {
    if (ShowMessage) {
        ShowMessage(kind, text);
        return;
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        if (kind == TMessageKind::Warning)
            QMessageBox::warning(nullptr, QStringLiteral("Velorix! 2"),
                                 QString::fromStdString(text));
        else
            QMessageBox::critical(nullptr, QStringLiteral("Velorix! 2"),
                                  QString::fromStdString(text));
        return;
    }
    std::cerr << text << '\n';
}

// ---- Devices -----------------------------------------------------------------------------

void TWIAScan::SetOpen(bool value) {
    open_ = value;
    if (value)
        TakeDeviceList(ListDevices());
}

TWIAScan::TDeviceList TWIAScan::ListDevices() const {
    TDeviceList list;
    try {
        auto manager = platform_->CreateDeviceManager();
        list.presence = wpYes;
        auto infos = manager->DeviceInfos();
        const int count = infos->Count();
        for (int i = 1; i <= count; ++i) {
            auto info = infos->Item(i);
            if (info->Type() != velorix::scan::ScannerDeviceType)
                continue;
            auto props = info->Properties();
            list.names.push_back(VariantToText(props->Item(IdText(wia::DIP_DEV_NAME))->Value()));
        }
        list.problem = infos->Problem();
    } catch (const std::exception&) {
        // No scanner access, or a device that does not answer: the lamp shows it, nobody is
        // interrupted. What was listed before the failure stays, as it always did.
        list.presence = wpNo;
    }
    return list;
}

void TWIAScan::TakeDeviceList(TDeviceList list) {
    open_ = true;
    wiaPresent_ = list.presence;
    devices_ = std::move(list.names);
    if (!list.problem.empty())
        Show(TMessageKind::Warning, list.problem);
}

void TWIAScan::SetSelectedDevice(const std::string& name) {
    CheckOpen();
    if (loading_)
        return;
    connectedDevice_.reset();
    bool found = false;
    {
        auto manager = platform_->CreateDeviceManager();
        if (auto device = manager->ConnectNamed(name)) {
            TakeConnection(name, std::move(device));
            return;
        }
        auto infos = manager->DeviceInfos();
        const int count = infos->Count();
        for (int i = 1; i <= count; ++i) {
            auto info = infos->Item(i);
            if (info->Type() != velorix::scan::ScannerDeviceType)
                continue;
            auto props = info->Properties();
            if (VariantToText(props->Item(IdText(wia::DIP_DEV_NAME))->Value()) != name)
                continue;
            selectedDevice_ = name;
            connectedDevice_.reset();
            TakeConnection(name, info->Connect());
            found = true;
        }
    }
    if (!found)
        throw EWIAException("Périphérique WIA " + Quoted(name) +
                            " non trouvé.\rBranchez le Scanner.");
}

bool TWIAScan::ConnectDirect(const std::string& name) {
    if (loading_)
        return false;
    auto device = platform_->CreateDeviceManager()->ConnectNamed(name);
    if (!device)
        return false;
    connectedDevice_.reset();
    TakeConnection(name, std::move(device));
    open_ = true;
    wiaPresent_ = wpYes;
    return true;
}

void TWIAScan::TakeConnection(const std::string& name,
                              std::shared_ptr<velorix::scan::IDevice> device) {
    selectedDevice_ = name;
    connectedDevice_ = std::move(device);
    auto devProps = connectedDevice_->Properties();
    if (devProps->Exists(IdText(wia::DPS_OPTICAL_YRES))) {
        maxDPI_ = VariantToInt(devProps->Item(IdText(wia::DPS_OPTICAL_YRES))->Value());
        dpi_ = std::min(dpi_, maxDPI_);
    }
}

// ---- Setters -----------------------------------------------------------------------------

void TWIAScan::SetDPI(std::int32_t value) {
    dpi_ = std::min(value, maxDPI_);
    ClampScanArea();
}

void TWIAScan::SetBrightness(std::int32_t value) {
    brightness_ = std::clamp(value, -100, 100);
}
void TWIAScan::SetContrast(std::int32_t value) {
    contrast_ = std::clamp(value, -100, 100);
}

void TWIAScan::SetScanArea(TWIAScanArea value) {
    scanArea_ = value;
    ClampScanArea();
}
void TWIAScan::SetScanStartX(std::int32_t value) {
    scanStartX_ = std::max(value, 0);
    ClampScanArea();
}
void TWIAScan::SetScanStartY(std::int32_t value) {
    scanStartY_ = std::max(value, 0);
    ClampScanArea();
}
void TWIAScan::SetScanWidth(std::int32_t value) {
    scanWidth_ = std::max(value, 0);
    ClampScanArea();
}
void TWIAScan::SetScanHeight(std::int32_t value) {
    scanHeight_ = std::max(value, 0);
    ClampScanArea();
}

void TWIAScan::ClampScanArea() {
    if (loading_)
        return;
    const bool hasWidth = DevicePropertyExists(wia::DPS_HORIZONTAL_BED_SIZE);
    const bool hasHeight = DevicePropertyExists(wia::DPS_VERTICAL_BED_SIZE);
    if (hasWidth && hasHeight) {
        scanWidth_ = std::min(scanWidth_, GetBedWidth());
        scanHeight_ = std::min(scanHeight_, GetBedHeight());
    }
}

std::int32_t TWIAScan::BedPixels(int id) {
    if (!DevicePropertyExists(id))
        return 0;
    return velorix::scan::BedPixels(VariantToInt(GetDeviceProperty(id)), dpi_);
}
std::int32_t TWIAScan::GetBedWidth() {
    return BedPixels(wia::DPS_HORIZONTAL_BED_SIZE);
}
std::int32_t TWIAScan::GetBedHeight() {
    return BedPixels(wia::DPS_VERTICAL_BED_SIZE);
}

// ---- Guards ------------------------------------------------------------------------------

void TWIAScan::CheckOpen() const {
    if (!open_)
        throw EWIAException("Composant WIAScan non activé pour cette opération!");
}

void TWIAScan::CheckDevice() const {
    if (Trimmed(selectedDevice_).empty())
        throw EWIAException("Aucun périphérique sélectionné.");
    if (!connectedDevice_)
        throw EWIAException("Périphérique sélectionné non valide.");
}

void TWIAScan::CheckReady() const {
    CheckOpen();
    CheckDevice();
}

// ---- Property access ---------------------------------------------------------------------
// Every call walks from the device anew; nothing but the device outlives it.

bool TWIAScan::DevicePropertyExists(int id) {
    CheckReady();
    try {
        return connectedDevice_->Properties()->Exists(IdText(id));
    } catch (const std::exception& e) {
        throw EWIAException("Echec de la vérification de la propriété du périphérique " +
                            Quoted(IdText(id)) + " existance: " + e.what());
    }
}

bool TWIAScan::DevicePropertyWritable(int id) {
    CheckReady();
    try {
        auto props = connectedDevice_->Properties();
        return props->Exists(IdText(id)) && !props->Item(IdText(id))->IsReadOnly();
    } catch (const std::exception& e) {
        throw EWIAException("Echec de la vérification de la propriété" + Quoted(IdText(id)) +
                            " existante: " + e.what());
    }
}

TVariant TWIAScan::GetDeviceProperty(int id) {
    CheckReady();
    try {
        return connectedDevice_->Properties()->Item(IdText(id))->Value();
    } catch (const std::exception& e) {
        throw EWIAException("Echec de l'obtention de la propriété du périphérique " +
                            Quoted(IdText(id)) + ": " + e.what());
    }
}

void TWIAScan::SetDeviceProperty(int id, const TVariant& value) {
    CheckReady();
    try {
        connectedDevice_->Properties()->Item(IdText(id))->SetValue(value);
    } catch (const std::exception& e) {
        throw EWIAException("Echec de l'application de la propriété du périphérique " +
                            Quoted(IdText(id)) + " à " + Quoted(VariantToText(value)) + ": " +
                            e.what());
    }
}

bool TWIAScan::ItemPropertyWritable(int id) {
    CheckReady();
    try {
        auto item = connectedDevice_->Items()->Item(1);
        auto props = item->Properties();
        return props->Exists(IdText(id)) && !props->Item(IdText(id))->IsReadOnly();
    } catch (const std::exception& e) {
        throw EWIAException("Echec de la vérification de la propriété " + Quoted(IdText(id)) +
                            " existance: " + e.what());
    }
}

void TWIAScan::SetItemProperty(int id, const TVariant& value) {
    CheckReady();
    try {
        auto item = connectedDevice_->Items()->Item(1);
        item->Properties()->Item(IdText(id))->SetValue(value);
    } catch (const std::exception& e) {
        throw EWIAException("Echec de l'application de la propriété " + Quoted(IdText(id)) + " à " +
                            Quoted(VariantToText(value)) + ": " + e.what());
    }
}

// ---- Settings step -----------------------------------------------------------------------

namespace {

// The component's own calls, with their messages, as the step's target.
class ComponentTarget : public velorix::scan::ISettingsTarget {
public:
    explicit ComponentTarget(TWIAScan& scan) : scan_(scan) {}
    bool DeviceExists(int id) override { return scan_.DevicePropertyExists(id); }
    bool DeviceWritable(int id) override { return scan_.DevicePropertyWritable(id); }
    TVariant DeviceValue(int id) override { return scan_.GetDeviceProperty(id); }
    void SetDevice(int id, const TVariant& value) override { scan_.SetDeviceProperty(id, value); }
    bool ItemWritable(int id) override { return scan_.ItemPropertyWritable(id); }
    void SetItem(int id, const TVariant& value) override { scan_.SetItemProperty(id, value); }

private:
    TWIAScan& scan_;
};

} // namespace

velorix::scan::ScanSettings TWIAScan::Settings() {
    velorix::scan::ScanSettings s;
    s.documentHandling = documentHandling_;
    s.pages = pages_;
    s.pageSize = pageSize_;
    s.colour = intent_ == wiColor;
    s.brightness = brightness_;
    s.contrast = contrast_;
    s.dpi = dpi_;
    s.fullArea = scanArea_ == wsaFull;
    s.area[0] = scanStartX_;
    s.area[1] = scanStartY_;
    s.area[2] = scanWidth_;
    s.area[3] = scanHeight_;
    return s;
}

int TWIAScan::DocumentHandlingCapabilities() {
    if (!DevicePropertyExists(wia::DPS_DOCUMENT_HANDLING_CAPABILITIES))
        return 0;
    return VariantToInt(GetDeviceProperty(wia::DPS_DOCUMENT_HANDLING_CAPABILITIES));
}

void TWIAScan::ShowRefusal(velorix::scan::SettingsOutcome outcome) {
    if (outcome == velorix::scan::SettingsOutcome::Incompatible)
        Show(TMessageKind::Warning, "Scanner incompatible avec ce programme, désolé!");
    else
        Show(TMessageKind::Error,
             "Résolution DPI " + std::to_string(dpi_) +
                 " non pas supportée par ce périphérique via l'interface WIA. Utilisez une des "
                 "valeurs DPI suivantes: 75, 100, 150, 200, 300, 600 ou sélectionnez un autre "
                 "périphérique scanner.");
}

bool TWIAScan::ApplySettings() {
    ComponentTarget target(*this);
    const auto outcome = velorix::scan::ApplyScanSettings(target, Settings());
    if (outcome == velorix::scan::SettingsOutcome::Applied)
        return true;
    ShowRefusal(outcome);
    return false;
}

TWIAScan::TStackResult TWIAScan::AcquireStack(const velorix::scan::PageSink& onPage) {
    CheckReady();
    lastFailure_.clear();
    lastScanFailed_ = false;
    failureReason_ = velorix::scan::FeederReason::None;
    graphic_.reset();
    velorix::scan::StackEnd end;
    try {
        auto dialog = platform_->CreateCommonDialog();
        end = dialog->ShowStack(*connectedDevice_, Settings(), onPage);
    } catch (const velorix::scan::EScannerLost& e) {
        end.kind = velorix::scan::StackEnd::Failed;
        end.lost = true;
        end.message = e.what();
    } catch (const std::exception& e) {
        throw EWIAException(std::string("Echec de la numérisation: ") + e.what());
    }
    switch (end.kind) {
    case velorix::scan::StackEnd::Complete:
        return TStackResult::Complete;
    case velorix::scan::StackEnd::Empty:
        return TStackResult::Empty;
    case velorix::scan::StackEnd::Cancelled:
        return TStackResult::Cancelled;
    case velorix::scan::StackEnd::Refused:
        ShowRefusal(end.outcome);
        return TStackResult::Refused;
    case velorix::scan::StackEnd::Failed:
        break;
    }
    lastScanFailed_ = true;
    lastFailure_ = end.message;
    failureReason_ = end.reason;
    return TStackResult::Failed;
}

// ---- Transfer ----------------------------------------------------------------------------

bool TWIAScan::Acquire() {
    CheckReady();
    if (scanMedium_ == smFile && Trimmed(fileName_).empty())
        throw EWIAException("Pas de fichier de sortie spécifié comme fichier scanné!");
    if (!ApplySettings())
        return false;
    if (format_ != sffAuto && ItemPropertyWritable(wia::IPA_FORMAT))
        SetItemProperty(wia::IPA_FORMAT, std::string(FormatIdText(format_)));

    std::unique_ptr<velorix::scan::IImageFile> imageFile;
    bool failed = false;
    lastFailure_.clear();
    lastScanFailed_ = false;
    try {
        auto dialog = platform_->CreateCommonDialog();
        auto item = connectedDevice_->Items()->Item(1);
        imageFile = dialog->ShowTransfer(*item, wia::ImgFmt_BMP, false);
    } catch (const velorix::scan::EScannerLost& e) {
        lastFailure_ = e.what();
        failed = true;
    } catch (const std::exception&) {
        // Whatever the device said, a failed transfer is reported through the event only.
        failed = true;
    }
    if (failed) {
        lastScanFailed_ = true;
        if (OnScanError)
            OnScanError(this);
        return false;
    }
    if (!imageFile) {
        if (OnScanAbort)
            OnScanAbort(this);
        return false;
    }

    if (scanMedium_ == smFile) {
        std::remove(fileName_.c_str());
        imageFile->SaveFile(fileName_);
        return false;
    }

    graphic_.reset();
    const std::string id = imageFile->FormatID();
    if (id == wia::ImgFmt_BMP || id == wia::ImgFmt_MEMORYBMP) {
        // Held in memory already: no file is made and none decoded.
        QImage picture = imageFile->Picture();
        if (!picture.isNull()) {
            auto graphic = std::make_unique<TGraphic>();
            graphic->Kind = TGraphic::gkBitmap;
            graphic->Image = std::move(picture);
            graphic_ = std::move(graphic);
            return true;
        }
    }
    const std::vector<std::uint8_t> bytes = imageFile->FileData();
    TGraphic::TKind kind;
    const char* decoder;
    if (id == wia::ImgFmt_BMP || id == wia::ImgFmt_MEMORYBMP) {
        kind = TGraphic::gkBitmap;
        decoder = "BMP";
    } else if (id == wia::ImgFmt_JPEG || id == wia::ImgFmt_JPEG2K || id == wia::ImgFmt_JPEG2KX) {
        kind = TGraphic::gkJpegImage;
        decoder = "JPEG";
    } else {
        throw EWIAException("Format d'image inconnu " + id + " lors de la lecture du flux mémoire");
    }
    auto graphic = std::make_unique<TGraphic>();
    graphic->Kind = kind;
    if (!graphic->Image.loadFromData(bytes.data(), static_cast<int>(bytes.size()), decoder))
        throw EWIAException(std::string("Image scannée illisible (") + decoder + ")");
    graphic_ = std::move(graphic);
    return true;
}
