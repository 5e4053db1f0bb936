#include "pdf/PdfQuality.h"

#include "pdf/PdfCodecs.h"
#include "pdf/PdfImages.h"

#include <algorithm>
#include <cmath>

namespace {

// Chosen by measuring 300-dpi colour scan-like pages (bench/PdfQualityBench): about 0.9 MB a
// page at 38.5 dB against the scanned pixels, where the standard tables at quality 85 gave 1.14 MB
// at 38.0 dB. Those tables spend their bytes on broad shades and quantise the fine detail of
// letters coarsely: quality 75 with the brightness steps capped at 14 keeps the letters' edges,
// colour at 90 keeps the tint of coloured text, progressive scans save another 7 %. Full colour
// resolution would add 12 % for 0.3 dB.
constexpr pdfcodec::TJpegOptions kCompactJpeg{
    .quality = 75, .subsample = true, .chromaQuality = 90, .maxLumaStep = 14, .progressive = true};

} // namespace

const char* PdfQualityWord(TPdfQuality quality) {
    switch (quality) {
    case TPdfQuality::Compact:
        return "compact";
    case TPdfQuality::Text:
        return "text";
    case TPdfQuality::Lossless:
        break;
    }
    return "lossless";
}

std::optional<TPdfQuality> PdfQualityFromWord(std::string_view word) {
    for (TPdfQuality q : {TPdfQuality::Lossless, TPdfQuality::Compact, TPdfQuality::Text}) {
        if (word == PdfQualityWord(q)) {
            return q;
        }
    }
    return std::nullopt;
}

std::size_t TEncodedPicture::StreamBytes() const {
    std::size_t total = 0;
    for (const auto* bytes :
         {flate.get(), picture.bytes.get(), foreground.bytes.get(), mask.get()}) {
        total += bytes != nullptr ? bytes->size() : 0;
    }
    return total;
}

QSize LossySize(QSize picture, double drawnWidth, double drawnHeight, TPdfQuality quality) {
    const double maxDpi = quality == TPdfQuality::Text ? kTextMaxDpi : kLossyMaxDpi;
    if (picture.isEmpty() || drawnWidth <= 0 || drawnHeight <= 0) {
        return picture;
    }
    // By the finer axis, so that neither ends below the limit (a page of another shape than
    // the paper is stretched more one way).
    const double dpi =
        std::min(picture.width() * 72.0 / drawnWidth, picture.height() * 72.0 / drawnHeight);
    if (dpi <= maxDpi + 0.5) {
        return picture;
    }
    const double factor = maxDpi / dpi;
    return QSize(std::max(1, static_cast<int>(std::lround(picture.width() * factor))),
                 std::max(1, static_cast<int>(std::lround(picture.height() * factor))));
}

namespace {

bool AllGrey(const QImage& rgb) {
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* p = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width(); ++x, p += 3) {
            if (p[0] != p[1] || p[1] != p[2]) {
                return false;
            }
        }
    }
    return true;
}

std::shared_ptr<const TEncodedPicture> EncodeCompact(const QImage& picture) {
    auto encoded = std::make_shared<TEncodedPicture>();
    encoded->quality = TPdfQuality::Compact;
    QImage pixels = picture.format() == QImage::Format_Grayscale8
                        ? picture
                        : picture.convertToFormat(QImage::Format_RGB888);
    if (pixels.isNull()) {
        throw EPdfInvalidImageFormat("CreateImage --the picture cannot be converted.");
    }
    if (pixels.format() == QImage::Format_RGB888 && AllGrey(pixels)) {
        // One channel for a page without colour: a third of the data to code.
        pixels = pixels.convertToFormat(QImage::Format_Grayscale8);
    }
    const bool grey = pixels.format() == QImage::Format_Grayscale8;
    encoded->picture.bytes = std::make_shared<const std::string>(
        pdfcodec::EncodeJpeg(pixels.constBits(), pixels.width(), pixels.height(), grey ? 1 : 3,
                             static_cast<std::size_t>(pixels.bytesPerLine()), kCompactJpeg));
    encoded->picture.width = pixels.width();
    encoded->picture.height = pixels.height();
    encoded->picture.grey = grey;
    return encoded;
}

