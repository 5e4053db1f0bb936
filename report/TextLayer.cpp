#include "report/TextLayer.h"

#include "ocr/TextRecognition.h"
#include "pdf/PdfDoc.h"
#include "pdf/PdfFontWidths.h"
#include "pdf/PdfTypes.h"

#include <algorithm>
#include <cmath>

namespace {

// Helvetica's ascent and descent (thousandths of the font size): a line's font size is chosen
// so that this span covers the line's box, where viewers take a word's box from.
constexpr double kAscent = 718;
constexpr double kDescent = 207;

// The characters of WinAnsiEncoding's codes 128..159.
constexpr char32_t kHighCodes[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int WinAnsiCode(char32_t c) {
    if ((c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<int>(c);
    }
    for (int i = 0; i < 32; ++i) {
        if (kHighCodes[i] != 0 && kHighCodes[i] == c) {
            return 128 + i;
        }
    }
    return -1;
}

double TextWidth(const std::string& text) {
    double width = 0;
    for (const unsigned char c : text) {
        width += c >= 32 ? kHelveticaWidths[c - 32] : 0;
    }
    return width;
}

std::string Number(double x) {
    return FormatPdfNumber(x);
}

} // namespace

std::string WinAnsiText(const QString& text) {
    std::string out;
    for (const char32_t c : text.toUcs4()) {
        const int code = WinAnsiCode(c);
        if (code >= 0) {
            out += static_cast<char>(code);
            continue;
        }
        // The compatibility decomposition: the letter without its accent, a ligature's letters.
        bool any = false;
        const QString parts = QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KD);
        for (const char32_t part : parts.toUcs4()) {
            const int partCode = WinAnsiCode(part);
            if (partCode >= 0) {
                out += static_cast<char>(partCode);
                any = true;
            }
        }
        if (!any) {
            out += '?';
        }
    }
    return out;
}

void WriteTextLayer(TPdfCanvas& canvas, const ocr::TOcrPage& text, const QRectF& picture,
                    const QRectF& visible) {
    if (text.words.empty() || text.size.isEmpty() || picture.isEmpty()) {
        return;
    }
    const double sx = picture.width() / text.size.width();
    const double sy = picture.height() / text.size.height();
    // Picture pixels (y downwards) to page points (y upwards).
    auto pageX = [&](double x) { return picture.x() + x * sx; };
    auto pageY = [&](double y) { return picture.y() + picture.height() - y * sy; };

    std::string out;
    bool begun = false;
    std::string font;
    const auto& words = text.words;
    for (std::size_t first = 0; first < words.size();) {
        // A line: its words share one baseline and one font size.
        std::size_t last = first;
        while (last + 1 < words.size() && !words[last].lineEnd) {
            ++last;
        }
        int top = words[first].box.top();
        int bottom = words[first].box.bottom() + 1;
        for (std::size_t i = first; i <= last; ++i) {
            top = std::min(top, words[i].box.top());
            bottom = std::max(bottom, words[i].box.bottom() + 1);
        }
        const double size = (pageY(top) - pageY(bottom)) * 1000.0 / (kAscent + kDescent);
        const double baseline = pageY(bottom) + size * kDescent / 1000.0;
        for (std::size_t i = first; i <= last; ++i) {
            const ocr::TOcrWord& word = words[i];
            const double left = pageX(word.box.left());
            const double right = pageX(word.box.right() + 1);
            const QPointF middle((left + right) / 2, baseline + size * 0.25);
            std::string bytes = WinAnsiText(
                QString::fromUtf8(word.text.data(), static_cast<qsizetype>(word.text.size())));
            const double natural = TextWidth(bytes) * size / 1000.0;
            if (bytes.empty() || natural <= 0 || size <= 0 || !visible.contains(middle)) {
                continue;
            }
            if (!begun) {
                font = canvas.UseFont("Arial");
                out += "BT\n3 Tr\n";
                begun = true;
            }
            const double scale = std::clamp(100.0 * (right - left) / natural, 1.0, 10000.0);
            // The separating space follows the word, outside its box.
            if (i != last) {
                bytes += ' ';
            }
            out += "/" + font + " " + Number(size) + " Tf " + Number(scale) + " Tz 1 0 0 1 " +
                   Number(left) + " " + Number(baseline) + " Tm (" + EscapeText(bytes) + ") Tj\n";
        }
        first = last + 1;
    }
    if (begun) {
        out += "ET\n";
        canvas.WriteString(out);
    }
}
