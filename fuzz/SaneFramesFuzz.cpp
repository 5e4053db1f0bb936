// Any frame parameters and bytes, one frame or three planes, turned into a picture and a BMP file.
// A picture that comes out must be consistent with its own size, and the same when the bytes
// arrive in pieces.
#include "scan/link/SaneFrames.h"

#include "scan/ScanPlatform.h"
#include "tests/scan/link/FramesInPieces.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace velorix::scan::sane;

namespace {
template <class T> T Take(const std::uint8_t*& data, std::size_t& size) {
    T value{};
    const std::size_t n = size < sizeof value ? size : sizeof value;
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto count = 1 + Take<std::uint8_t>(data, size) % 3;
    std::vector<Frame> frames(count);
    for (Frame& f : frames) {
        f.format = static_cast<FrameFormat>(Take<std::uint8_t>(data, size) % 5);
        f.bytesPerLine = Take<std::int16_t>(data, size);
        f.pixelsPerLine = Take<std::int16_t>(data, size);
        f.lines = Take<std::int8_t>(data, size);
        f.depth = Take<std::uint8_t>(data, size) % 18;
        const std::size_t n = std::min<std::size_t>(Take<std::uint16_t>(data, size), size);
        f.data.assign(data, data + n);
        data += n;
        size -= n;
    }
    const auto piece = static_cast<std::size_t>(1 + Take<std::uint8_t>(data, size));
    QImage whole, pieces;
    try {
        whole = ImageFromFrames(frames);
        const bool grey = whole.format() == QImage::Format_Indexed8;
        if (whole.width() < 1 || whole.height() < 1 ||
            (!grey && whole.format() != QImage::Format_RGB888))
            abort();
        const auto bmp = EncodeBmp(whole);
        if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M')
            abort();
    } catch (const velorix::scan::EPlatformError&) {
    }
    // Fed in pieces, the same frames make the same picture, or fail as well.
    try {
        pieces = AssembleInPieces(frames, piece);
    } catch (const velorix::scan::EPlatformError&) {
    }
    if (whole.isNull() && !pieces.isNull()) {
        // A page that ends early keeps the whole lines received as they arrive, where the whole
        // frames refuse it: fewer lines than announced, and those of a frame announcing them.
        const bool shorter = std::any_of(frames.begin(), frames.end(),
                                         [&](const Frame& f) { return f.lines > pieces.height(); });
        if (pieces.width() < 1 || pieces.height() < 1 || !shorter)
            abort();
        if (frames.size() == 1) {
            std::vector<Frame> kept = frames;
            kept[0].lines = pieces.height();
            try {
                if (ImageFromFrames(kept) != pieces)
                    abort();
            } catch (const velorix::scan::EPlatformError&) {
                abort();
            }
        }
        return 0;
    }
    if (pieces != whole)
        abort();
    return 0;
}
