// One PDF document under construction and its file writer: cross-reference table, trailer,
// catalog, information, pages, destinations, outline root, and the canvas that draws into the
// current page.
#pragma once

#include "pdf/PdfFonts.h"
#include "pdf/PdfTypes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class TPdfDoc;

// The highest byte offset the 10-digit cross-reference field can hold.
inline constexpr std::int64_t kPdfMaxXrefOffset = 9'999'999'999;

// ---------------------------------------------------------------------------------------------
// File structure

// The "%PDF-" header line of a file.
class TPdfHeader {
public:
    void WriteToStream(TPdfOutputStream& stream) const;
    // "%PDF-1.<minor>"; 2 unless a feature of a later version is used.
    int MinorVersion() const { return minorVersion_; }
    void RequireMinorVersion(int minor) { minorVersion_ = std::max(minorVersion_, minor); }

private:
    int minorVersion_ = 2;
};

// The trailer dictionary and the "startxref" tail of a file.
class TPdfTrailer {
public:
    explicit TPdfTrailer(TPdfObjectMgr* objectMgr);
    void WriteToStream(TPdfOutputStream& stream);

    TPdfDictionary& Attributes() const { return *attributes_; }
    std::int64_t XrefAddress() const { return xrefAddress_; }
    void SetXrefAddress(std::int64_t value) { xrefAddress_ = value; }

private:
    std::unique_ptr<TPdfDictionary> attributes_;
    std::int64_t xrefAddress_ = 0;
};

// One entry of the cross-reference table: an object and its byte offset.
class TPdfXrefEntry {
public:
    explicit TPdfXrefEntry(std::unique_ptr<TPdfObject> value);

    std::string AsString() const; // the 20-byte table line
    const std::string& EntryType() const { return entryType_; }
    void SetEntryType(std::string value) { entryType_ = std::move(value); }
    std::int64_t ByteOffset() const { return byteOffset_; }
    void SetByteOffset(std::int64_t value) { byteOffset_ = value; }
    int GenerationNumber() const { return generationNumber_; }
    void SetGenerationNumber(int value) { generationNumber_ = value; }
    TPdfObject* Value() const { return value_.get(); }

private:
    std::string entryType_;
    std::int64_t byteOffset_ = -1;
    int generationNumber_ = 0;
    std::unique_ptr<TPdfObject> value_;
};

// The cross-reference table: numbers, owns and locates every indirect object.
class TPdfXref : public TPdfObjectMgr {
public:
    TPdfXref(); // entry 0: free, generation 65535
    ~TPdfXref() override;

    TPdfObject* AddObject(std::unique_ptr<TPdfObject> object) override;
    TPdfObject* GetObject(int objectNumber) const override;

    int EntryCount() const { return static_cast<int>(entries_.size()); }
    TPdfXrefEntry& Items(int index) const { return *entries_.at(index); }
    void WriteTable(TPdfOutputStream& stream) const;

private:
    std::vector<std::unique_ptr<TPdfXrefEntry>> entries_;
};

// ---------------------------------------------------------------------------------------------
// Catalog and information

enum TPdfPageLayout : std::uint8_t { plSinglePage, plOneColumn, plTwoColumnLeft, plTwoColumnRight };
enum TPdfPageMode : std::uint8_t { pmUseNone, pmUseOutlines, pmUseThumbs, pmFullScreen };
enum TPdfViewerPreference : std::uint8_t {
    vpHideToolbar,
    vpHideMenubar,
    vpHideWindowUI,
    vpFitWindow,
    vpCenterWindow
};
using TPdfViewerPreferences = std::set<TPdfViewerPreference>;
enum TPdfCompressionMethod : std::uint8_t { cmFlateDecode = 0 };
enum TPdfDestinationType : std::uint8_t {
    dtXYZ,
    dtFit,
    dtFitH,
    dtFitV,
    dtFitR,
    dtFitB,
    dtFitBH,
    dtFitBV
};

const char* PdfPageLayoutName(TPdfPageLayout value);
const char* PdfPageModeName(TPdfPageMode value);
const char* PdfViewerPreferenceName(TPdfViewerPreference value);
const char* PdfDestinationTypeName(TPdfDestinationType value);

