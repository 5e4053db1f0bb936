#pragma once
// The scanner platform layer: the calls the scanner component makes, shaped like an image
// acquisition automation layer (device manager, device infos, devices with items, property
// collections addressed by decimal-text ids, a transfer dialog returning an image file, which may
// hand its picture over in memory).
// No backend type appears here; backends live in sub-folders (sane/).

#include <QImage>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace velorix::scan {

// Any failure of the platform: its text is appended unchanged to the component's messages.
class EPlatformError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The scanner's driver crashed, exited or stopped sending: the message names the scanner and says
// what happened. The scanner layer is ready for the next call.
class EScannerLost : public EPlatformError {
public:
    using EPlatformError::EPlatformError;
};

// Why a feeder stopped: out of paper, jammed, its cover open. A device failure that is none of
// these says None.
enum class FeederReason { None, Empty, Jam, CoverOpen };

// A device failure with the feeder's reason, where the backend can tell it.
class EFeederStop : public EPlatformError {
public:
    EFeederStop(FeederReason reason, const std::string& text)
        : EPlatformError(text), reason_(reason) {}
    FeederReason Reason() const { return reason_; }

private:
    FeederReason reason_;
};

// A property value: empty, a 32-bit signed integer or a text (format ids).
using TVariant = std::variant<std::monostate, std::int32_t, std::string>;

// The value as the component writes it into its messages ("300", "{B96B...}").
std::string VariantToText(const TVariant& value);
// The integer held by a value; a text holding a decimal integer is converted, anything else
// raises EPlatformError.
std::int32_t VariantToInt(const TVariant& value);

// One property of a scanner or of its item.
class IProperty {
public:
    virtual ~IProperty() = default;
    virtual TVariant Value() const = 0;
    virtual void SetValue(const TVariant& value) = 0;
    virtual bool IsReadOnly() const = 0;
};

// The properties of a scanner or of its item, looked up by id.
class IProperties {
public:
    virtual ~IProperties() = default;
    virtual bool Exists(const std::string& id) = 0;
    // Raises EPlatformError when the id is not there.
    virtual std::unique_ptr<IProperty> Item(const std::string& id) = 0;
};

// A scanning item of a connected scanner (its flatbed or feeder).
class IItem {
public:
    virtual ~IItem() = default;
    virtual std::unique_ptr<IProperties> Properties() = 0;
};

// The items of a connected scanner.
class IItems {
public:
    virtual ~IItems() = default;
    virtual int Count() = 0;
    // index from 1
    virtual std::unique_ptr<IItem> Item(int index) = 0;
};

// A connected scanner.
class IDevice {
public:
    virtual ~IDevice() = default;
    virtual std::unique_ptr<IProperties> Properties() = 0;
    virtual std::unique_ptr<IItems> Items() = 0;
};

constexpr int ScannerDeviceType = 1;
constexpr int CameraDeviceType = 2;
constexpr int VideoDeviceType = 3;

// What the system tells about one scanner before it is connected.
class IDeviceInfo {
public:
    virtual ~IDeviceInfo() = default;
    virtual int Type() = 0;
    virtual std::unique_ptr<IProperties> Properties() = 0;
    virtual std::shared_ptr<IDevice> Connect() = 0;
};

// The scanners the system knows.
class IDeviceInfos {
public:
    virtual ~IDeviceInfos() = default;
    virtual int Count() = 0;
    // index from 1
    virtual std::unique_ptr<IDeviceInfo> Item(int index) = 0;
    // Why the list may be incomplete (a listing that crashed or did not end), in words for the
    // user; empty when it is complete.
    virtual std::string Problem() { return {}; }
};

// Lists the scanners and connects them.
class IDeviceManager {
public:
    virtual ~IDeviceManager() = default;
    virtual std::unique_ptr<IDeviceInfos> DeviceInfos() = 0;
    // Connects the scanner of that listed name without asking for the list, where the backend
    // can tell the device from the name alone (listing may take seconds); null where it cannot
    // or the device does not open, and the caller lists.
    virtual std::shared_ptr<IDevice> ConnectNamed(const std::string& listedName) {
        (void)listedName;
        return nullptr;
    }
};

// The transferred image: a complete image file with its format id.
class IImageFile {
public:
    virtual ~IImageFile() = default;
    virtual std::string FormatID() = 0;
    virtual std::vector<std::uint8_t> FileData() = 0;
    virtual void SaveFile(const std::string& fileName) = 0;
    // The picture the file holds, when the backend has it in memory already (shared, not
    // copied): callers that need no file take it and no file is made. Null otherwise.
    virtual QImage Picture() { return QImage(); }
};

struct ScanSettings;
enum class SettingsOutcome;

// How a stack of pages ended. Complete: the pages asked for came, or the feeder ran out after
// one page at least. Empty: the feeder was empty at the first sheet. Refused: the settings step
// said no (outcome). Failed: a device error (reason and message), or the scanner was lost
// (lost, message naming the scanner). Every page handed over before the end is whole.
struct StackEnd {
    enum Kind { Complete, Empty, Cancelled, Refused, Failed };
    Kind kind = Complete;
    SettingsOutcome outcome{};
    FeederReason reason = FeederReason::None;
    bool lost = false;
    std::string message;
};

// Takes each page of a stack as it arrives, on the caller's thread.
using PageSink = std::function<void(QImage page)>;

