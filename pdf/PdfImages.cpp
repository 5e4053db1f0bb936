#include "pdf/PdfImages.h"

#include "pdf/ParallelDeflate.h"

#include <map>
#include <string>

TPdfImageCreator::~TPdfImageCreator() = default;

std::unique_ptr<TPdfImage> TPdfImageCreator::CreateImage(const QImage&) {
    return nullptr;
}

std::unique_ptr<TPdfArray> TPdfImageCreator::CreateIndexedColorArray(const QImage& bitmap) {
    if (bitmap.format() != QImage::Format_Indexed8) {
        throw EPdfInvalidImageFormat("only 8 bit color image is allowed.");
    }
    const QList<QRgb> palette = bitmap.colorTable();
    if (palette.isEmpty()) {
        throw EPdfInvalidImageFormat("failed to get Palette..");
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    auto lookup = TPdfBinary::Create();
    std::string& bytes = lookup->Data();
    bytes.reserve(2 + 256 * 7);
    bytes += '<';
    for (int i = 0; i < 256; ++i) {
        // Entries past the bitmap's own palette are black.
        const QRgb rgb = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
        for (int component : {qRed(rgb), qGreen(rgb), qBlue(rgb)}) {
            bytes += kHex[(component >> 4) & 0x0F];
            bytes += kHex[component & 0x0F];
        }
        bytes += ' ';
    }
    bytes += '>';

    auto array = std::make_unique<TPdfArray>(nullptr);
    array->AddItem(TPdfName::Create("Indexed"));
    array->AddItem(TPdfName::Create("DeviceRGB"));
    array->AddItem(TPdfNumber::Create(255));
    array->AddItem(std::move(lookup));
    return array;
}

bool TPdfBitmapImage::Indexed(const QImage& graphic) {
    return graphic.format() == QImage::Format_Mono || graphic.format() == QImage::Format_MonoLSB ||
           graphic.format() == QImage::Format_Indexed8;
}

QImage TPdfBitmapImage::Working(const QImage& graphic) {
    // 1-bit and 8-bit palette pictures keep their palette; everything else becomes 24-bit RGB,
    // which QImage already stores as red, green, blue bytes.
    const QImage working =
        graphic.convertToFormat(Indexed(graphic) ? QImage::Format_Indexed8 : QImage::Format_RGB888);
    if (working.isNull() && !graphic.isNull()) {
        throw EPdfInvalidImageFormat("CreateImage --the picture cannot be converted.");
    }
    return working;
}

std::unique_ptr<TPdfImage> TPdfBitmapImage::Describe(const QImage& working, bool indexed) {
    auto image = std::make_unique<TPdfImage>(nullptr);
    TPdfDictionary& attributes = image->Attributes();
    attributes.AddItem("Type", TPdfName::Create("XObject"));
    attributes.AddItem("Subtype", TPdfName::Create("Image"));
    if (indexed) {
        attributes.AddItem("ColorSpace", CreateIndexedColorArray(working));
    } else if (working.height() > 0) {
        attributes.AddItem("ColorSpace", TPdfName::Create("DeviceRGB"));
    }
    attributes.AddItem("Width", TPdfNumber::Create(working.width()));
    attributes.AddItem("Height", TPdfNumber::Create(working.height()));
    attributes.AddItem("BitsPerComponent", TPdfNumber::Create(8));
    attributes.ArrayByKey("Filter")->AddItem(TPdfName::Create("FlateDecode"));
    return image;
}

namespace {

// Rows top to bottom, without QImage's 4-byte row padding.
void AppendRows(const QImage& working, std::size_t rowBytes, std::string& data) {
    data.reserve(data.size() + rowBytes * static_cast<std::size_t>(working.height()));
    for (int y = 0; y < working.height(); ++y) {
        data.append(reinterpret_cast<const char*>(working.constScanLine(y)), rowBytes);
    }
}

std::size_t RowBytes(const QImage& working, bool indexed) {
    return static_cast<std::size_t>(working.width()) * (indexed ? 1 : 3);
}

} // namespace

std::unique_ptr<TPdfImage> TPdfBitmapImage::CreateImage(const QImage& graphic) {
    const bool indexed = Indexed(graphic);
    const QImage working = Working(graphic);
    std::unique_ptr<TPdfImage> image = Describe(working, indexed);
    AppendRows(working, RowBytes(working, indexed), image->Data());
    return image;
}

std::shared_ptr<const std::string> TPdfBitmapImage::CompressPixels(const QImage& graphic) {
    const bool indexed = Indexed(graphic);
    const QImage working = Working(graphic);
    const std::size_t rowBytes = RowBytes(working, indexed);
    if (working.height() > 0 && static_cast<std::size_t>(working.bytesPerLine()) == rowBytes) {
        // Rows without padding are already the stream's bytes.
        const std::string_view pixels(reinterpret_cast<const char*>(working.constBits()),
                                      rowBytes * static_cast<std::size_t>(working.height()));
        return std::make_shared<const std::string>(pdfdeflate::Deflate(pixels));
    }
    std::string pixels;
    AppendRows(working, rowBytes, pixels);
    return std::make_shared<const std::string>(pdfdeflate::Deflate(pixels));
}

std::unique_ptr<TPdfImage>
TPdfBitmapImage::CreateCompressedImage(const QImage& graphic,
                                       std::shared_ptr<const std::string> compressedPixels) {
    const bool indexed = Indexed(graphic);
    // Only a palette picture needs converting for its description; the others give their size.
    std::unique_ptr<TPdfImage> image = Describe(indexed ? Working(graphic) : graphic, indexed);
    image->SetCompressedData(std::move(compressedPixels));
    return image;
}

namespace {

std::map<std::string, TPdfImageCreatorFactory, std::less<>>& CreatorRegistry() {
    static std::map<std::string, TPdfImageCreatorFactory, std::less<>> registry = {
        {"Pdf-Bitmap", [] { return std::make_unique<TPdfBitmapImage>(); }},
    };
    return registry;
}

} // namespace

void RegisterPdfImageCreator(std::string_view name, TPdfImageCreatorFactory factory) {
    CreatorRegistry()[std::string(name)] = std::move(factory);
}

void UnregisterPdfImageCreator(std::string_view name) {
    auto& registry = CreatorRegistry();
    if (auto it = registry.find(name); it != registry.end()) {
        registry.erase(it);
    }
}

std::unique_ptr<TPdfImage> CreatePdfImage(const QImage& graphic, std::string_view makerName) {
    auto& registry = CreatorRegistry();
    auto it = registry.find(makerName);
    if (it == registry.end() || !it->second) {
        throw EPdfException("AddImage --InvalidImageClassName:" + std::string(makerName));
    }
    std::unique_ptr<TPdfImageCreator> maker = it->second();
    return maker->CreateImage(graphic);
}
