#pragma once
// The scanner component: lists the scanners, connects the chosen one, holds the scan settings,
// writes them into the device just before a scan and acquires one image.

#include "scan/ScanPlatform.h"
#include "scan/ScanSettings.h"

#include <QImage>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

enum TScanFileFormat { sffAuto, sffBMP, sffBMPRAW, sffJPEG, sffGIF, sffPNG, sffTIFF };
enum TWIAScanMedium { smFile, smMemory };
enum TWIAPresence { wpNo, wpYes, wpUnknown };
enum TWIAIntent { wiColor, wiGrayscale };
enum TWIAScanArea { wsaFull, wsaPartial };

// A scanner failure, with its French message.
class EWIAException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The last acquired image: a bitmap or a JPEG image, decoded.
struct TGraphic {
    enum TKind { gkBitmap, gkJpegImage };
    TKind Kind = gkBitmap;
    QImage Image;
};

// The scanner component: the scanner list, the connected scanner, its settings and the scan.
class TWIAScan {
public:
    using TNotifyEvent = std::function<void(TWIAScan* sender)>;
    enum class TMessageKind { Warning, Error };
    // How the component shows its own two messages (OK button only).
    using TMessageHandler = std::function<void(TMessageKind kind, const std::string& text)>;

    explicit TWIAScan(
        std::shared_ptr<velorix::scan::IScanPlatform> platform = velorix::scan::LoadScanPlatform());
    ~TWIAScan();
    TWIAScan(const TWIAScan&) = delete;
    TWIAScan& operator=(const TWIAScan&) = delete;

    // The owner applies its stored settings between these two calls; meanwhile the device
    // choice and the clamp step do nothing, so stored values never raise.
    void BeginInit() { loading_ = true; }
    void EndInit() { loading_ = false; }
    bool Loading() const { return loading_; }

    bool Open() const { return open_; }
    // Opening lists the scanners now (ListDevices, then TakeDeviceList).
    void SetOpen(bool value);

