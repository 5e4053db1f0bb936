#include "fuzz/PdfStructure.h"

#include <zlib.h>

#include <cstdlib>
#include <regex>

namespace velorix::fuzz {

namespace {

// The decimal number after key in the dictionary text, or -1.
long long NumberAfter(const std::string& dict, const std::string& key) {
    const std::size_t at = dict.find(key + " ");
    if (at == std::string::npos)
        return -1;
    return std::strtoll(dict.c_str() + at + key.size() + 1, nullptr, 10);
}

std::string Inflated(const std::string& data) {
    std::string out(1 << 16, '\0');
    z_stream z{};
    inflateInit(&z);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    int rc = Z_OK;
    std::size_t used = 0;
    while (rc == Z_OK) {
        if (used == out.size())
            out.resize(out.size() * 2);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + used);
        z.avail_out = static_cast<uInt>(out.size() - used);
        rc = inflate(&z, Z_NO_FLUSH);
        used = out.size() - z.avail_out;
    }
    inflateEnd(&z);
    out.resize(used);
    return rc == Z_STREAM_END ? out : std::string("<bad deflate data>");
}

// The stream of the object whose body starts at body, or "" when it is sound.
std::string StreamFault(const std::string& pdf, std::size_t body, int number) {
    const std::size_t end = pdf.find("\r\nendobj\r\n", body);
    const std::size_t start = pdf.find("\r\nstream\r\n", body);
    if (start == std::string::npos || start > end)
        return {};
    const std::string dict = pdf.substr(body, start - body);
    const long long length = NumberAfter(dict, "/Length");
    const std::size_t data = start + 10;
    if (length < 0 || data + static_cast<std::size_t>(length) > pdf.size() ||
        pdf.compare(data + static_cast<std::size_t>(length), 10, "\nendstream") != 0)
        return "object " + std::to_string(number) + ": /Length is not the stream's length";
    if (dict.find("/Subtype /Image") == std::string::npos)
        return {};
    const std::string pixels = Inflated(pdf.substr(data, static_cast<std::size_t>(length)));
    const long long components =
        dict.find("/DeviceRGB") != std::string::npos && dict.find("/Indexed") == std::string::npos
            ? 3
            : 1;
    const long long expected = NumberAfter(dict, "/Width") * NumberAfter(dict, "/Height") *
                               components * NumberAfter(dict, "/BitsPerComponent") / 8;
    if (static_cast<long long>(pixels.size()) != expected)
        return "image " + std::to_string(number) + ": " + std::to_string(pixels.size()) +
               " bytes of pixels, " + std::to_string(expected) + " expected";
    return {};
}

} // namespace

std::string PdfStructureFault(const std::string& pdf) {
    if (pdf.rfind("%PDF-", 0) != 0)
        return "no header";
    const std::size_t startxref = pdf.rfind("startxref\r\n");
    if (startxref == std::string::npos)
        return "no startxref";
    const auto xref =
        static_cast<std::size_t>(std::strtoull(pdf.c_str() + startxref + 11, nullptr, 10));
    if (xref >= pdf.size() || pdf.compare(xref, 6, "xref\r\n") != 0)
        return "startxref does not point at the table";
    if (pdf.size() < 7 || pdf.compare(pdf.size() - 7, 7, "%%EOF\r\n") != 0)
        return "no %%EOF at the end";
    std::size_t pos = xref + 6;
    if (pdf.compare(pos, 2, "0 ") != 0)
        return "the table does not start at object 0";
    const int count = std::atoi(pdf.c_str() + pos + 2);
    pos = pdf.find("\r\n", pos) + 2;
    static const std::regex line("(\\d{10}) (\\d{5}) ([nf])\r\n");
    for (int i = 0; i < count; ++i, pos += 20) {
        std::smatch m;
        const std::string entry = pdf.substr(pos, 20);
        if (!std::regex_match(entry, m, line))
            return "table line " + std::to_string(i) + " is not 20 bytes";
        if (i == 0)
            continue;
        const std::string expected = std::to_string(i) + " 0 obj\r\n";
        const auto offset = static_cast<std::size_t>(std::stoull(m[1]));
        if (m[3] != "n" || offset >= pdf.size() ||
            pdf.compare(offset, expected.size(), expected) != 0)
            return "table line " + std::to_string(i) + " does not point at its object";
        if (std::string fault = StreamFault(pdf, offset + expected.size(), i); !fault.empty())
            return fault;
    }
    if (pdf.compare(pos, 9, "trailer\r\n") != 0 ||
        pdf.find("/Size " + std::to_string(count) + "\r\n", pos) == std::string::npos)
        return "the trailer's /Size is not the table's length";
    return {};
}

} // namespace velorix::fuzz
