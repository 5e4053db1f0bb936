#pragma once
// Turning the frames a SANE device sends into one picture and that picture into a BMP file.
// No device and no library state, so they are tested with synthetic frames.

#include "scan/ScanPlatform.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
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

// The picture of a scan, 8 bits per sample, as a BMP file of it decodes: grey as
// QImage::Format_Indexed8 with a 256-step grey palette, colour as QImage::Format_RGB888
// (three bytes a pixel). Its dots per metre say the resolution (72 dpi when 0 is given).
//
// Raises EPlatformError when the frames do not make one complete picture (missing colour planes,
// planes of different sizes, less data than announced, no line at all, unsupported depth) or
// when the picture would not fit in memory.
QImage ImageFromFrames(const std::vector<Frame>& frames, int dpi = 0);

// Builds the same picture as ImageFromFrames while the bytes arrive, in pieces of any size:
// single-pass 8-bit frames of known height go straight into the picture's rows, so a page is
// held once; any other kind is kept whole and converted at the end.
class FrameAssembler {
public:
    // dpiY: the vertical resolution where the device has one of its own (0: as dpi).
    explicit FrameAssembler(int dpi = 0, int dpiY = 0) : dpi_(dpi), dpiY_(dpiY) {}
    // parameters: a frame without data.
    void BeginFrame(const Frame& parameters);
    void Append(const std::uint8_t* bytes, std::size_t size);
    // A single-pass frame that ends before its announced lines (sheet-fed devices announce the
    // longest page) keeps the lines received; one with none raises.
    void EndFrame();
    // Raises as ImageFromFrames does.
    QImage Finish();

private:
    int dpi_;
    int dpiY_;
    std::vector<Frame> frames_; // the frames kept whole
    bool direct_ = false;       // the current frame goes into picture_
    QImage picture_;
    std::size_t rowBytes_ = 0;  // picture bytes of one line
    std::size_t lineBytes_ = 0; // device bytes of one line
    int row_ = 0;               // line being received
    std::size_t column_ = 0;    // byte within the device's line
    bool directDone_ = false;   // a direct frame has ended
};

// A complete BMP file of a picture made above: 24-bit colour, or 8-bit grey with a 256-entry
// grey palette; bottom-up rows padded to four bytes; the picture's resolution.
std::vector<std::uint8_t> EncodeBmp(const QImage& picture);

// A scan's picture as the transfer's image file: the picture is handed over in memory, and its
// BMP file is made only when a file is asked for.
std::unique_ptr<IImageFile> PictureFile(QImage picture);

} // namespace velorix::scan::sane
