// PDF values that know how to write themselves, the byte sinks they write to, and the small text
// helpers shared by the whole PDF writer.
//
// Every byte string held by these objects is a Windows-1252 byte string, exactly as it appears in
// the file. Our own texts are UTF-8: convert them with Utf8ToWinAnsi() (or TPdfText::FromUtf8) when
// they enter the writer, never elsewhere.
#pragma once

#include "PdfErrors.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Byte sinks. Each keeps a 64-bit count of the bytes written since the last Rewind(), which is
// what the cross-reference table records as object offsets.

// A byte sink that knows its position.
class TPdfOutputStream {
public:
    TPdfOutputStream() = default;
    TPdfOutputStream(const TPdfOutputStream&) = delete;
    TPdfOutputStream& operator=(const TPdfOutputStream&) = delete;
    virtual ~TPdfOutputStream();

    virtual void Write(const char* data, std::size_t size) = 0;
    // Current position: bytes written since the start (or the last Rewind()).
    virtual std::int64_t Position() const = 0;
    // Back to position 0, dropping whatever was written before.
    virtual void Rewind() = 0;

    void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
};

// Collects the bytes in memory.
class TPdfStringStream : public TPdfOutputStream {
public:
    using TPdfOutputStream::Write;
    void Write(const char* data, std::size_t size) override;
    std::int64_t Position() const override;
    void Rewind() override;

    const std::string& Bytes() const { return bytes_; }
    std::string TakeBytes();

private:
    std::string bytes_;
};

// Counts the bytes and throws them away (sizes and offsets without keeping the file).
class TPdfCountingStream : public TPdfOutputStream {
public:
    using TPdfOutputStream::Write;
    void Write(const char* data, std::size_t size) override;
    std::int64_t Position() const override;
    void Rewind() override;

private:
    std::int64_t count_ = 0;
};

// Writes to a file, created (or emptied) by the constructor. Failures to create or to write
// throw EPdfException with a French message naming the file.
class TPdfFileStream : public TPdfOutputStream {
public:
    explicit TPdfFileStream(const std::string& path);
    ~TPdfFileStream() override;

    using TPdfOutputStream::Write;
    void Write(const char* data, std::size_t size) override;
    std::int64_t Position() const override;
    void Rewind() override;
    // Flushes and closes; throws if the last bytes cannot be written. Called by the destructor
    // too, without throwing.
    void Close();

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    std::int64_t count_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Object model

enum TPdfObjectType : std::uint8_t { otDirect = 0, otIndirect = 1, otVirtual = 2 };

class TPdfObjectMgr;

// Any PDF value; writes itself to a byte sink.
class TPdfObject {
public:
    TPdfObject() = default;
    TPdfObject(const TPdfObject&) = delete;
    TPdfObject& operator=(const TPdfObject&) = delete;
    virtual ~TPdfObject();

    // A reference ("12 0 R") for indirect and proxy objects, the value itself otherwise.
    void WriteTo(TPdfOutputStream& stream);
    // "n g obj\r\n" body "\r\nendobj\r\n"; only for indirect objects.
    void WriteIndirectTo(TPdfOutputStream& stream);
    // The value itself. Not const: a stream updates its "Length" while writing.
    virtual void WriteBody(TPdfOutputStream& stream);

    // Called by the object manager only: n > 0 makes the object indirect, otherwise direct.
    void SetObjectNumber(int n);

