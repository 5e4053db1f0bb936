#pragma once
// What the worker process side says of SANE: a failed call, and an option written by name.

#include "scan/ScanPlatform.h"

#include <string>

namespace velorix::scan::sane {

// A SANE call that did not return SANE_STATUS_GOOD; the message is SANE's own text for the
// status (sane_strstatus).
class ESaneError : public EPlatformError {
public:
    ESaneError(int status, const std::string& text) : EPlatformError(text), status_(status) {}
    int Status() const { return status_; }

private:
    int status_;
};

// A device option with no property id, by SANE's option name and its value as text, as
// scanimage takes it: ("filename", "/tmp/page.pnm"), ("resolution", "150"), ("hand-scanner",
// "yes"). Options a device does not have are passed over.
struct SaneOptionValue {
    std::string name;
    std::string value;
};

} // namespace velorix::scan::sane
