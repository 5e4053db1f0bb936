#include "pdf/PdfTypes.h"

#include "pdf/ParallelDeflate.h"

#include <zlib.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

// Windows-1252 code points of the bytes 0x80..0x9F; the five unassigned bytes map to the C1
// control of the same value, as the system conversion does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHexByte(std::string& out, unsigned char byte) {
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

// Shortest form with up to 15 significant digits, in the plain decimal notation PDF requires
// (no exponent); beyond 10 decimals a value is 0 for any reader. Not-a-number, infinities and
// magnitudes beyond the readers' single-precision reals have no PDF form: EPdfInvalidValue.
std::string FormatGeneral15(double value) {
    if (!(std::fabs(value) <= std::numeric_limits<float>::max())) {
        throw EPdfInvalidValue("WriteBody --the number is out of the range of PDF.");
    }
    if (value == 0) {
        return "0"; // also for -0
    }
    std::array<char, 400> buffer{};
    // 400 characters hold any double in either notation.
    std::string text(buffer.data(), std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                                  value, std::chars_format::general, 15)
                                        .ptr);
    const std::size_t e = text.find('e');
    if (e == std::string::npos) {
        return text;
    }
    const int exponent = std::stoi(text.substr(e + 1));
    if (exponent < 0) {
        text.assign(buffer.data(), std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                                 value, std::chars_format::fixed, 10)
                                       .ptr);
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') {
            text.pop_back();
        }
        return text == "-0" ? "0" : text;
    }
    // d.ddd with the point moved exponent places right, zeros filling the rest.
    std::string digits = text.substr(0, e);
    const bool negative = digits.front() == '-';
    if (negative) {
        digits.erase(0, 1);
    }
    if (const std::size_t point = digits.find('.'); point != std::string::npos) {
        digits.erase(point, 1);
    }
    digits.resize(static_cast<std::size_t>(exponent) + 1, '0');
    return negative ? "-" + digits : digits;
}

std::string FileErrorText(const std::string& path) {
    return std::string(std::strerror(errno)) + " (" + path + ")";
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Byte sinks

TPdfOutputStream::~TPdfOutputStream() = default;

void TPdfStringStream::Write(const char* data, std::size_t size) {
    bytes_.append(data, size);
}

std::int64_t TPdfStringStream::Position() const {
    return static_cast<std::int64_t>(bytes_.size());
}

void TPdfStringStream::Rewind() {
    bytes_.clear();
}

std::string TPdfStringStream::TakeBytes() {
    std::string out = std::move(bytes_);
    bytes_.clear();
    return out;
}

void TPdfCountingStream::Write(const char*, std::size_t size) {
    count_ += static_cast<std::int64_t>(size);
}

std::int64_t TPdfCountingStream::Position() const {
    return count_;
}

void TPdfCountingStream::Rewind() {
    count_ = 0;
}

TPdfFileStream::TPdfFileStream(const std::string& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        throw EPdfException("Impossible de créer le fichier \"" + path +
                            "\" : " + FileErrorText(path));
    }
}

TPdfFileStream::~TPdfFileStream() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void TPdfFileStream::Write(const char* data, std::size_t size) {
    if (file_ == nullptr) {
        throw EPdfException("Erreur d'écriture dans le fichier \"" + path_ + "\" : fermé.");
    }
    if (size > 0 && std::fwrite(data, 1, size, file_) != size) {
        throw EPdfException("Erreur d'écriture dans le fichier \"" + path_ +
                            "\" : " + FileErrorText(path_));
    }
    count_ += static_cast<std::int64_t>(size);
}

std::int64_t TPdfFileStream::Position() const {
    return count_;
}

void TPdfFileStream::Rewind() {
    // Reopening truncates, so nothing of an earlier, longer write survives behind the new one.
    if (file_ != nullptr) {
        file_ = std::freopen(path_.c_str(), "wb", file_);
    }
    if (file_ == nullptr) {
        throw EPdfException("Impossible de créer le fichier \"" + path_ +
                            "\" : " + FileErrorText(path_));
    }
    count_ = 0;
}