    TPdfObjectType ObjectType() const { return objectType_; }
    int ObjectNumber() const { return objectNumber_; }
    int GenerationNumber() const { return generationNumber_; }

protected:
    TPdfObjectType objectType_ = otDirect;
    int objectNumber_ = -1;
    int generationNumber_ = 0;
};

// Stands for an indirect object inside a container; writes "n 0 R".
class TPdfVirtualObject : public TPdfObject {
public:
    static std::unique_ptr<TPdfVirtualObject> CreateVirtual(int objectNumber);
    // A proxy without a number makes no sense: always throws.
    [[noreturn]] static std::unique_ptr<TPdfVirtualObject> Create();

private:
    explicit TPdfVirtualObject(int objectNumber);
};

// The PDF null.
class TPdfNull : public TPdfObject {
public:
    static std::unique_ptr<TPdfNull> Create() { return std::make_unique<TPdfNull>(); }
    void WriteBody(TPdfOutputStream& stream) override;
};

// A PDF boolean.
class TPdfBoolean : public TPdfObject {
public:
    explicit TPdfBoolean(bool value = false) : value_(value) {}
    static std::unique_ptr<TPdfBoolean> Create(bool value) {
        return std::make_unique<TPdfBoolean>(value);
    }
    void WriteBody(TPdfOutputStream& stream) override;
    bool Value() const { return value_; }
    void SetValue(bool value) { value_ = value; }

private:
    bool value_;
};

// A PDF integer.
class TPdfNumber : public TPdfObject {
public:
    explicit TPdfNumber(std::int32_t value = 0) : value_(value) {}
    static std::unique_ptr<TPdfNumber> Create(std::int32_t value) {
        return std::make_unique<TPdfNumber>(value);
    }
    void WriteBody(TPdfOutputStream& stream) override;
    std::int32_t Value() const { return value_; }
    void SetValue(std::int32_t value) { value_ = value; }

private:
    std::int32_t value_;
};

// A PDF real number, written with the C locale.
class TPdfReal : public TPdfObject {
public:
    explicit TPdfReal(double value = 0) : value_(value) {}
    static std::unique_ptr<TPdfReal> Create(double value) {
        return std::make_unique<TPdfReal>(value);
    }
    void WriteBody(TPdfOutputStream& stream) override;
    double Value() const { return value_; }
    void SetValue(double value) { value_ = value; }

private:
    double value_;
};

// A PDF string; the value is Windows-1252 bytes.
class TPdfText : public TPdfObject {
public:
    explicit TPdfText(std::string value = {}) : value_(std::move(value)) {}
    static std::unique_ptr<TPdfText> Create(std::string_view value) {
        return std::make_unique<TPdfText>(std::string(value));
    }
    // Converts a UTF-8 text to the file's bytes ("?" for what Windows-1252 cannot hold).
    static std::unique_ptr<TPdfText> FromUtf8(std::string_view text);
    void WriteBody(TPdfOutputStream& stream) override;
    const std::string& Value() const { return value_; }
    void SetValue(std::string value) { value_ = std::move(value); }

private:
    std::string value_;
};

// A PDF name, stored without the leading slash.
class TPdfName : public TPdfObject {
public:
    explicit TPdfName(std::string value = {}) : value_(std::move(value)) {}
    static std::unique_ptr<TPdfName> Create(std::string_view value) {
        return std::make_unique<TPdfName>(std::string(value));
    }
    void WriteBody(TPdfOutputStream& stream) override;
    const std::string& Value() const { return value_; }
    void SetValue(std::string value) { value_ = std::move(value); }

private:
    std::string value_;
};

// A PDF array; owns its items.
class TPdfArray : public TPdfObject {
public:
    explicit TPdfArray(TPdfObjectMgr* objectMgr = nullptr) : objectMgr_(objectMgr) {}
    static std::unique_ptr<TPdfArray> Create(TPdfObjectMgr* objectMgr) {
        return std::make_unique<TPdfArray>(objectMgr);
    }
    static std::unique_ptr<TPdfArray> CreateNumArray(TPdfObjectMgr* objectMgr,
                                                     const std::vector<int>& values);
    void WriteBody(TPdfOutputStream& stream) override;

    // Takes ownership; a non-direct object is replaced by a proxy carrying its number.
    void AddItem(std::unique_ptr<TPdfObject> item);
    // An object owned elsewhere (registered with an object manager): a proxy is appended.
    // Nothing happens when this very object is already in the list or item is null. A direct
    // object cannot be shared this way: EPdfInvalidOperation.
    void AddItem(TPdfObject* item);

