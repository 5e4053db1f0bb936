#include "scan/sane/SaneTransfer.h"

#include "scan/sane/SaneError.h"

#include <chrono>
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
    std::optional<QImage> picture = ReadPage(handle, state, dpi, dpiY);
    session.EndedCleanly();
    return picture;
}

std::optional<QImage> ReadPage(SANE_Handle handle, TransferState& state, int dpi, int dpiY) {
    FrameAssembler assembler(dpi, dpiY);
    // Reads as large as scanimage's keep the per-read cost as low as its; the cancel flag is
    // still looked at between two reads.
    std::vector<SANE_Byte> buffer(kReadBytes);
    for (;;) {
        if (state.cancel)
            return std::nullopt;
        SANE_Status status = sane_start(handle);
        if (status == SANE_STATUS_CANCELLED)
            return std::nullopt;
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
            if (state.cancel)
                return std::nullopt;
            SANE_Int len = 0;
            status = sane_read(handle, buffer.data(), static_cast<SANE_Int>(buffer.size()), &len);
            if (status == SANE_STATUS_EOF)
                break;
            if (status == SANE_STATUS_CANCELLED)
                return std::nullopt;
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
    return assembler.Finish(); // raises on missing data
}

} // namespace velorix::scan::sane
