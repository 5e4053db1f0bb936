// Image XObjects made from bitmaps. Makers are registered by name; "Pdf-Bitmap" turns any QImage
// into an 8-bit indexed image (1-bit and 8-bit indexed pictures) or a 24-bit RGB image (every
// other format), rows top to bottom without padding, compressed with Flate when written.
#pragma once

#include "pdf/PdfTypes.h"

#include <QImage>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

// A picture that cannot become an image object.
class EPdfInvalidImageFormat : public EPdfException {
public:
    using EPdfException::EPdfException;
};

// Makes image objects from pictures.
class TPdfImageCreator {
public:
    TPdfImageCreator() = default;
    TPdfImageCreator(const TPdfImageCreator&) = delete;
    TPdfImageCreator& operator=(const TPdfImageCreator&) = delete;
    virtual ~TPdfImageCreator();

    // The base maker makes nothing (null).
    virtual std::unique_ptr<TPdfImage> CreateImage(const QImage& graphic);

    // [/Indexed /DeviceRGB 255 <rr gg bb ...>] for an 8-bit indexed bitmap; 256 entries, those
    // beyond the bitmap's own palette black.
    static std::unique_ptr<TPdfArray> CreateIndexedColorArray(const QImage& bitmap);
};

// Makes Flate-compressed image objects from bitmaps.
class TPdfBitmapImage : public TPdfImageCreator {
public:
    std::unique_ptr<TPdfImage> CreateImage(const QImage& graphic) override;

    // The zlib stream of the pixels CreateImage stores for graphic; safe on any thread.
    static std::shared_ptr<const std::string> CompressPixels(const QImage& graphic);
    // The image object of graphic holding pixels compressed by CompressPixels (the same
    // picture's), shared rather than copied: no uncompressed copy is made.
    static std::unique_ptr<TPdfImage>
    CreateCompressedImage(const QImage& graphic,
                          std::shared_ptr<const std::string> compressedPixels);

private:
    static bool Indexed(const QImage& graphic);
    // The picture in the format the image object stores (shares graphic's pixels when equal).
    static QImage Working(const QImage& graphic);
    static std::unique_ptr<TPdfImage> Describe(const QImage& working, bool indexed);
};

using TPdfImageCreatorFactory = std::function<std::unique_ptr<TPdfImageCreator>()>;

// Adds (or replaces) a maker under name. "Pdf-Bitmap" is registered from the start.
void RegisterPdfImageCreator(std::string_view name, TPdfImageCreatorFactory factory);
void UnregisterPdfImageCreator(std::string_view name);

// Makes the image with the maker registered under makerName; the caller owns the result until
// it hands it to TPdfDoc::AddXObject. Unknown maker: EPdfException.
std::unique_ptr<TPdfImage> CreatePdfImage(const QImage& graphic,
                                          std::string_view makerName = "Pdf-Bitmap");
