#include "SaneTransfer.h"

#include "waits/WakeUp.h"
#include "SaneBackend.h"
#include "waits/Waits.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <chrono>
#include <exception>
#include <thread>

namespace velorix::scan::sane {

void ThrowSane(SANE_Status status) {
    throw ESaneError(static_cast<int>(status), sane_strstatus(status));
}

namespace {

FrameFormat ToFrameFormat(SANE_Frame f) {
    switch (f) {
    case SANE_FRAME_GRAY:
        return FrameFormat::Gray;
    case SANE_FRAME_RGB:
        return FrameFormat::Rgb;
    case SANE_FRAME_RED:
        return FrameFormat::Red;
    case SANE_FRAME_GREEN:
        return FrameFormat::Green;
    case SANE_FRAME_BLUE:
        return FrameFormat::Blue;
    }
    throw EPlatformError("Format de trame inconnu");
}

} // namespace

ScanSession::~ScanSession() {
    if (settle_)
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    sane_cancel(handle_);
}

std::optional<QImage> ReadScan(SANE_Handle handle, TransferState& state, int dpi, int dpiY) {
    ScanSession session(handle);
    FrameAssembler assembler(dpi, dpiY);
    // Reads as large as scanimage's keep the per-read cost as low as its; the cancel flag is
    // still looked at between two reads.
    std::vector<SANE_Byte> buffer(kReadBytes);
    for (;;) {
        if (state.cancel) {
            session.EndedCleanly();
            return std::nullopt;
        }
        SANE_Status status = sane_start(handle);
        if (status == SANE_STATUS_CANCELLED) {
            session.EndedCleanly();
            return std::nullopt;
        }
        if (status != SANE_STATUS_GOOD)
            ThrowSane(status);
        SANE_Parameters p;
        status = sane_get_parameters(handle, &p);
        if (status != SANE_STATUS_GOOD)
            ThrowSane(status);
        Frame frame;
        frame.format = ToFrameFormat(p.format);
        frame.bytesPerLine = p.bytes_per_line;
        frame.pixelsPerLine = p.pixels_per_line;
        frame.lines = p.lines;
        frame.depth = p.depth;
        assembler.BeginFrame(frame);
        const long long size = p.lines > 0 ? static_cast<long long>(p.lines) * p.bytes_per_line : 0;
        state.expected = state.expected + size;
        for (;;) {
            if (state.cancel) {
                session.EndedCleanly();
                return std::nullopt;
            }
            SANE_Int len = 0;
            status = sane_read(handle, buffer.data(), static_cast<SANE_Int>(buffer.size()), &len);
            if (status == SANE_STATUS_EOF)
                break;
            if (status == SANE_STATUS_CANCELLED) {
                session.EndedCleanly();
                return std::nullopt;
            }
            if (status != SANE_STATUS_GOOD)
                ThrowSane(status);
            // A driver that claims more than the buffer holds has written past it or lies
            // about its data: neither gives a picture.
            if (len < 0 || static_cast<std::size_t>(len) > buffer.size())
                ThrowSane(SANE_STATUS_IO_ERROR);
            const auto got = static_cast<std::size_t>(len);
            assembler.Append(buffer.data(), got);
            state.received = state.received + static_cast<long long>(got);
        }
        assembler.EndFrame(); // raises on missing data
        if (p.last_frame)
            break;
    }
    std::optional<QImage> picture = assembler.Finish(); // raises on missing data
    session.EndedCleanly();
    return picture;
}

void RunWithProgress(const ScanProgressFactory& progress, const std::string& title,
                     const std::string& text, TransferState* cancellable,
                     const std::function<void()>& work) {
    // Windows belong to the user-interface thread: elsewhere (the scanner list made in the
    // background) the work just runs.
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app) || QThread::currentThread() != app->thread()) {
        work();
        return;
    }
    std::exception_ptr error;
    std::atomic<bool> done{false};
    // Lives on this thread and outlives the worker: the worker's wake-up call is posted to it,
    // and one never delivered goes with it. Its delivery alone ends the wait's pass.
    TWakeUp waker([] {});
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
        // The wait ends at once rather than at its next tick: a command making several calls
        // in a row (list, connect, scan) would otherwise wait up to a tick after each.
        waker.Post();
    });

    {
        const std::unique_ptr<IScanProgress> window =
            progress ? progress(title, text, cancellable != nullptr)
                     : CreateScanProgressDialog(title, text, cancellable != nullptr);
        QElapsedTimer clock;
        clock.start();
        // Short work shows no window at all; a scan always shows it.
        const qint64 showAfterMs = cancellable ? 0 : 300;
        waits::Until([&] {
            if (done)
                return true;
            if (!window->IsShown() && clock.elapsed() >= showAfterMs)
                window->Show();
            if (cancellable) {
                if (window->CancelRequested())
                    cancellable->cancel = true;
                const long long expected = cancellable->expected;
                if (expected > 0)
                    window->SetDone(static_cast<double>(cancellable->received) /
                                    static_cast<double>(expected));
            }
            return false;
        });
        window->Finish();
    }
    worker.join();
    if (error)
        std::rethrow_exception(error);
}

} // namespace velorix::scan::sane
