#pragma once
// The SANE backend of the scanner platform layer.

#include "../ScanPlatform.h"

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

std::shared_ptr<IScanPlatform> CreateSaneScanPlatform();

} // namespace velorix::scan::sane