void TPdfFileStream::Close() {
    if (file_ == nullptr) {
        return;
    }
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) {
        throw EPdfException("Erreur d'écriture dans le fichier \"" + path_ +
                            "\" : " + FileErrorText(path_));
    }
}

// ---------------------------------------------------------------------------------------------
// Object model

TPdfObject::~TPdfObject() = default;

void TPdfObject::WriteTo(TPdfOutputStream& stream) {
    if (objectType_ != otDirect) {
        stream.Write(std::to_string(objectNumber_) + " " + std::to_string(generationNumber_) +
                     " R");
    } else {
        WriteBody(stream);
    }
}

void TPdfObject::WriteIndirectTo(TPdfOutputStream& stream) {
    if (objectType_ != otIndirect) {
        throw EPdfInvalidOperation("internal error wrong object type");
    }
    stream.Write(std::to_string(objectNumber_) + " " + std::to_string(generationNumber_) +
                 " obj\r\n");
    WriteBody(stream);
    stream.Write("\r\nendobj\r\n");
}

void TPdfObject::WriteBody(TPdfOutputStream&) {}

void TPdfObject::SetObjectNumber(int n) {
    objectNumber_ = n;
    objectType_ = n > 0 ? otIndirect : otDirect;
}

TPdfVirtualObject::TPdfVirtualObject(int objectNumber) {
    objectType_ = otVirtual;
    objectNumber_ = objectNumber;
}

std::unique_ptr<TPdfVirtualObject> TPdfVirtualObject::CreateVirtual(int objectNumber) {
    return std::unique_ptr<TPdfVirtualObject>(new TPdfVirtualObject(objectNumber));
}

std::unique_ptr<TPdfVirtualObject> TPdfVirtualObject::Create() {
    throw EPdfException("virtualObject must be create by CreateVirtual method.");
}

void TPdfNull::WriteBody(TPdfOutputStream& stream) {
    stream.Write("null");
}

void TPdfBoolean::WriteBody(TPdfOutputStream& stream) {
    stream.Write(value_ ? "true" : "false");
}

void TPdfNumber::WriteBody(TPdfOutputStream& stream) {
    stream.Write(std::to_string(value_));
}

void TPdfReal::WriteBody(TPdfOutputStream& stream) {
    stream.Write(FormatGeneral15(value_));
}

std::unique_ptr<TPdfText> TPdfText::FromUtf8(std::string_view text) {
    return std::make_unique<TPdfText>(Utf8ToWinAnsi(text));
}

void TPdfText::WriteBody(TPdfOutputStream& stream) {
    // Windows-1252 has no double-byte lead bytes, so the literal form is always the right one.
    stream.Write("(" + EscapeText(value_) + ")");
}

void TPdfName::WriteBody(TPdfOutputStream& stream) {
    stream.Write("/" + EscapeName(value_));
}

// Arrays

std::unique_ptr<TPdfArray> TPdfArray::CreateNumArray(TPdfObjectMgr* objectMgr,
                                                     const std::vector<int>& values) {
    auto array = std::make_unique<TPdfArray>(objectMgr);
    for (int value : values) {
        array->AddItem(std::make_unique<TPdfNumber>(value));
    }
    return array;
}

void TPdfArray::WriteBody(TPdfOutputStream& stream) {
    stream.Write("[");
    for (auto& item : items_) {
        item->WriteTo(stream);
        stream.Write(" ");
    }
    stream.Write("]");
}

void TPdfArray::AddItem(std::unique_ptr<TPdfObject> item) {
    if (!item) {
        return;
    }
    if (item->ObjectType() != otDirect) {
        items_.push_back(TPdfVirtualObject::CreateVirtual(item->ObjectNumber()));
    } else {
        items_.push_back(std::move(item));
    }
}

