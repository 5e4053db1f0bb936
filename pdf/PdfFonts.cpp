#include "pdf/PdfFonts.h"

#include "pdf/PdfFontWidths.h"

#include <functional>
#include <utility>

TPdfFont::TPdfFont(TPdfObjectMgr& objectMgr, std::string_view name) : name_(name) {
    data_ = objectMgr.Register(std::make_unique<TPdfDictionary>(&objectMgr));
}

int TPdfFont::GetCharWidth(std::string_view, int) const {
    return 0;
}

TPdfType1Font::TPdfType1Font(TPdfObjectMgr& objectMgr, std::string_view name,
                             std::string_view baseFont,
                             const std::array<std::uint16_t, 224>& widths)
    : TPdfFont(objectMgr, name) {
    TPdfDictionary& dict = *data_;
    dict.AddItem("Type", TPdfName::Create("Font"));
    dict.AddItem("Subtype", TPdfName::Create("Type1"));
    dict.AddItem("Encoding", TPdfName::Create("WinAnsiEncoding"));
    dict.AddItem("FirstChar", TPdfNumber::Create(32));
    dict.AddItem("LastChar", TPdfNumber::Create(255));
    dict.AddItem("BaseFont", TPdfName::Create(baseFont));
    // Kept for measuring only: viewers know the standard fonts' widths.
    dict.AddHiddenItem("Widths", TPdfArray::CreateNumArray(
                                     &objectMgr, std::vector<int>(widths.begin(), widths.end())));
    SetData(data_);
}

void TPdfType1Font::SetData(TPdfDictionary* data) {
    TPdfFont::SetData(data);
    widths_.fill(0);
    firstChar_ = 0;
    lastChar_ = 0;
    if (data == nullptr) {
        return;
    }
    if (TPdfNumber* missing = data->NumberByKey("MissingWidth")) {
        widths_.fill(static_cast<std::uint16_t>(missing->Value()));
    }
    if (TPdfNumber* first = data->NumberByKey("FirstChar")) {
        firstChar_ = static_cast<std::uint8_t>(first->Value() & 0xFF);
    }
    if (TPdfNumber* last = data->NumberByKey("LastChar")) {
        lastChar_ = static_cast<std::uint8_t>(last->Value() & 0xFF);
    }
    if (TPdfArray* widths = data->ArrayByKey("Widths")) {
        // Widths beyond code 255 have no slot; they are ignored rather than written past the end.
        for (int i = 0; i < widths->ItemCount() && firstChar_ + i < 256; ++i) {
            if (auto* number = dynamic_cast<TPdfNumber*>(widths->Items(i))) {
                widths_[static_cast<std::size_t>(firstChar_ + i)] =
                    static_cast<std::uint16_t>(number->Value());
            }
        }
    }
}

int TPdfType1Font::GetCharWidth(std::string_view text, int position) const {
    if (position < 1 || static_cast<std::size_t>(position) > text.size()) {
        return 0;
    }
    return widths_[static_cast<unsigned char>(text[static_cast<std::size_t>(position - 1)])];
}

#define VELORIX_PDF_FONT_BODY(Class, Base, Table)                                                  \
    Class::Class(TPdfObjectMgr& objectMgr, std::string_view name)                                  \
        : TPdfType1Font(objectMgr, name, Base, Table) {}

VELORIX_PDF_FONT_BODY(TPdfFixedWidth, "Courier", kCourierWidths)
VELORIX_PDF_FONT_BODY(TPdfFixedWidthBold, "Courier-Bold", kCourierWidths)
VELORIX_PDF_FONT_BODY(TPdfFixedWidthItalic, "Courier-Oblique", kCourierWidths)
VELORIX_PDF_FONT_BODY(TPdfFixedWidthBoldItalic, "Courier-BoldOblique", kCourierWidths)
VELORIX_PDF_FONT_BODY(TPdfArial, "Helvetica", kHelveticaWidths)
VELORIX_PDF_FONT_BODY(TPdfArialBold, "Helvetica-Bold", kHelveticaBoldWidths)
VELORIX_PDF_FONT_BODY(TPdfArialItalic, "Helvetica-Oblique", kHelveticaObliqueWidths)
VELORIX_PDF_FONT_BODY(TPdfArialBoldItalic, "Helvetica-BoldOblique", kHelveticaBoldObliqueWidths)
VELORIX_PDF_FONT_BODY(TPdfTimesRoman, "Times-Roman", kTimesRomanWidths)
VELORIX_PDF_FONT_BODY(TPdfTimesBold, "Times-Bold", kTimesBoldWidths)
VELORIX_PDF_FONT_BODY(TPdfTimesItalic, "Times-Italic", kTimesItalicWidths)
VELORIX_PDF_FONT_BODY(TPdfTimesBoldItalic, "Times-BoldItalic", kTimesBoldItalicWidths)

#undef VELORIX_PDF_FONT_BODY

namespace {

using FontFactory = std::function<std::unique_ptr<TPdfFont>(TPdfObjectMgr&, std::string_view)>;

template <class T> FontFactory MakeFactory() {
    return [](TPdfObjectMgr& mgr, std::string_view name) -> std::unique_ptr<TPdfFont> {
        return std::make_unique<T>(mgr, name);
    };
}

const std::vector<std::pair<std::string, FontFactory>>& FontRegistry() {
    static const std::vector<std::pair<std::string, FontFactory>> registry = {
        {"FixedWidth", MakeFactory<TPdfFixedWidth>()},
        {"FixedWidth-Bold", MakeFactory<TPdfFixedWidthBold>()},
        {"FixedWidth-Italic", MakeFactory<TPdfFixedWidthItalic>()},
        {"FixedWidth-BoldItalic", MakeFactory<TPdfFixedWidthBoldItalic>()},
        {"Arial", MakeFactory<TPdfArial>()},
        {"Arial-Bold", MakeFactory<TPdfArialBold>()},
        {"Arial-Italic", MakeFactory<TPdfArialItalic>()},
        {"Arial-BoldItalic", MakeFactory<TPdfArialBoldItalic>()},
        {"Times-Roman", MakeFactory<TPdfTimesRoman>()},
        {"Times-Bold", MakeFactory<TPdfTimesBold>()},
        {"Times-Italic", MakeFactory<TPdfTimesItalic>()},
        {"Times-BoldItalic", MakeFactory<TPdfTimesBoldItalic>()},
    };
    return registry;
}

} // namespace

std::unique_ptr<TPdfFont> CreatePdfFontByName(std::string_view name, TPdfObjectMgr& objectMgr) {
    for (const auto& [registered, factory] : FontRegistry()) {
        if (registered == name) {
            return factory(objectMgr, name);
        }
    }
    return nullptr;
}

std::vector<std::string> RegisteredPdfFontNames() {
    std::vector<std::string> names;
    for (const auto& entry : FontRegistry()) {
        names.push_back(entry.first);
    }
    return names;
}
