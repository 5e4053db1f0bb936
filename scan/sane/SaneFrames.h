#pragma once
// Turning the frames a SANE device sends into one image and that image into a BMP file.
// Pure functions: no device, no library state, so they are tested with synthetic frames.

#include <cstdint>
#include <vector>

namespace velorix::scan::sane {

enum class FrameFormat { Gray, Rgb, Red, Green, Blue };

// One frame of a SANE scan: its parameters and bytes.
struct Frame {
    FrameFormat format = FrameFormat::Gray;
    int bytesPerLine = 0;
    int pixelsPerLine = 0;
    int lines = -1; // -1 when the device did not know the height in advance
    int depth = 8;  // 1, 8 or 16 bits per sample; 16-bit samples are in host byte order
    std::vector<std::uint8_t> data;
};

// 8 bits per sample, rows top-down, no padding: one byte per pixel for grey, R, G, B for colour.
struct ScannedImage {
    int width = 0;
    int height = 0;
    bool grey = false;
    std::vector<std::uint8_t> pixels;
};

// Raises EPlatformError when the frames do not make one complete image (missing colour planes,
// planes of different sizes, less data than announced, unsupported depth).
ScannedImage ImageFromFrames(const std::vector<Frame>& frames);

// A complete BMP file: 24-bit colour, or 8-bit grey with a 256-entry grey palette; bottom-up rows
// padded to four bytes; 72 dpi unless a resolution is given.
std::vector<std::uint8_t> EncodeBmp(const ScannedImage& image, int dpi = 0);

} // namespace velorix::scan::sane
