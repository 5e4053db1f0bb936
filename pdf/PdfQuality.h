// The three qualities of the program's PDFs and the image data each gives a page's picture:
// lossless (the Flate pixels of TPdfBitmapImage, byte for byte), compact (one JPEG) and text
// (mixed raster: a JPEG background, a sharp 1-bit Group 4 mask of text and line art, and the
// mask's colours as a low-resolution JPEG drawn through it).
#pragma once

#include "pdf/PdfDoc.h"

#include <QImage>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TPdfQuality { Lossless = 0, Compact = 1, Text = 2 };
inline constexpr int kPdfQualityCount = 3;

// "lossless", "compact", "text": the command line's and the settings' words.
const char* PdfQualityWord(TPdfQuality quality);
std::optional<TPdfQuality> PdfQualityFromWord(std::string_view word);

// Pictures above this many pixels per inch on the page are brought down to it in the lossy
// qualities: more is invisible in print and costs bytes.
inline constexpr double kLossyMaxDpi = 300.0;
// The text quality keeps its mask at the scan's resolution, where letters are sharpest, up to
// this: finer, its per-pixel work would take gigabytes for a sharpness no printer shows.
inline constexpr double kTextMaxDpi = 600.0;

// One JPEG image of the page.
struct TJpegLayer {
    std::shared_ptr<const std::string> bytes; // null: no such layer
    int width = 0;
    int height = 0;
    bool grey = false;
};

// A picture's image data in one quality; made on any thread, then shared by the objects made
// from it (never copied).
struct TEncodedPicture {
    TPdfQuality quality = TPdfQuality::Lossless;
    std::shared_ptr<const std::string> flate; // lossless
    TJpegLayer picture;                       // compact: the page; text: the background
    TJpegLayer foreground;                    // text: the mask's colours; none without text
    std::shared_ptr<const std::string> mask;  // text: Group 4, 1 for ink; none without text
    int maskWidth = 0;
    int maskHeight = 0;

    // The bytes its image streams hold.
    std::size_t StreamBytes() const;
};

// The image data of picture in quality; dpi is the picture's pixels per inch on the page (the
// text quality sizes its layers by it). The picture is taken at its size: bringing it down to
// LossySize is the caller's (it has the page's scaling). Deterministic; any thread.
std::shared_ptr<const TEncodedPicture> EncodePicture(const QImage& picture, TPdfQuality quality,
                                                     double dpi);

// The picture's size in a lossy quality for a picture drawn over drawnWidth x drawnHeight
// points: the same, or brought down to kLossyMaxDpi (kTextMaxDpi in the text quality).
QSize LossySize(QSize picture, double drawnWidth, double drawnHeight,
                TPdfQuality quality = TPdfQuality::Compact);

// Registers the image objects of encoded (made from picture) with the document, the first under
// name; returns the XObject names to draw over the picture's place, in order.
std::vector<std::string> AddEncodedPicture(TPdfDoc& doc, std::string_view name,
                                           const QImage& picture, const TEncodedPicture& encoded);

// The XObject name of the text quality's foreground beside the background's name (a name the
// report's pictures never take: theirs hold no dash).
std::string ForegroundLayerName(std::string_view name);

// The mixed raster layers of a picture (PdfMixedRaster.cpp): a result of quality Text.
std::shared_ptr<const TEncodedPicture> EncodeMixedRaster(const QImage& picture, double dpi);
