// Width tables of the standard fonts (generated into PdfFontWidths.cpp by
// pdf/tools/gen_font_widths.py), one entry per WinAnsiEncoding code 32..255.
#pragma once

#include <array>
#include <cstdint>

extern const std::array<std::uint16_t, 224> kCourierWidths;
extern const std::array<std::uint16_t, 224> kHelveticaWidths;
extern const std::array<std::uint16_t, 224> kHelveticaBoldWidths;
extern const std::array<std::uint16_t, 224> kHelveticaObliqueWidths;
extern const std::array<std::uint16_t, 224> kHelveticaBoldObliqueWidths;
extern const std::array<std::uint16_t, 224> kTimesRomanWidths;
extern const std::array<std::uint16_t, 224> kTimesBoldWidths;
extern const std::array<std::uint16_t, 224> kTimesItalicWidths;
extern const std::array<std::uint16_t, 224> kTimesBoldItalicWidths;