// Data that another layer attaches to a destination or an outline entry; owned by it.
class TPdfOwnedData {
public:
    virtual ~TPdfOwnedData();
};

class TPdfDestination;

// The document information dictionary: author, title and the like, and the dates.
class TPdfInfo : public TPdfDictionaryWrapper {
public:
    explicit TPdfInfo(const TPdfClock* clock) : clock_(clock) {}

    // Texts are UTF-8; each is stored as a string under its key (a key set again moves to the
    // end).
    void SetAuthor(std::string_view value);
    void SetCreator(std::string_view value);
    void SetKeywords(std::string_view value);
    void SetSubject(std::string_view value);
    void SetTitle(std::string_view value);
    // Both store the moment of the call (the document's clock); the date given is not used.
    void SetCreationDate(double dateTime = 0);
    void SetModDate(double dateTime = 0);

private:
    void SetText(std::string_view key, std::string_view utf8);
    const TPdfClock* clock_;
};

// The document catalog: pages, outlines, page mode and open action.
class TPdfCatalog : public TPdfDictionaryWrapper {
public:
    void SetPageLayout(TPdfPageLayout value);
    void SetPageMode(TPdfPageMode value);
    void SetNonFullScreenPageMode(TPdfPageMode value);
    void SetViewerPreference(const TPdfViewerPreferences& value);
    void SetPages(TPdfDictionary* pages);
    void SetOpenAction(TPdfDestination* value) { openAction_ = value; }
    TPdfDestination* OpenAction() const { return openAction_; }
    // Writes "OpenAction" from the destination, or removes it when none is set.
    void SaveOpenAction();

private:
    TPdfDestination* openAction_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Destinations and outlines

// A place on a page to jump to, with its type and zoom.
class TPdfDestination {
public:
    // On the current page of doc's canvas; EPdfInvalidOperation without a document.
    explicit TPdfDestination(TPdfDoc& doc);
    ~TPdfDestination();
    TPdfDestination(const TPdfDestination&) = delete;
    TPdfDestination& operator=(const TPdfDestination&) = delete;

    TPdfDestinationType DestinationType() const { return destinationType_; }
    void SetDestinationType(TPdfDestinationType value) { destinationType_ = value; }
    // index 0..3: Left, Top, Right, Bottom; negative values are stored as -1.
    int Element(int index) const;
    void SetElement(int index, int value);
    int Left() const { return Element(0); }
    int Top() const { return Element(1); }
    int Right() const { return Element(2); }
    int Bottom() const { return Element(3); }
    void SetLeft(int value) { SetElement(0, value); }
    void SetTop(int value) { SetElement(1, value); }
    void SetRight(int value) { SetElement(2, value); }
    void SetBottom(int value) { SetElement(3, value); }
    float Zoom() const { return zoom_; }
    void SetZoom(float value); // 0..10
    // The page's "MediaBox" height, or the document's default height.
    int PageHeight() const;
    // [page /Type ...] as written in the file.
    std::unique_ptr<TPdfArray> GetValue();

    TPdfDoc& Doc() const { return *doc_; }
    TPdfDictionary* Page() const { return page_; }
    TPdfOwnedData* Data() const { return data_.get(); }
    void SetData(std::unique_ptr<TPdfOwnedData> data) { data_ = std::move(data); }

private:
    TPdfDoc* doc_;
    TPdfDictionary* page_;
    TPdfDestinationType destinationType_ = dtXYZ;
    std::array<int, 4> values_{};
    float zoom_ = 1.0f;
    std::unique_ptr<TPdfOwnedData> data_;
};

// One bookmark of the outline tree.
class TPdfOutlineEntry : public TPdfDictionaryWrapper {
public:
    // Makes a child of parent (appended as its last child), owned by the document;
    // "CreateEntry --invalid parent." without a parent.
    static TPdfOutlineEntry& CreateEntry(TPdfOutlineEntry* parent);
    TPdfOutlineEntry& AddChild() { return CreateEntry(this); }

    virtual void Save();

