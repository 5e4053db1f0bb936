#pragma once
// A scripted, in-process stand-in for the scanner platform: devices and properties are plain
// data, every write is recorded, and failures are switched on per id.

#include "scan/ScanPlatform.h"

#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fake {

using velorix::scan::EPlatformError;
using velorix::scan::TVariant;

struct Prop {
    TVariant value;
    bool readOnly = false;
    bool failSet = false;      // writing raises "refused"
    bool failReadOnly = false; // asking IsReadOnly raises
};

struct PropSet {
    std::map<int, Prop> props;
    std::set<int> failExists; // Exists(id) raises
    std::string scope;        // "device" or "item", for the log
    std::vector<std::string>* log = nullptr;
};

struct DeviceData {
    PropSet device;
    PropSet item;
    bool failItems = false;
};

struct DeviceEntry {
    int type = velorix::scan::ScannerDeviceType;
    std::string name;
    bool failName = false;
    bool failConnect = false;
    std::shared_ptr<DeviceData> data = std::make_shared<DeviceData>();
};

enum class Outcome { Image, Cancel, Error, FeederEmpty, Jam };

struct Script {
    bool failManager = false;
    int failAtInfo = 0;  // Item(i) of the device list raises for this i (0: never)
    int listDelayMs = 0; // the device list takes this long, as slow backends do
    // When valid, the device list waits for it too: ends at a moment of the test's choosing,
    // whatever the machine's load. onListed, when set, is called on the listing's thread then.
    std::shared_future<void> listGate;
    std::function<void()> onListed;
    std::vector<DeviceEntry> devices;
    Outcome outcome = Outcome::Image;
    std::vector<Outcome> nextOutcomes; // taken first, one per transfer
    std::string formatId = velorix::scan::wia::ImgFmt_BMP;
    std::vector<std::uint8_t> bytes;
    std::vector<std::vector<std::uint8_t>> nextPages; // become `bytes`, one per transfer
    std::vector<std::string> log; // "device 3096=1", "item 6147=300", "transfer", "save <path>"
    int managers = 0;
    int connects = 0;
    int liveDevices = 0;
    std::string transferFormat;
};

// A scanner that the component accepts: bed 8500 x 11693, optical 1200 dpi, writable item
// properties for everything ApplySettings writes.
DeviceEntry StandardScanner(const std::string& name);

std::shared_ptr<velorix::scan::IScanPlatform> MakePlatform(std::shared_ptr<Script> script);

// A small valid BMP / JPEG file (w x h, one colour).
std::vector<std::uint8_t> SmallBmp(int w, int h);
std::vector<std::uint8_t> SmallJpeg(int w, int h);

} // namespace fake