    int ItemCount() const { return static_cast<int>(items_.size()); }
    // The item; a proxy is resolved through the object manager (null without one).
    TPdfObject* Items(int index) const;
    // The first name item whose value is name, or null.
    TPdfName* FindName(std::string_view name) const;
    TPdfObjectMgr* ObjectMgr() const { return objectMgr_; }

private:
    std::vector<std::unique_ptr<TPdfObject>> items_;
    TPdfObjectMgr* objectMgr_;
};

// One key and value of a dictionary.
class TPdfDictionaryElement {
public:
    TPdfDictionaryElement(std::string_view key, std::unique_ptr<TPdfObject> value,
                          bool hidden = false);
    static std::unique_ptr<TPdfDictionaryElement> Create(std::string_view key,
                                                         std::unique_ptr<TPdfObject> value);

    TPdfName& Key() const { return *key_; }
    const std::string& KeyValue() const { return key_->Value(); }
    TPdfObject* Value() const { return value_.get(); }
    bool IsHidden() const { return hidden_; }
    void SetIsHidden(bool hidden) { hidden_ = hidden; }

private:
    std::unique_ptr<TPdfName> key_;
    std::unique_ptr<TPdfObject> value_;
    bool hidden_;
};

class TPdfStream;

// A PDF dictionary; owns its values, keeps their order.
class TPdfDictionary : public TPdfObject {
public:
    explicit TPdfDictionary(TPdfObjectMgr* objectMgr = nullptr) : objectMgr_(objectMgr) {}
    static std::unique_ptr<TPdfDictionary> Create(TPdfObjectMgr* objectMgr) {
        return std::make_unique<TPdfDictionary>(objectMgr);
    }
    void WriteBody(TPdfOutputStream& stream) override;

    // Removes any element under key, then appends (so re-adding a key moves it to the end).
    // A non-direct value is replaced by a proxy; a null value throws EPdfInvalidValue.
    void AddItem(std::string_view key, std::unique_ptr<TPdfObject> value);
    // The value is owned elsewhere (registered): a proxy is stored. A direct object cannot be
    // shared this way: EPdfInvalidOperation.
    void AddItem(std::string_view key, TPdfObject* value);
    // Stored and found like the others, never written.
    void AddHiddenItem(std::string_view key, std::unique_ptr<TPdfObject> value);
    void AddHiddenItem(std::string_view key, TPdfObject* value);
    void RemoveItem(std::string_view key);

    // The value under key, proxies resolved through the object manager; null when the key is
    // absent, the proxy cannot be resolved or (typed variants) the value is of another kind.
    TPdfObject* ValueByKey(std::string_view key) const;
    TPdfNumber* NumberByKey(std::string_view key) const;
    TPdfReal* RealByKey(std::string_view key) const;
    TPdfName* NameByKey(std::string_view key) const;
    TPdfText* TextByKey(std::string_view key) const;
    TPdfBoolean* BooleanByKey(std::string_view key) const;
    TPdfDictionary* DictionaryByKey(std::string_view key) const;
    TPdfArray* ArrayByKey(std::string_view key) const;
    TPdfStream* StreamByKey(std::string_view key) const;

    int ElementCount() const { return static_cast<int>(elements_.size()); }
    TPdfDictionaryElement& Elements(int index) const { return *elements_.at(index); }
    TPdfObjectMgr* ObjectMgr() const { return objectMgr_; }

    // The name stored under "Type", or "".
    static std::string TypeOf(const TPdfDictionary& dictionary);

private:
    void Append(std::string_view key, std::unique_ptr<TPdfObject> value, bool hidden);
    void AppendShared(std::string_view key, TPdfObject* value, bool hidden);

    std::vector<std::unique_ptr<TPdfDictionaryElement>> elements_;
    TPdfObjectMgr* objectMgr_;
};

// Attributes dictionary ("Length", "Filter", ...) and the uncompressed data. Adding the name
// "FlateDecode" to the "Filter" array has the data compressed (zlib, level 9, on every core) when
// written; the data itself is never changed, so the stream can be written again. A stream may
// instead hold its data already compressed (SetCompressedData): that is written as it is.
class TPdfStream : public TPdfObject {
public:
    explicit TPdfStream(TPdfObjectMgr* objectMgr = nullptr);
    static std::unique_ptr<TPdfStream> Create(TPdfObjectMgr* objectMgr) {
        return std::make_unique<TPdfStream>(objectMgr);
    }
    void WriteBody(TPdfOutputStream& stream) override;