void TPdfArray::AddItem(TPdfObject* item) {
    if (item == nullptr) {
        return;
    }
    for (auto& existing : items_) {
        if (existing.get() == item) {
            return;
        }
    }
    if (item->ObjectType() == otDirect) {
        throw EPdfInvalidOperation("AddItem --object is not registered.");
    }
    items_.push_back(TPdfVirtualObject::CreateVirtual(item->ObjectNumber()));
}

TPdfObject* TPdfArray::Items(int index) const {
    TPdfObject* item = items_.at(static_cast<std::size_t>(index)).get();
    if (item->ObjectType() == otVirtual) {
        return objectMgr_ != nullptr ? objectMgr_->GetObject(item->ObjectNumber()) : nullptr;
    }
    return item;
}

TPdfName* TPdfArray::FindName(std::string_view name) const {
    for (auto& item : items_) {
        if (auto* n = dynamic_cast<TPdfName*>(item.get()); n != nullptr && n->Value() == name) {
            return n;
        }
    }
    return nullptr;
}

// Dictionaries

TPdfDictionaryElement::TPdfDictionaryElement(std::string_view key,
                                             std::unique_ptr<TPdfObject> value, bool hidden)
    : key_(std::make_unique<TPdfName>(std::string(key))), value_(std::move(value)),
      hidden_(hidden) {
    if (!value_) {
        throw EPdfInvalidValue("internal error. wrong object.");
    }
}

std::unique_ptr<TPdfDictionaryElement>
TPdfDictionaryElement::Create(std::string_view key, std::unique_ptr<TPdfObject> value) {
    return std::make_unique<TPdfDictionaryElement>(key, std::move(value));
}

void TPdfDictionary::WriteBody(TPdfOutputStream& stream) {
    stream.Write("<<\r\n");
    for (auto& element : elements_) {
        if (element->IsHidden()) {
            continue;
        }
        element->Key().WriteTo(stream);
        stream.Write(" ");
        element->Value()->WriteTo(stream);
        stream.Write("\r\n");
    }
    stream.Write(">>");
}

void TPdfDictionary::Append(std::string_view key, std::unique_ptr<TPdfObject> value, bool hidden) {
    if (value && value->ObjectType() != otDirect) {
        value = TPdfVirtualObject::CreateVirtual(value->ObjectNumber());
    }
    // Build the element first: a refused value must not cost the old one.
    auto element = std::make_unique<TPdfDictionaryElement>(key, std::move(value), hidden);
    RemoveItem(key);
    elements_.push_back(std::move(element));
}

void TPdfDictionary::AppendShared(std::string_view key, TPdfObject* value, bool hidden) {
    if (value == nullptr) {
        throw EPdfInvalidValue("internal error. wrong object.");
    }
    if (value->ObjectType() == otDirect) {
        throw EPdfInvalidOperation("AddItem --object is not registered.");
    }
    Append(key, TPdfVirtualObject::CreateVirtual(value->ObjectNumber()), hidden);
}

void TPdfDictionary::AddItem(std::string_view key, std::unique_ptr<TPdfObject> value) {
    Append(key, std::move(value), false);
}

void TPdfDictionary::AddItem(std::string_view key, TPdfObject* value) {
    AppendShared(key, value, false);
}

void TPdfDictionary::AddHiddenItem(std::string_view key, std::unique_ptr<TPdfObject> value) {
    Append(key, std::move(value), true);
}

void TPdfDictionary::AddHiddenItem(std::string_view key, TPdfObject* value) {
    AppendShared(key, value, true);
}

void TPdfDictionary::RemoveItem(std::string_view key) {
    for (auto it = elements_.begin(); it != elements_.end(); ++it) {
        if ((*it)->KeyValue() == key) {
            elements_.erase(it);
            return;
        }
    }
}

TPdfObject* TPdfDictionary::ValueByKey(std::string_view key) const {
    for (auto& element : elements_) {
        if (element->KeyValue() == key) {
            TPdfObject* value = element->Value();
            if (value->ObjectType() == otVirtual) {
                return objectMgr_ != nullptr ? objectMgr_->GetObject(value->ObjectNumber())
                                             : nullptr;
            }
            return value;
        }
    }
    return nullptr;
}

