#pragma once
// The scanner platform whose drivers run in a worker process (velorix-scan-worker): the same
// calls as the in-process backend, each one a message to the worker. A worker that crashes,
// exits or stops answering costs the call under way, with a message naming the scanner; the next
// call starts a fresh worker.

#include "scan/ScanPlatform.h"

namespace velorix::scan::worker {

// Seconds without any data before a scan is declared stalled: before the first bytes (lamps
// warming up) and once data has come. VELORIX_SCAN_WATCHDOG="FIRST,AFTER" changes them (tests).
inline constexpr const char* WatchdogEnv = "VELORIX_SCAN_WATCHDOG";
// The worker program; by default velorix-scan-worker beside the running program.
inline constexpr const char* WorkerExeEnv = "VELORIX_SCAN_WORKER_EXE";

struct OptionPreset {
    std::string name;
    std::string value;
};

std::shared_ptr<IScanPlatform> CreateWorkerScanPlatform(std::vector<OptionPreset> presets = {});

} // namespace velorix::scan::worker
