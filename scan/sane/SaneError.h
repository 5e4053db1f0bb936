#pragma once
// What the worker process side says of SANE: a failed call, and an option written by name.

#include "scan/ScanPlatform.h"

#include <string>

namespace velorix::scan::sane {

// A SANE call that did not return SANE_STATUS_GOOD; the message is SANE's own text for the
// status (sane_strstatus).
class ESaneError : public EFeederStop {
public:
    ESaneError(int status, const std::string& text)
        : EFeederStop(ReasonOf(status), text), status_(status) {}
    int Status() const { return status_; }

private:
    // SANE_STATUS_NO_DOCS, _JAMMED and _COVER_OPEN (7, 6, 8): the feeder's own words.
    static FeederReason ReasonOf(int status) {
        switch (status) {
        case 7:
            return FeederReason::Empty;
        case 6:
            return FeederReason::Jam;
        case 8:
            return FeederReason::CoverOpen;
        default:
            return FeederReason::None;
        }
    }
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
