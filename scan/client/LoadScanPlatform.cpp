// The platform the program reaches its scanners through. Built on every system, also where no
// worker client is (the null platform then).
#include "scan/ScanPlatform.h"

#ifdef VELORIX_HAVE_SANE
#include "scan/client/WorkerPlatform.h"
#endif

#include <cstdlib>

namespace velorix::scan {

std::shared_ptr<IScanPlatform> LoadScanPlatform() {
    const char* forced = std::getenv(ScanBackendEnv);
#ifdef VELORIX_HAVE_SANE
    const std::string name = forced ? forced : "sane";
    // The drivers always run in the scanner worker: libsane is never loaded in this process.
    if (name == "sane")
        return worker::CreateWorkerScanPlatform();
#else
    (void)forced; // no scanner backend for this platform yet
#endif
    return CreateNullScanPlatform();
}

} // namespace velorix::scan
