#pragma once
// The settings step: every scan setting written into the device in one fixed order, whether
// the scanner component writes them property by property or the scanner's own process writes
// them for a whole stack. Written against a small target so both sides share the order.

#include "scan/ScanPlatform.h"
#include "scan/ScanSources.h"

#include <cstdint>

namespace velorix::scan {

// What one scan (or one stack) is made with.
struct ScanSettings {
    int documentHandling = 0; // wia::FEEDER / FLATBED / DUPLEX bits; 0: the device's own
    std::int32_t pages = 1;   // pages per transfer; 0: until the feeder is empty
    std::int32_t pageSize = wia::PAGE_A4;
    bool colour = true;
    std::int32_t brightness = 0; // -100..100
    std::int32_t contrast = 0;   // -100..100
    std::int32_t dpi = 150;
    bool fullArea = true; // else area: x, y, width, height in pixels at dpi
    std::int32_t area[4] = {0, 0, 0, 0};
};

enum class SettingsOutcome {
    Applied,
    Incompatible,      // no bed size: the device cannot be driven
    ResolutionRefused, // the device takes no such resolution
};

// Where the step writes: a device's properties and its first item's.
class ISettingsTarget {
public:
    virtual ~ISettingsTarget() = default;
    virtual bool DeviceExists(int id) = 0;
    virtual bool DeviceWritable(int id) = 0;
    virtual TVariant DeviceValue(int id) = 0;
    virtual void SetDevice(int id, const TVariant& value) = 0;
    virtual bool ItemWritable(int id) = 0;
    virtual void SetItem(int id, const TVariant& value) = 0;
};

// The step. Raises what the target raises, but for the feeder's page count and size, which a
// device that refuses them scans without.
SettingsOutcome ApplyScanSettings(ISettingsTarget& target, const ScanSettings& settings);

// The target of a device reached through the platform layer's objects, without any message of
// its own.
std::unique_ptr<ISettingsTarget> DeviceTarget(IDevice& device);

// A bed size in thousandths of an inch as pixels at dpi, rounded down.
std::int32_t BedPixels(std::int32_t thousandths, std::int32_t dpi);

// A kind of source as the document-handling bits, and the kinds that capabilities offer, in the
// window's order.
int DocumentHandlingOf(SourceKind kind);
std::vector<SourceKind> SourceKindsOf(int capabilities);

// A paper format as the feeder's page size.
std::int32_t PageSizeOf(PaperSize size);

} // namespace velorix::scan