    TPdfOutlineEntry* Parent() const { return parent_; }
    TPdfOutlineEntry* Next() const { return next_; }
    TPdfOutlineEntry* Prev() const { return prev_; }
    TPdfOutlineEntry* First() const { return first_; }
    TPdfOutlineEntry* Last() const { return last_; }
    TPdfDestination* Dest() const { return dest_; }
    void SetDest(TPdfDestination* value) { dest_ = value; }
    const std::string& Title() const { return title_; }
    void SetTitle(std::string_view utf8) { title_ = Utf8ToWinAnsi(utf8); }
    bool Opened() const { return opened_; }
    void SetOpened(bool value) { opened_ = value; }
    int Count() const { return count_; }
    TPdfDoc& Doc() const { return *doc_; }
    // The other layer's object attached to this entry (Data() is the entry's dictionary).
    TPdfOwnedData* UserData() const { return userData_.get(); }
    void SetUserData(std::unique_ptr<TPdfOwnedData> data) { userData_ = std::move(data); }
    using TPdfDictionaryWrapper::SetData;
    void SetData(std::unique_ptr<TPdfOwnedData> data) { SetUserData(std::move(data)); }

protected:
    explicit TPdfOutlineEntry(TPdfDoc& doc); // registers the entry's dictionary

    TPdfOutlineEntry* parent_ = nullptr;
    TPdfOutlineEntry* next_ = nullptr;
    TPdfOutlineEntry* prev_ = nullptr;
    TPdfOutlineEntry* first_ = nullptr;
    TPdfOutlineEntry* last_ = nullptr;
    TPdfDestination* dest_ = nullptr;
    TPdfDoc* doc_ = nullptr;
    std::string title_;
    bool opened_ = false;
    int count_ = 0;
    std::unique_ptr<TPdfOwnedData> userData_;
};

// The root of the outline tree.
class TPdfOutlineRoot : public TPdfOutlineEntry {
public:
    explicit TPdfOutlineRoot(TPdfDoc& doc);
    void Save() override;
};

// ---------------------------------------------------------------------------------------------
// Canvas

// The text state of a canvas: font, size, spacing and scaling.
class TPdfCanvasAttribute {
public:
    // Each setter ignores an unchanged value and refuses one out of range (EPdfInvalidValue,
    // previous value kept). They only record the state.
    void SetWordSpace(float value);
    void SetCharSpace(float value);
    void SetFontSize(float value);
    void SetHorizontalScaling(std::uint16_t value);
    void SetLeading(float value);
    void SetFont(TPdfFont* value) { font_ = value; }

    float WordSpace() const { return wordSpace_; }
    float CharSpace() const { return charSpace_; }
    float FontSize() const { return fontSize_; }
    TPdfFont* Font() const { return font_; }
    float Leading() const { return leading_; }
    std::uint16_t HorizontalScaling() const { return horizontalScaling_; }

private:
    float wordSpace_ = 0;
    float charSpace_ = 0;
    float fontSize_ = 0;
    TPdfFont* font_ = nullptr;
    float leading_ = 0;
    std::uint16_t horizontalScaling_ = 100;
};

// Draws on the current page by writing content-stream operators.
class TPdfCanvas {
public:
    explicit TPdfCanvas(TPdfDoc* doc);
    TPdfCanvas(const TPdfCanvas&) = delete;
    TPdfCanvas& operator=(const TPdfCanvas&) = delete;

    TPdfDictionary& Page() const; // "La page est vide" without a page
    TPdfDoc& Document() const;    // "ERROR: GetDoc documant is nil." without a document
    TPdfStream* Contents() const { return contents_; }
    bool HasPage() const { return page_ != nullptr; }
    TPdfCanvasAttribute& Attribute() { return attr_; }

    // Makes page current (saving the previous page's text state in it); null forgets the page.
    void SetPage(TPdfDictionary* page);
    void SetPageWidth(int value);
    void SetPageHeight(int value);

    void WriteString(std::string_view text);
    void GSave();
    void GRestore();
    void Concat(double a, double b, double c, double d, double e, double f);
    void Rectangle(double x, double y, double width, double height);
    void NewPath();
    void Clip();
    void SetFontAndSize(std::string_view fontName, double size);
    void ExecuteXObject(std::string_view name);

