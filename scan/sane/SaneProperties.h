#pragma once
// The property table of the SANE backend: each property id the scanner component reads or writes,
// mapped to SANE options with its geometry, mode and resolution conversions. Internal to the
// backend.

#include "scan/sane/SaneLibrary.h"

#include <memory>
#include <string>
#include <vector>

namespace velorix::scan::sane {

// The resolution options of a device: separate x and y ones where it has them.
const char* XResName(const Options& o);
const char* YResName(const Options& o);
// The current value of a resolution option, in dpi.
double Resolution(const Options& o, const char* name);

// The resolution a scan of the device is marked with: horizontal and vertical dpi, 0 for an
// option the device does not have.
struct ScanDpi {
    int x = 0, y = 0;
};
ScanDpi ScanResolutions(SaneDevice& dev);

// Every property the device has now, with its value, for a client that keeps a copy: read in
// one go rather than one question each. A value that cannot be read carries its message.
struct PropertyRow {
    bool item; // item scope, else device scope
    int id;
    TVariant value;
    bool readOnly;
    std::string error; // not empty: reading the value raised this
};
std::vector<PropertyRow> PropertyTable(SaneDevice& dev);

// Ids travel as decimal text; anything else names no property (-1).
int ParseId(const std::string& id);
// The message of an id the collection does not hold.
std::string NotFound(const std::string& id);

// The device's one item (flatbed or feeder), whose properties are the item rows of the table.
class SaneItem : public IItem {
public:
    explicit SaneItem(std::shared_ptr<SaneDevice> dev);
    std::unique_ptr<IProperties> Properties() override;
    SaneDevice& Device() const { return *dev_; }

private:
    std::shared_ptr<SaneDevice> dev_;
};

} // namespace velorix::scan::sane