    TPdfDictionary& Attributes() const { return *attributes_; }
    std::string& Data() { return data_; }
    const std::string& Data() const { return data_; }

    // Replaces the data by its zlib stream, made elsewhere (the "FlateDecode" filter must be
    // set): the uncompressed data is dropped, the bytes are shared, not copied.
    void SetCompressedData(std::shared_ptr<const std::string> zlibStream);
    // Compresses the data now and keeps only the result (nothing without "FlateDecode").
    void CompressNow();
    // The compressed bytes given or made, or null.
    const std::shared_ptr<const std::string>& CompressedData() const { return compressed_; }

private:
    bool HasFlateFilter() const;

    std::unique_ptr<TPdfDictionary> attributes_;
    std::string data_;
    std::shared_ptr<const std::string> compressed_;
};

// An external object stream.
class TPdfXObject : public TPdfStream {
public:
    using TPdfStream::TPdfStream;
};

// An image stream that pages draw.
class TPdfImage : public TPdfXObject {
public:
    using TPdfXObject::TPdfXObject;
};

// Bytes written verbatim.
class TPdfBinary : public TPdfObject {
public:
    static std::unique_ptr<TPdfBinary> Create() { return std::make_unique<TPdfBinary>(); }
    void WriteBody(TPdfOutputStream& stream) override;
    std::string& Data() { return data_; }
    const std::string& Data() const { return data_; }

private:
    std::string data_;
};

// Numbers indirect objects and owns them.
class TPdfObjectMgr {
public:
    virtual ~TPdfObjectMgr();
    // Takes ownership, numbers the object and returns it (now indirect).
    virtual TPdfObject* AddObject(std::unique_ptr<TPdfObject> object) = 0;
    // The indirect object with that number, or null.
    virtual TPdfObject* GetObject(int objectNumber) const = 0;

    template <class T> T* Register(std::unique_ptr<T> object) {
        T* raw = object.get();
        AddObject(std::move(object));
        return raw;
    }
};

// A typed view of one dictionary owned elsewhere (by the cross-reference table).
class TPdfDictionaryWrapper {
public:
    TPdfDictionaryWrapper() = default;
    TPdfDictionaryWrapper(const TPdfDictionaryWrapper&) = delete;
    TPdfDictionaryWrapper& operator=(const TPdfDictionaryWrapper&) = delete;
    virtual ~TPdfDictionaryWrapper();

    virtual void SetData(TPdfDictionary* data) { data_ = data; }
    TPdfDictionary* Data() const { return data_; }
    bool HasData() const { return data_ != nullptr; }

protected:
    TPdfDictionary* data_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Text helpers

// Local broken-down time source; tests inject a fixed one.
using TPdfClock = std::function<std::tm()>;
std::tm PdfLocalTime();

// Writes the bytes of text, nothing else.
void WritePdfString(std::string_view text, TPdfOutputStream& stream);
// Page content numbers: two decimals at most (halves away from zero), point separator.
std::string FormatPdfNumber(double x);
// "D:YYYYMMDDHHMMSS" for the clock's current time (the local time without a clock).
std::string FormatPdfDate(const TPdfClock& clock = {});
std::string EscapeText(std::string_view text);
std::string EscapeName(std::string_view name);
std::string TextToUnicodeHex(std::string_view text);
std::string AnsiToHex(std::string_view text);
std::string UnicodePrefix();

// The one conversion point between our UTF-8 texts and the file's Windows-1252 bytes.
std::string Utf8ToWinAnsi(std::string_view text);
std::string WinAnsiToUtf8(std::string_view bytes);
// The UTF-16 code unit of one Windows-1252 byte.
char16_t WinAnsiToUnicode(unsigned char byte);
