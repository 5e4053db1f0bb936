// Any bytes as a PDF string, a name and numbers: each is written, read back the way a PDF reader
// tokenises it, and must give the value again (numbers: plain decimal syntax, the same value to
// 15 digits and 10 decimals, page numbers to 2 decimals; beyond single precision: refused).
#include "pdf/PdfTypes.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <regex>

namespace {

std::string Written(TPdfObject&& object) {
    TPdfStringStream out;
    object.WriteTo(out);
    return out.TakeBytes();
}

// A literal string token back to its bytes; "<bad>" when the token is not exactly one string.
std::string ReadLiteral(const std::string& token) {
    static const std::string escapes = "nrtbf()\\", values = "\n\r\t\b\f()\\";
    std::string out;
    int depth = 0;
    for (std::size_t i = 1; i + 1 < token.size(); ++i) {
        char c = token[i];
        if (c == '\\') {
            const std::size_t k = escapes.find(token[++i]);
            if (k == std::string::npos)
                return "<bad>";
            c = values[k];
        } else if (c == '(' || c == ')') {
            depth += c == '(' ? 1 : -1; // unescaped parentheses must balance
        } else if (c == '\r') {
            return "<bad>"; // a reader turns a bare end of line into "\n"
        }
        out += c;
    }
    return token.front() == '(' && token.back() == ')' && depth == 0 ? out : "<bad>";
}

std::string ReadName(const std::string& token) {
    std::string out;
    for (std::size_t i = 1; i < token.size(); ++i) {
        const auto c = static_cast<unsigned char>(token[i]);
        if (c < 0x21 || c > 0x7e || std::strchr("%()/<>[]{}", c) != nullptr)
            return "<bad>";
        if (c != '#') {
            out += static_cast<char>(c);
            continue;
        }
        const std::string hex = token.substr(i + 1, 2);
        if (hex.size() != 2 || !std::isxdigit(hex[0]) || !std::isxdigit(hex[1]) || hex == "00")
            return "<bad>";
        out += static_cast<char>(std::strtol(hex.c_str(), nullptr, 16));
        i += 2;
    }
    return token.front() == '/' ? out : "<bad>";
}

// A PDF number token holds no exponent, no "inf" or "nan".
bool IsPdfNumber(const std::string& token) {
    static const std::regex number("[+-]?(\\d+\\.?\\d*|\\.\\d+)");
    return std::regex_match(token, number);
}

void CheckReal(double value) {
    std::string text;
    try {
        text = Written(TPdfReal(value));
    } catch (const EPdfInvalidValue&) {
        if (std::fabs(value) <= std::numeric_limits<float>::max())
            abort(); // only what PDF readers cannot hold is refused
        return;
    }
    if (!IsPdfNumber(text) ||
        std::fabs(std::strtod(text.c_str(), nullptr) - value) > 1e-14 * std::fabs(value) + 5e-11)
        abort();
    const std::string rounded = FormatPdfNumber(value);
    if (!IsPdfNumber(rounded) ||
        std::fabs(std::strtod(rounded.c_str(), nullptr) - value) > 0.005 + 1e-12 * std::fabs(value))
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (ReadLiteral(Written(TPdfText(bytes))) != bytes)
        abort();
    try {
        // A name cannot hold a null byte at all: it is refused rather than written.
        if (ReadName(Written(TPdfName(bytes))) != bytes || bytes.find('\0') != std::string::npos)
            abort();
    } catch (const EPdfInvalidValue&) {
        if (bytes.find('\0') == std::string::npos)
            abort();
    }
    const std::string ansi = Utf8ToWinAnsi(bytes);
    if (ansi.size() > bytes.size() || Utf8ToWinAnsi(WinAnsiToUtf8(ansi)) != ansi)
        abort();
    if (size >= sizeof(double)) {
        double value;
        std::memcpy(&value, data, sizeof value);
        CheckReal(value);
    }
    return 0;
}