TPdfNumber* TPdfDictionary::NumberByKey(std::string_view key) const {
    return dynamic_cast<TPdfNumber*>(ValueByKey(key));
}
TPdfReal* TPdfDictionary::RealByKey(std::string_view key) const {
    return dynamic_cast<TPdfReal*>(ValueByKey(key));
}
TPdfName* TPdfDictionary::NameByKey(std::string_view key) const {
    return dynamic_cast<TPdfName*>(ValueByKey(key));
}
TPdfText* TPdfDictionary::TextByKey(std::string_view key) const {
    return dynamic_cast<TPdfText*>(ValueByKey(key));
}
TPdfBoolean* TPdfDictionary::BooleanByKey(std::string_view key) const {
    return dynamic_cast<TPdfBoolean*>(ValueByKey(key));
}
TPdfDictionary* TPdfDictionary::DictionaryByKey(std::string_view key) const {
    return dynamic_cast<TPdfDictionary*>(ValueByKey(key));
}
TPdfArray* TPdfDictionary::ArrayByKey(std::string_view key) const {
    return dynamic_cast<TPdfArray*>(ValueByKey(key));
}
TPdfStream* TPdfDictionary::StreamByKey(std::string_view key) const {
    return dynamic_cast<TPdfStream*>(ValueByKey(key));
}

std::string TPdfDictionary::TypeOf(const TPdfDictionary& dictionary) {
    TPdfName* name = dictionary.NameByKey("Type");
    return name != nullptr ? name->Value() : std::string();
}

// Streams

TPdfStream::TPdfStream(TPdfObjectMgr* objectMgr)
    : attributes_(std::make_unique<TPdfDictionary>(objectMgr)) {
    attributes_->AddItem("Length", std::make_unique<TPdfNumber>(0));
    attributes_->AddItem("Filter", std::make_unique<TPdfArray>(objectMgr));
}

bool TPdfStream::HasFlateFilter() const {
    TPdfArray* filter = attributes_->ArrayByKey("Filter");
    return filter != nullptr && filter->FindName("FlateDecode") != nullptr;
}

void TPdfStream::SetCompressedData(std::shared_ptr<const std::string> zlibStream) {
    if (!HasFlateFilter()) {
        throw EPdfInvalidOperation("SetCompressedData --the stream has no FlateDecode filter.");
    }
    compressed_ = std::move(zlibStream);
    std::string().swap(data_);
}

void TPdfStream::SetEncodedData(std::shared_ptr<const std::string> encoded) {
    if (HasFlateFilter()) {
        throw EPdfInvalidOperation("SetEncodedData --the stream is compressed when written.");
    }
    compressed_ = std::move(encoded);
    std::string().swap(data_);
}

void TPdfStream::CompressNow() {
    if (HasFlateFilter() && compressed_ == nullptr) {
        SetCompressedData(std::make_shared<const std::string>(pdfdeflate::Deflate(data_)));
    }
}

void TPdfStream::WriteBody(TPdfOutputStream& stream) {
    TPdfNumber* length = attributes_->NumberByKey("Length");

    std::string compressed;
    const bool flate = HasFlateFilter();
    if (flate && compressed_ == nullptr) {
        compressed = pdfdeflate::Deflate(data_);
    }
    const std::string& out = compressed_ != nullptr ? *compressed_ : flate ? compressed : data_;
    if (out.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        // "Length" is a 32-bit number; a larger stream could only be written wrong.
        throw EPdfException("WriteBody --stream too large.");
    }
    if (length == nullptr) {
        attributes_->AddItem("Length", std::make_unique<TPdfNumber>(0));
        length = attributes_->NumberByKey("Length");
    }
    length->SetValue(static_cast<std::int32_t>(out.size()));

    attributes_->WriteTo(stream);
    stream.Write("\r\nstream\r\n");
    stream.Write(out);
    stream.Write("\nendstream");
}

