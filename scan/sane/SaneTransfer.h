#pragma once
// Running one scan of an open SANE handle. Internal to the worker process side.

#include "scan/ScanPlatform.h"
#include "scan/link/SaneFrames.h"

#include <sane/sane.h>

#include <atomic>
#include <optional>
#include <string>

namespace velorix::scan::sane {

[[noreturn]] void ThrowSane(SANE_Status status);

// Ends every scan, also an aborted one, so the device is ready for the next.
class ScanSession {
public:
    explicit ScanSession(SANE_Handle handle) : handle_(handle) {}
    ~ScanSession();
    ScanSession(const ScanSession&) = delete;
    ScanSession& operator=(const ScanSession&) = delete;

    // A scan that ends in a failure (an error status, missing data) may leave a backend's reader
    // thread still finishing; cancelling it at that moment can deadlock inside the C library, so
    // such a session waits a moment first. A complete scan or the user's cancel skips the wait.
    void EndedCleanly() { settle_ = false; }

private:
    SANE_Handle handle_;
    bool settle_ = true;
};

// The progress and cancel flag of one transfer, shared with its reader thread.
struct TransferState {
    std::atomic<bool> cancel{false};
    std::atomic<long long> received{0};
    std::atomic<long long> expected{0}; // 0 when unknown
};

// Bytes asked of the device at each read: scanimage's own default.
inline constexpr std::size_t kReadBytes = 32 * 1024;

// Reads every frame of one scan into its picture (see ImageFromFrames), marked with the given
// resolution (dpiY, when not 0, the vertical one). Returns nothing when cancelled (by the state's
// flag or by the device); raises ESaneError on any other status and EPlatformError on missing data.
// Safe to run on a worker thread as long as no other thread uses the handle meanwhile.
std::optional<QImage> ReadScan(SANE_Handle handle, TransferState& state, int dpi, int dpiY = 0);

// One page of a stack inside a session the caller holds: the next sane_start takes the next
// side, with no sane_cancel between (which would end the feeder's batch and eject the sheet).
// Returns as ReadScan does; after nothing or a raise the caller ends the session.
std::optional<QImage> ReadPage(SANE_Handle handle, TransferState& state, int dpi, int dpiY = 0);

} // namespace velorix::scan::sane
