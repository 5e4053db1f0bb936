// The twelve standard Type 1 fonts, made by their registered names ("Arial", "Times-Roman", ...),
// each knowing the advance width of every WinAnsiEncoding character.
#pragma once

#include "pdf/PdfTypes.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A font resource that pages can use.
class TPdfFont : public TPdfDictionaryWrapper {
public:
    // The font dictionary is made and registered with objectMgr.
    TPdfFont(TPdfObjectMgr& objectMgr, std::string_view name);

    // The width (thousandths of the font size) of the byte at a 1-based position of text.
    virtual int GetCharWidth(std::string_view text, int position) const;
    const std::string& Name() const { return name_; }

private:
    std::string name_;
};

// One of the standard Type 1 fonts, with its character widths.
class TPdfType1Font : public TPdfFont {
public:
    // Writes the standard entries with baseFont and keeps widths (codes 32..255) as the hidden
    // "Widths" item.
    TPdfType1Font(TPdfObjectMgr& objectMgr, std::string_view name, std::string_view baseFont,
                  const std::array<std::uint16_t, 224>& widths);

    void SetData(TPdfDictionary* data) override;
    int GetCharWidth(std::string_view text, int position) const override;

    std::uint8_t FirstChar() const { return firstChar_; }
    std::uint8_t LastChar() const { return lastChar_; }

private:
    std::uint8_t firstChar_ = 0;
    std::uint8_t lastChar_ = 0;
    std::array<std::uint16_t, 256> widths_{};
};

#define VELORIX_PDF_STANDARD_FONT(Class)                                                           \
    class Class : public TPdfType1Font {                                                           \
    public:                                                                                        \
        Class(TPdfObjectMgr& objectMgr, std::string_view name);                                    \
    };

VELORIX_PDF_STANDARD_FONT(TPdfFixedWidth)
VELORIX_PDF_STANDARD_FONT(TPdfFixedWidthBold)
VELORIX_PDF_STANDARD_FONT(TPdfFixedWidthItalic)
VELORIX_PDF_STANDARD_FONT(TPdfFixedWidthBoldItalic)
VELORIX_PDF_STANDARD_FONT(TPdfArial)
VELORIX_PDF_STANDARD_FONT(TPdfArialBold)
VELORIX_PDF_STANDARD_FONT(TPdfArialItalic)
VELORIX_PDF_STANDARD_FONT(TPdfArialBoldItalic)
VELORIX_PDF_STANDARD_FONT(TPdfTimesRoman)
VELORIX_PDF_STANDARD_FONT(TPdfTimesBold)
VELORIX_PDF_STANDARD_FONT(TPdfTimesItalic)
VELORIX_PDF_STANDARD_FONT(TPdfTimesBoldItalic)

#undef VELORIX_PDF_STANDARD_FONT

// Makes the font class registered under name, or returns null for an unknown name.
std::unique_ptr<TPdfFont> CreatePdfFontByName(std::string_view name, TPdfObjectMgr& objectMgr);
// The registered names, in registration order.
std::vector<std::string> RegisteredPdfFontNames();