void TPdfBinary::WriteBody(TPdfOutputStream& stream) {
    stream.Write(data_);
}

TPdfObjectMgr::~TPdfObjectMgr() = default;

TPdfDictionaryWrapper::~TPdfDictionaryWrapper() = default;

// ---------------------------------------------------------------------------------------------
// Text helpers

std::tm PdfLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

void WritePdfString(std::string_view text, TPdfOutputStream& stream) {
    stream.Write(text);
}

std::string FormatPdfNumber(double x) {
    // Beyond 15 digits there are no decimals left to round.
    if (std::fabs(x) >= 1e15) {
        return FormatGeneral15(x);
    }
    // Halves are rounded away from zero on both sides of it.
    double scaled = std::trunc(std::fabs(x) * 100.0 + 0.5);
    double y = std::copysign(scaled, x) / 100.0;
    return FormatGeneral15(y + 0.0);
}

std::string FormatPdfDate(const TPdfClock& clock) {
    std::tm t = clock ? clock() : PdfLocalTime();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "D:%04d%02d%02d%02d%02d%02d", (t.tm_year + 1900) % 10000,
                  (t.tm_mon + 1) % 100, t.tm_mday % 100, t.tm_hour % 100, t.tm_min % 100,
                  t.tm_sec % 100);
    return buffer;
}

std::string EscapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '(':
            out += "\\(";
            break;
        case ')':
            out += "\\)";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string EscapeName(std::string_view name) {
    // "#00" is not a name character: a null byte cannot be written at all.
    if (name.find('\0') != std::string_view::npos) {
        throw EPdfInvalidValue("EscapeName --a name cannot hold a null byte.");
    }
    static constexpr std::string_view kDelimiters = "#%()/<>[]{}";
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x21 || byte > 0x7E || kDelimiters.find(c) != std::string_view::npos) {
            out += '#';
            AppendHexByte(out, byte);
        } else {
            out += c;
        }
    }
    return out;
}

std::string TextToUnicodeHex(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 4);
    for (char c : text) {
        char16_t unit = WinAnsiToUnicode(static_cast<unsigned char>(c));
        if (unit == 0) {
            break;
        }
        AppendHexByte(out, static_cast<unsigned char>(unit >> 8));
        AppendHexByte(out, static_cast<unsigned char>(unit & 0xFF));
    }
    return out;
}

std::string AnsiToHex(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        AppendHexByte(out, static_cast<unsigned char>(c));
    }
    return out;
}

std::string UnicodePrefix() {
    return "FEFF001B" + AnsiToHex("en") + "001B";
}

char16_t WinAnsiToUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) {
        return kCp1252High[byte - 0x80];
    }
    return byte;
}

std::string Utf8ToWinAnsi(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        char32_t cp = 0;
        std::size_t length = 0;
        if (lead < 0x80) {
            cp = lead;
            length = 1;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            length = 2;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            length = 3;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            length = 4;
        }
        bool valid = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            auto cont = static_cast<unsigned char>(text[i + k]);
            if ((cont & 0xC0) != 0x80) {
                valid = false;
            } else {
                cp = (cp << 6) | (cont & 0x3F);
            }
        }
        // Overlong forms and surrogates are not characters.
        if (valid &&
            ((length == 2 && cp < 0x80) || (length == 3 && cp < 0x800) ||
             (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))) {
            valid = false;
        }
        if (!valid) {
            out += '?';
            ++i;
            continue;
        }
        i += length;
        char mapped = '?';
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            mapped = static_cast<char>(cp);
        } else {
            for (std::size_t k = 0; k < kCp1252High.size(); ++k) {
                if (kCp1252High[k] == cp) {
                    mapped = static_cast<char>(0x80 + k);
                    break;
                }
            }
        }
        out += mapped;
    }
    return out;
}

std::string WinAnsiToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        char16_t cp = WinAnsiToUnicode(static_cast<unsigned char>(c));
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}