    // The scanner names and whether scanner access works. Touches only the platform layer,
    // not this component: it may run on another thread while the owner leaves the scanner
    // layer alone.
    struct TDeviceList {
        TWIAPresence presence = wpUnknown;
        std::vector<std::string> names;
        std::string problem; // why the list may be incomplete, said when it is taken
    };
    TDeviceList ListDevices() const;
    // Opens the component with a list made by ListDevices.
    void TakeDeviceList(TDeviceList list);
    const std::string& SelectedDevice() const { return selectedDevice_; }
    void SetSelectedDevice(const std::string& name);
    // Connects the scanner of that listed name only where the platform can open it by the
    // name alone, with no list made: the component is then open, scanner access known to work,
    // and the list may come later. False, and nothing changed, where it cannot.
    bool ConnectDirect(const std::string& name);
    std::int32_t DPI() const { return dpi_; }
    void SetDPI(std::int32_t value);
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& value) { fileName_ = value; }
    TScanFileFormat Format() const { return format_; }
    void SetFormat(TScanFileFormat value) { format_ = value; }
    TWIAPresence WIAPresent() const { return wiaPresent_; }
    TWIAScanMedium ScanMedium() const { return scanMedium_; }
    void SetScanMedium(TWIAScanMedium value) { scanMedium_ = value; }
    TWIAIntent Intent() const { return intent_; }
    void SetIntent(TWIAIntent value) { intent_ = value; }
    std::int32_t Brightness() const { return brightness_; }
    void SetBrightness(std::int32_t value);
    std::int32_t Contrast() const { return contrast_; }
    void SetContrast(std::int32_t value);
    TWIAScanArea ScanArea() const { return scanArea_; }
    void SetScanArea(TWIAScanArea value);
    std::int32_t ScanStartX() const { return scanStartX_; }
    void SetScanStartX(std::int32_t value);
    std::int32_t ScanStartY() const { return scanStartY_; }
    void SetScanStartY(std::int32_t value);
    std::int32_t ScanWidth() const { return scanWidth_; }
    void SetScanWidth(std::int32_t value);
    std::int32_t ScanHeight() const { return scanHeight_; }
    void SetScanHeight(std::int32_t value);

    // Where the paper comes from (wia::FEEDER, FLATBED, FEEDER | DUPLEX); 0 leaves the device's
    // own choice.
    int DocumentHandling() const { return documentHandling_; }
    void SetDocumentHandling(int value) { documentHandling_ = value; }
    // What the connected scanner offers (wia::FEEDER, FLATBED, DUPLEX bits); 0 when it says
    // nothing.
    int DocumentHandlingCapabilities();
    // Pages per transfer (0: every sheet in the feeder) and the feeder's page size.
    std::int32_t Pages() const { return pages_; }
    void SetPages(std::int32_t value) { pages_ = std::max<std::int32_t>(value, 0); }
    std::int32_t PageSize() const { return pageSize_; }
    void SetPageSize(std::int32_t value) { pageSize_ = value; }

    TNotifyEvent OnScanError;
    TNotifyEvent OnScanAbort;
    // Why the last scan failed when its driver crashed or stalled (naming the scanner); empty
    // after a scan that did not, or one whose device only reported an error.
    const std::string& LastFailure() const { return lastFailure_; }
    // The last transfer failed (any reason but a cancel): the device may need connecting again.
    bool LastScanFailed() const { return lastScanFailed_; }
    TMessageHandler ShowMessage;

    const std::vector<std::string>& Devices() const { return devices_; }
    // Empty (nullptr) until a memory scan succeeds. Callers copy it.
    const TGraphic* Graphic() const { return graphic_.get(); }
    std::int32_t MaxDPI() const { return maxDPI_; }
    bool Connected() const { return connectedDevice_ != nullptr; }

    bool Acquire();
    bool ApplySettings();
    // The settings as the settings step writes them.
    velorix::scan::ScanSettings Settings();

    // How a stack scan ended, for its caller's messages.
    enum class TStackResult { Complete, Empty, Cancelled, Refused, Failed };
    // Scans page after page (Pages(), 0: until the feeder is empty) with the settings written
    // once, each page handed to onPage as soon as it is whole. A refused setting shows the
    // component's message and ends as Refused with no page. After Failed, LastFailure() says
    // why (the device's reason, or the lost scanner) and FailureReason() the feeder's reason.
    TStackResult AcquireStack(const velorix::scan::PageSink& onPage);
    velorix::scan::FeederReason FailureReason() const { return failureReason_; }

    void CheckOpen() const;
    // The scanner of that name is connected: its resolution limit applies.
    void TakeConnection(const std::string& name, std::shared_ptr<velorix::scan::IDevice> device);
    void CheckDevice() const;
    void CheckReady() const;

    bool DevicePropertyExists(int id);
    bool DevicePropertyWritable(int id);
    velorix::scan::TVariant GetDeviceProperty(int id);
    void SetDeviceProperty(int id, const velorix::scan::TVariant& value);
    bool ItemPropertyWritable(int id);
    void SetItemProperty(int id, const velorix::scan::TVariant& value);

    std::int32_t GetBedWidth();
    std::int32_t GetBedHeight();
    void ClampScanArea();

    // The text written to the item's format property for each Format (empty for sffAuto).
    static const char* FormatIdText(TScanFileFormat format);

private:
    std::int32_t BedPixels(int id);
    void ShowRefusal(velorix::scan::SettingsOutcome outcome);
    void Show(TMessageKind kind, const std::string& text);

    std::shared_ptr<velorix::scan::IScanPlatform> platform_;
    bool loading_ = false;
    bool open_ = false;
    std::string selectedDevice_;
    std::string lastFailure_;
    bool lastScanFailed_ = false;
    std::int32_t dpi_ = 150;
    std::string fileName_;
    TScanFileFormat format_ = sffAuto;
    TWIAPresence wiaPresent_ = wpUnknown;
    TWIAScanMedium scanMedium_ = smMemory;
    TWIAIntent intent_ = wiColor;
    std::int32_t brightness_ = 0;
    std::int32_t contrast_ = 0;
    TWIAScanArea scanArea_ = wsaFull;
    std::int32_t scanStartX_ = 0;
    std::int32_t scanStartY_ = 0;
    std::int32_t scanWidth_ = 0;
    std::int32_t scanHeight_ = 0;
    std::int32_t maxDPI_ = 12000;
    int documentHandling_ = 0;
    std::int32_t pages_ = 1;
    std::int32_t pageSize_ = velorix::scan::wia::PAGE_A4;
    velorix::scan::FeederReason failureReason_ = velorix::scan::FeederReason::None;
    std::vector<std::string> devices_;
    std::shared_ptr<velorix::scan::IDevice> connectedDevice_;
    std::unique_ptr<TGraphic> graphic_;
};
