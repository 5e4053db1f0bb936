// Any frame parameters and bytes, one frame or three planes, turned into a picture and a BMP file.
// A picture that comes out must be consistent with its own size.
#include "sane/SaneFrames.h"

#include "ScanPlatform.h"

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
    try {
        const ScannedImage image = ImageFromFrames(frames);
        const std::size_t samples = image.grey ? 1 : 3;
        if (image.width < 1 || image.height < 0 ||
            image.pixels.size() != samples * image.width * image.height)
            abort();
        const auto bmp = EncodeBmp(image, Take<std::int16_t>(data, size));
        if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M')
            abort();
    } catch (const velorix::scan::EPlatformError&) {
    }
    return 0;
}