    void SetFont(std::string_view name, float size);
    // Adds the font registered under name to the page's resources, writing nothing, and returns
    // its resource name, for content that sets the font itself.
    std::string UseFont(std::string_view name);
    void DrawXObject(double x, double y, double width, double height, std::string_view name);
    void DrawXObjectEx(double x, double y, double width, double height, double clipX, double clipY,
                       double clipWidth, double clipHeight, std::string_view name);

private:
    void AddXObjectResource(std::string_view name, TPdfStream* xobject);

    TPdfStream* contents_ = nullptr;
    TPdfDictionary* page_ = nullptr;
    TPdfDoc* doc_;
    TPdfCanvasAttribute attr_;
};

// ---------------------------------------------------------------------------------------------
// Document

// A PDF document being built, written out as one file.
class TPdfDoc {
public:
    TPdfDoc();
    ~TPdfDoc();
    TPdfDoc(const TPdfDoc&) = delete;
    TPdfDoc& operator=(const TPdfDoc&) = delete;

    // Set before NewDocument.
    bool UseOutlines() const { return useOutlines_; }
    void SetUseOutlines(bool value) { useOutlines_ = value; }
    TPdfCompressionMethod CompressionMethod() const { return compressionMethod_; }
    void SetCompressionMethod(TPdfCompressionMethod value) { compressionMethod_ = value; }
    std::uint16_t DefaultPageWidth() const { return defaultPageWidth_; }
    std::uint16_t DefaultPageHeight() const { return defaultPageHeight_; }
    void SetDefaultPageWidth(std::uint16_t value) { defaultPageWidth_ = value; }
    void SetDefaultPageHeight(std::uint16_t value) { defaultPageHeight_ = value; }

    // The time source of the information dates (the local time by default).
    void SetClock(TPdfClock clock);
    const TPdfClock& Clock() const { return clock_; }

    void NewDocument();
    void FreeDocument();
    bool HasDoc() const { return hasDoc_; }
    void AddPage();

    TPdfCanvas& Canvas();
    TPdfInfo& Info();
    TPdfCatalog& Root();
    TPdfOutlineRoot& OutlineRoot();
    TPdfXref* ObjectMgr() const { return xref_.get(); }
    // The file says at least PDF 1.<minor> (an image with an explicit mask needs 1.3).
    void RequireMinorVersion(int minor);
    TPdfTrailer* Trailer() const { return trailer_.get(); }
    TPdfDictionary* RootPages() const { return rootPages_; }

    TPdfFont& GetFont(std::string_view name);
    TPdfFont& CreateFont(std::string_view name);

    // Registers an image XObject under name (it becomes "Name"); the document owns it.
    TPdfStream* AddXObject(std::string_view name, std::unique_ptr<TPdfStream> image);
    TPdfStream* FindXObject(std::string_view name) const;
    TPdfStream* RegisterXObject(std::unique_ptr<TPdfStream> object, std::string_view name);

    TPdfDestination& CreateDestination();
    // Owned by the document from now on (used by outline entries).
    TPdfOutlineEntry& AdoptOutlineEntry(std::unique_ptr<TPdfOutlineEntry> entry);

    // Writes the whole file, from position 0 of stream.
    void SaveToStream(TPdfOutputStream& stream);

private:
    TPdfStream* RegisterXObjectChecked(TPdfStream* object, std::string_view name);

    TPdfCatalog* root_ = nullptr;
    TPdfDictionary* rootPages_ = nullptr;
    std::unique_ptr<TPdfCanvas> canvas_;
    std::unique_ptr<TPdfHeader> header_;
    std::unique_ptr<TPdfTrailer> trailer_;
    std::unique_ptr<TPdfXref> xref_;
    TPdfInfo* info_ = nullptr;
    bool hasDoc_ = false;
    std::vector<std::unique_ptr<TPdfFont>> fontList_;
    // Catalog, information, outline entries and destinations; freed last first.
    std::vector<std::unique_ptr<TPdfDictionaryWrapper>> objectList_;
    std::vector<std::unique_ptr<TPdfDestination>> destinations_;
    TPdfOutlineRoot* outlineRoot_ = nullptr;
    std::unique_ptr<TPdfArray> xobjectList_;
    std::uint16_t defaultPageWidth_ = 596;
    std::uint16_t defaultPageHeight_ = 842;
    TPdfCompressionMethod compressionMethod_ = cmFlateDecode;
    bool useOutlines_ = false;
    TPdfClock clock_;
};