// Runs one transfer from a scanner item with the system's progress window.
class ICommonDialog {
public:
    virtual ~ICommonDialog() = default;
    // Applies the settings to the device (the settings step, in its order), then scans page
    // after page until settings.pages are made (0: until the feeder is empty), each handed to
    // sink as soon as it is whole, behind one progress window. This one runs the step through
    // the device's properties and one transfer a page; a backend that can do the whole stack in
    // one request does so.
    virtual StackEnd ShowStack(IDevice& device, const ScanSettings& settings, const PageSink& sink);
    // Runs the transfer with its modal progress window. Returns the image file, or nothing when
    // the user cancelled and cancelError is false; raises EPlatformError on device errors.
    virtual std::unique_ptr<IImageFile> ShowTransfer(IItem& item, const std::string& formatId,
                                                     bool cancelError) = 0;
};

// One backend of the layer.
// The window shown while a scanner call lasts (listing, connecting, scanning), made by the
// program and driven by the backend from the user-interface thread.
class IScanProgress {
public:
    virtual ~IScanProgress() = default;
    virtual void Show() = 0;
    virtual bool IsShown() const = 0;
    // The part received so far, 0..1; a window that has had none shows no measure.
    virtual void SetDone(double fraction) = 0;
    // The user asked to stop (only where the call was made cancellable).
    virtual bool CancelRequested() const = 0;
    // The call ended: the window goes.
    virtual void Finish() = 0;
};

// Makes the progress window of a call: its title, its text, and whether it offers "Annuler".
using ScanProgressFactory = std::function<std::unique_ptr<IScanProgress>(
    const std::string& title, const std::string& text, bool cancellable)>;

// The progress window of the scanner layer itself, for a program that passes none: a small modal
// dialog with the text, a bar and, when cancellable, "Annuler".
std::unique_ptr<IScanProgress> CreateScanProgressDialog(const std::string& title,
                                                        const std::string& text, bool cancellable);

class IScanPlatform {
public:
    virtual ~IScanPlatform() = default;
    virtual std::string Name() const = 0;
    virtual std::unique_ptr<IDeviceManager> CreateDeviceManager() = 0;
    virtual std::unique_ptr<ICommonDialog> CreateCommonDialog() = 0;
    // The program's progress windows for calls that last; until one is given, the scanner
    // layer's own dialog.
    virtual void SetProgressWindows(ScanProgressFactory) {}
};

// Property ids used by the component and understood by every backend.
namespace wia {
constexpr int DIP_DEV_NAME = 7;
constexpr int DPS_HORIZONTAL_BED_SIZE = 3074;
constexpr int DPS_VERTICAL_BED_SIZE = 3075;
constexpr int DPS_DOCUMENT_HANDLING_CAPABILITIES = 3086;
constexpr int DPS_DOCUMENT_HANDLING_SELECT = 3088;
constexpr int DPS_OPTICAL_YRES = 3091;
constexpr int DPS_PAGES = 3096;
constexpr int DPS_PAGE_SIZE = 3097;
constexpr int IPA_DATATYPE = 4103;
constexpr int IPA_DEPTH = 4104;
constexpr int IPA_FORMAT = 4106;
constexpr int IPS_CUR_INTENT = 6146;
constexpr int IPS_XRES = 6147;
constexpr int IPS_YRES = 6148;
constexpr int IPS_XPOS = 6149;
constexpr int IPS_YPOS = 6150;
constexpr int IPS_XEXTENT = 6151;
constexpr int IPS_YEXTENT = 6152;
constexpr int IPS_BRIGHTNESS = 6154;
constexpr int IPS_CONTRAST = 6155;

constexpr int DATA_GRAYSCALE = 2;
constexpr int DATA_COLOR = 3;
constexpr int INTENT_IMAGE_TYPE_COLOR = 1;
constexpr int INTENT_IMAGE_TYPE_GRAYSCALE = 2;
constexpr int PAGE_A4 = 0;
constexpr int PAGE_LETTER = 1;
constexpr int PAGE_USLEGAL = 3;
constexpr int PAGE_A5 = 12;
constexpr int PAGE_AUTO = 100; // the driver's own size

// Document handling: where the paper comes from, bits of the capabilities and of the choice.
constexpr int FEEDER = 0x001;
constexpr int FLATBED = 0x002;
constexpr int DUPLEX = 0x004;

inline constexpr const char* ImgFmt_BMP = "{B96B3CAB-0728-11D3-9D7B-0000F81EF32E}";
inline constexpr const char* ImgFmt_MEMORYBMP = "{B96B3CAA-0728-11D3-9D7B-0000F81EF32E}";
inline constexpr const char* ImgFmt_JPEG = "{B96B3CAE-0728-11D3-9D7B-0000F81EF32E}";
inline constexpr const char* ImgFmt_GIF = "{B96B3CB0-0728-11D3-9D7B-0000F81EF32E}";
inline constexpr const char* ImgFmt_PNG = "{B96B3CAF-0728-11D3-9D7B-0000F81EF32E}";
inline constexpr const char* ImgFmt_TIFF = "{B96B3CB1-0728-11D3-9D7B-0000F81EF32E}";
inline constexpr const char* ImgFmt_JPEG2K = "{344ee2b2-39db-4dde-8173-c4b75f8f1e49}";
inline constexpr const char* ImgFmt_JPEG2KX = "{43e14614-c80a-4850-baf3-4b152dc8da27}";
} // namespace wia

// Environment variable forcing a backend: "sane" or "null".
inline constexpr const char* ScanBackendEnv = "VELORIX_SCAN_BACKEND";

// The backend for this machine: the one named by VELORIX_SCAN_BACKEND if set, else SANE.
// An unknown name gives the null backend.
std::shared_ptr<IScanPlatform> LoadScanPlatform();

// A backend that has no scanners: creating a device manager raises "not available".
std::shared_ptr<IScanPlatform> CreateNullScanPlatform();

} // namespace velorix::scan