std::unique_ptr<TPdfImage> JpegImage(const TJpegLayer& layer, bool interpolate) {
    auto image = std::make_unique<TPdfImage>(nullptr);
    TPdfDictionary& attributes = image->Attributes();
    attributes.ArrayByKey("Filter")->AddItem(TPdfName::Create("DCTDecode"));
    attributes.AddItem("Type", TPdfName::Create("XObject"));
    attributes.AddItem("Subtype", TPdfName::Create("Image"));
    attributes.AddItem("ColorSpace", TPdfName::Create(layer.grey ? "DeviceGray" : "DeviceRGB"));
    attributes.AddItem("Width", TPdfNumber::Create(layer.width));
    attributes.AddItem("Height", TPdfNumber::Create(layer.height));
    attributes.AddItem("BitsPerComponent", TPdfNumber::Create(8));
    if (interpolate) {
        // Drawn far above its resolution: viewers smooth it rather than show its pixels.
        attributes.AddItem("Interpolate", TPdfBoolean::Create(true));
    }
    image->SetEncodedData(layer.bytes);
    return image;
}

} // namespace

std::shared_ptr<const TEncodedPicture> EncodePicture(const QImage& picture, TPdfQuality quality,
                                                     double dpi) {
    if (picture.isNull()) {
        throw EPdfInvalidImageFormat("CreateImage --the picture is empty.");
    }
    switch (quality) {
    case TPdfQuality::Compact:
        return EncodeCompact(picture);
    case TPdfQuality::Text:
        return EncodeMixedRaster(picture, dpi);
    case TPdfQuality::Lossless:
        break;
    }
    auto encoded = std::make_shared<TEncodedPicture>();
    encoded->flate = TPdfBitmapImage::CompressPixels(picture);
    return encoded;
}

std::string ForegroundLayerName(std::string_view name) {
    return std::string(name) + "-T";
}

std::vector<std::string> AddEncodedPicture(TPdfDoc& doc, std::string_view name,
                                           const QImage& picture, const TEncodedPicture& encoded) {
    const std::string first(name);
    if (encoded.quality == TPdfQuality::Lossless) {
        doc.AddXObject(first, TPdfBitmapImage::CreateCompressedImage(picture, encoded.flate));
        return {first};
    }
    const bool text = encoded.quality == TPdfQuality::Text;
    doc.AddXObject(first, JpegImage(encoded.picture, text));
    if (!text) {
        doc.RequireMinorVersion(3); // progressive JPEG
        return {first};
    }
    if (encoded.mask == nullptr || encoded.foreground.bytes == nullptr) {
        return {first};
    }
    // The foreground's colours are painted only where the mask has ink: an explicit mask, which
    // may be sharper than the image it masks (PDF 1.3).
    auto mask = std::make_unique<TPdfImage>(nullptr);
    TPdfDictionary& m = mask->Attributes();
    m.ArrayByKey("Filter")->AddItem(TPdfName::Create("CCITTFaxDecode"));
    auto parameters = std::make_unique<TPdfDictionary>(nullptr);
    parameters->AddItem("K", TPdfNumber::Create(-1));
    parameters->AddItem("Columns", TPdfNumber::Create(encoded.maskWidth));
    parameters->AddItem("Rows", TPdfNumber::Create(encoded.maskHeight));
    auto parameterList = std::make_unique<TPdfArray>(nullptr);
    parameterList->AddItem(std::move(parameters));
    m.AddItem("DecodeParms", std::move(parameterList));
    m.AddItem("Type", TPdfName::Create("XObject"));
    m.AddItem("Subtype", TPdfName::Create("Image"));
    m.AddItem("Width", TPdfNumber::Create(encoded.maskWidth));
    m.AddItem("Height", TPdfNumber::Create(encoded.maskHeight));
    m.AddItem("ImageMask", TPdfBoolean::Create(true));
    m.AddItem("BitsPerComponent", TPdfNumber::Create(1));
    // Ink decodes to 0, which a mask paints; 1 (paper) keeps what lies below.
    mask->SetEncodedData(encoded.mask);
    TPdfImage* registered = doc.ObjectMgr()->Register(std::move(mask));

    auto foreground = JpegImage(encoded.foreground, true);
    foreground->Attributes().AddItem("Mask", registered);
    const std::string second = ForegroundLayerName(first);
    doc.AddXObject(second, std::move(foreground));
    doc.RequireMinorVersion(3);
    return {first, second};
}
