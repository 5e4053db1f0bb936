#pragma once
// SANE loaded into the calling process, for tests and benchmarks only: the baseline the
// benchmarks hold the scanner worker against, and devices a test drives directly. Neither the
// program nor the worker links it; the program reaches SANE only through the worker.

#include "scan/sane/SaneError.h"

namespace velorix::scan::sane {

// Presets are written into every device it opens, in order, before anything else is done with
// it. A preset the device refuses raises as any other SANE failure does.
std::shared_ptr<IScanPlatform>
CreateInProcessSanePlatform(std::vector<SaneOptionValue> presets = {});

} // namespace velorix::scan::sane
