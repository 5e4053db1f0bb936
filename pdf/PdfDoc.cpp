#include "pdf/PdfDoc.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

std::string ZeroPadded(std::int64_t value, int width) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*lld", width, static_cast<long long>(value));
    return buffer;
}

// The float's shortest decimal form read back as a double, so that a zoom of 0.1 is written
// "0.1" and not with the float's binary tail.
double FloatAsDecimal(float value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) {
        return value;
    }
    double out = value;
    std::from_chars(buffer, end, out);
    return out;
}

// Resources → kind dictionary of a page, made when missing (pages made elsewhere may lack it).
TPdfDictionary& ResourceDictionary(TPdfDictionary& page, std::string_view kind) {
    TPdfDictionary* resources = page.DictionaryByKey("Resources");
    if (resources == nullptr) {
        page.AddItem("Resources", std::make_unique<TPdfDictionary>(page.ObjectMgr()));
        resources = page.DictionaryByKey("Resources");
    }
    TPdfDictionary* dict = resources->DictionaryByKey(kind);
    if (dict == nullptr) {
        resources->AddItem(kind, std::make_unique<TPdfDictionary>(page.ObjectMgr()));
        dict = resources->DictionaryByKey(kind);
    }
    return *dict;
}

} // namespace

const char* PdfPageLayoutName(TPdfPageLayout value) {
    static const char* const names[] = {"SinglePage", "OneColumn", "TwoColumnLeft",
                                        "TwoColumnRight"};
    return value <= plTwoColumnRight ? names[value] : names[0];
}

const char* PdfPageModeName(TPdfPageMode value) {
    static const char* const names[] = {"UseNone", "UseOutlines", "UseThumbs", "FullScreen"};
    return value <= pmFullScreen ? names[value] : names[0];
}

const char* PdfViewerPreferenceName(TPdfViewerPreference value) {
    static const char* const names[] = {"HideToolbar", "HideMenubar", "HideWindowUI", "FitWindow",
                                        "CenterWindow"};
    return value <= vpCenterWindow ? names[value] : names[0];
}

const char* PdfDestinationTypeName(TPdfDestinationType value) {
    static const char* const names[] = {"XYZ",  "Fit",  "FitH",  "FitV",
                                        "FitR", "FitB", "FitBH", "FitBV"};
    return value <= dtFitBV ? names[value] : names[0];
}

TPdfOwnedData::~TPdfOwnedData() = default;

// ---------------------------------------------------------------------------------------------
// File structure

void TPdfHeader::WriteToStream(TPdfOutputStream& stream) const {
    stream.Write("%PDF-1." + std::to_string(minorVersion_) + " \r\n");
}

TPdfTrailer::TPdfTrailer(TPdfObjectMgr* objectMgr)
    : attributes_(std::make_unique<TPdfDictionary>(objectMgr)) {
    attributes_->AddItem("Size", TPdfNumber::Create(0));
}

void TPdfTrailer::WriteToStream(TPdfOutputStream& stream) {
    stream.Write("trailer\r\n");
    attributes_->WriteTo(stream);
    stream.Write("\r\nstartxref\r\n" + std::to_string(xrefAddress_) + "\r\n%%EOF\r\n");
}

TPdfXrefEntry::TPdfXrefEntry(std::unique_ptr<TPdfObject> value)
    : entryType_(value ? "n" : "f"), value_(std::move(value)) {}

std::string TPdfXrefEntry::AsString() const {
    return (byteOffset_ < 0 ? std::string("0000000000") : ZeroPadded(byteOffset_, 10)) + " " +
           ZeroPadded(generationNumber_, 5) + " " + entryType_ + "\r\n";
}

TPdfXref::TPdfXref() {
    auto free = std::make_unique<TPdfXrefEntry>(nullptr);
    free->SetGenerationNumber(65535);
    entries_.push_back(std::move(free));
}

TPdfXref::~TPdfXref() = default;

TPdfObject* TPdfXref::AddObject(std::unique_ptr<TPdfObject> object) {
    if (!object || object->ObjectType() != otDirect) {
        throw EPdfInvalidOperation("AddObject --wrong object type.");
    }
    TPdfObject* raw = object.get();
    auto entry = std::make_unique<TPdfXrefEntry>(std::move(object));
    entry->SetGenerationNumber(raw->GenerationNumber());
    entries_.push_back(std::move(entry));
    raw->SetObjectNumber(static_cast<int>(entries_.size()) - 1);
    return raw;
}

TPdfObject* TPdfXref::GetObject(int objectNumber) const {
    if (objectNumber < 0 || objectNumber >= EntryCount()) {
        return nullptr;
    }
    return entries_[static_cast<std::size_t>(objectNumber)]->Value();
}

void TPdfXref::WriteTable(TPdfOutputStream& stream) const {
    std::string table = "xref\r\n0 " + std::to_string(entries_.size()) + "\r\n";
    table.reserve(table.size() + entries_.size() * 20);
    for (const auto& entry : entries_) {
        table += entry->AsString();
    }
    stream.Write(table);
}

// ---------------------------------------------------------------------------------------------
// Information and catalog

void TPdfInfo::SetText(std::string_view key, std::string_view utf8) {
    data_->AddItem(key, TPdfText::FromUtf8(utf8));
}

void TPdfInfo::SetAuthor(std::string_view value) {
    SetText("Author", value);
}
void TPdfInfo::SetCreator(std::string_view value) {
    SetText("Creator", value);
}
void TPdfInfo::SetKeywords(std::string_view value) {
    SetText("Keywords", value);
}
void TPdfInfo::SetSubject(std::string_view value) {
    SetText("Subject", value);
}
void TPdfInfo::SetTitle(std::string_view value) {
    SetText("Title", value);
}

void TPdfInfo::SetCreationDate(double) {
    data_->AddItem("CreationDate", TPdfText::Create(FormatPdfDate(clock_ ? *clock_ : TPdfClock())));
}

void TPdfInfo::SetModDate(double) {
    data_->AddItem("ModDate", TPdfText::Create(FormatPdfDate(clock_ ? *clock_ : TPdfClock())));
}

namespace {

void SetOrAddName(TPdfDictionary& dict, std::string_view key, std::string_view value) {
    if (TPdfName* name = dict.NameByKey(key)) {
        name->SetValue(std::string(value));
    } else {
        dict.AddItem(key, TPdfName::Create(value));
    }
}

TPdfDictionary& ViewerPreferences(TPdfDictionary& catalog) {
    TPdfDictionary* prefs = catalog.DictionaryByKey("ViewerPreferences");
    if (prefs == nullptr) {
        catalog.AddItem("ViewerPreferences", std::make_unique<TPdfDictionary>(catalog.ObjectMgr()));
        prefs = catalog.DictionaryByKey("ViewerPreferences");
    }
    return *prefs;
}

} // namespace

void TPdfCatalog::SetPageLayout(TPdfPageLayout value) {
    SetOrAddName(*data_, "PageLayout", PdfPageLayoutName(value));
}

void TPdfCatalog::SetPageMode(TPdfPageMode value) {
    SetOrAddName(*data_, "PageMode", PdfPageModeName(value));
}

void TPdfCatalog::SetNonFullScreenPageMode(TPdfPageMode value) {
    TPdfDictionary& prefs = ViewerPreferences(*data_);
    if (value == pmUseOutlines || value == pmUseThumbs) {
        SetOrAddName(prefs, "NonFullScreenPageMode", PdfPageModeName(value));
    } else {
        prefs.RemoveItem("NonFullScreenPageMode");
    }
}

void TPdfCatalog::SetViewerPreference(const TPdfViewerPreferences& value) {
    if (data_->DictionaryByKey("ViewerPreferences") == nullptr && value.empty()) {
        return;
    }
    TPdfDictionary& prefs = ViewerPreferences(*data_);
    for (int i = vpHideToolbar; i <= vpCenterWindow; ++i) {
        auto pref = static_cast<TPdfViewerPreference>(i);
        if (value.count(pref) != 0) {
            prefs.AddItem(PdfViewerPreferenceName(pref), TPdfBoolean::Create(true));
        } else {
            prefs.RemoveItem(PdfViewerPreferenceName(pref));
        }
    }
}

void TPdfCatalog::SetPages(TPdfDictionary* pages) {
    if (pages != nullptr && TPdfDictionary::TypeOf(*pages) == "Pages") {
        data_->AddItem("Pages", pages);
    }
}

void TPdfCatalog::SaveOpenAction() {
    if (openAction_ != nullptr) {
        data_->AddItem("OpenAction", openAction_->GetValue());
    } else {
        data_->RemoveItem("OpenAction");
    }
}

// ---------------------------------------------------------------------------------------------
// Destinations

TPdfDestination::TPdfDestination(TPdfDoc& doc) : doc_(&doc), page_(nullptr) {
    if (!doc.HasDoc()) {
        throw EPdfInvalidOperation("TPdfDestination --cannot destination object.");
    }
    page_ = &doc.Canvas().Page();
}

TPdfDestination::~TPdfDestination() = default;

int TPdfDestination::Element(int index) const {
    return values_.at(static_cast<std::size_t>(index));
}

void TPdfDestination::SetElement(int index, int value) {
    int& slot = values_.at(static_cast<std::size_t>(index));
    if (value < 0) {
        value = -1;
    }
    if (slot != value) {
        slot = value;
    }
}

void TPdfDestination::SetZoom(float value) {
    if (value == zoom_) {
        return;
    }
    if (!(value >= 0)) {
        throw EPdfInvalidValue("Zoom property cannot set to under 0.");
    }
    if (value > 10) {
        throw EPdfInvalidValue("Zoom property cannot set to over " + std::to_string(10) + ".");
    }
    zoom_ = value;
}

int TPdfDestination::PageHeight() const {
    if (page_ != nullptr) {
        if (TPdfArray* box = page_->ArrayByKey("MediaBox");
            box != nullptr && box->ItemCount() > 3) {
            if (auto* height = dynamic_cast<TPdfNumber*>(box->Items(3))) {
                return height->Value();
            }
        }
    }
    return doc_->DefaultPageHeight();
}

std::unique_ptr<TPdfArray> TPdfDestination::GetValue() {
    auto array = std::make_unique<TPdfArray>(doc_->ObjectMgr());
    array->AddItem(page_);
    array->AddItem(TPdfName::Create(PdfDestinationTypeName(destinationType_)));
    auto coordinate = [&](int value, int limit) -> std::unique_ptr<TPdfObject> {
        if (value < limit) {
            return TPdfNull::Create();
        }
        return TPdfNumber::Create(value);
    };
    switch (destinationType_) {
    case dtXYZ:
        array->AddItem(coordinate(Left(), -100));
        array->AddItem(coordinate(Top(), -100));
        if (zoom_ < 0) {
            zoom_ = 0;
        }
        array->AddItem(TPdfReal::Create(FloatAsDecimal(zoom_)));
        break;
    case dtFitH:
    case dtFitBH:
        array->AddItem(coordinate(Top(), -100));
        break;
    case dtFitV:
    case dtFitBV:
        array->AddItem(coordinate(Left(), -100));
        break;
    case dtFitR:
        array->AddItem(coordinate(Left(), -100));
        array->AddItem(coordinate(Bottom(), 0));
        array->AddItem(coordinate(Right(), 0));
        array->AddItem(coordinate(Top(), -100));
        break;
    case dtFit:
    case dtFitB:
        break;
    }
    return array;
}

// ---------------------------------------------------------------------------------------------
// Outlines

TPdfOutlineEntry::TPdfOutlineEntry(TPdfDoc& doc) : doc_(&doc) {
    data_ = doc.ObjectMgr()->Register(std::make_unique<TPdfDictionary>(doc.ObjectMgr()));
}

TPdfOutlineEntry& TPdfOutlineEntry::CreateEntry(TPdfOutlineEntry* parent) {
    if (parent == nullptr) {
        throw EPdfException("CreateEntry --invalid parent.");
    }
    std::unique_ptr<TPdfOutlineEntry> entry(new TPdfOutlineEntry(parent->Doc()));
    TPdfOutlineEntry& child = parent->Doc().AdoptOutlineEntry(std::move(entry));
    child.parent_ = parent;
    child.prev_ = parent->last_;
    if (parent->last_ != nullptr) {
        parent->last_->next_ = &child;
    } else {
        parent->first_ = &child;
    }
    parent->last_ = &child;
    ++parent->count_;
    return child;
}

void TPdfOutlineEntry::Save() {
    data_->AddItem("Count", TPdfNumber::Create(opened_ ? count_ : -count_));
    data_->AddItem("Title", TPdfText::Create(title_));
    // Readers need the way back up from every item.
    if (parent_ != nullptr) {
        data_->AddItem("Parent", parent_->Data());
    }
    if (dest_ != nullptr) {
        data_->AddItem("Dest", dest_->GetValue());
    }
    if (first_ != nullptr) {
        data_->AddItem("First", first_->Data());
        first_->Save();
    }
    if (last_ != nullptr) {
        data_->AddItem("Last", last_->Data());
    }
    if (prev_ != nullptr) {
        data_->AddItem("Prev", prev_->Data());
    }
    if (next_ != nullptr) {
        data_->AddItem("Next", next_->Data());
        next_->Save();
    }
}

TPdfOutlineRoot::TPdfOutlineRoot(TPdfDoc& doc) : TPdfOutlineEntry(doc) {
    opened_ = true;
    count_ = 0;
    data_->AddItem("Type", TPdfName::Create("Outlines"));
}

void TPdfOutlineRoot::Save() {
    data_->AddItem("Count", TPdfNumber::Create(opened_ ? count_ : -count_));
    if (first_ != nullptr) {
        data_->AddItem("First", first_->Data());
        first_->Save();
        data_->AddItem("Last", last_->Data());
    }
}

// ---------------------------------------------------------------------------------------------
// Canvas

void TPdfCanvasAttribute::SetWordSpace(float value) {
    if (value == wordSpace_) {
        return;
    }
    if (!(value >= 0)) {
        throw EPdfInvalidValue("SetWordSpace --invalid word space");
    }
    wordSpace_ = value;
}

void TPdfCanvasAttribute::SetCharSpace(float value) {
    if (value == charSpace_) {
        return;
    }
    if (!(value >= -30 && value <= 300)) {
        throw EPdfInvalidValue("SetCharSpace --invalid char space");
    }
    charSpace_ = value;
}

void TPdfCanvasAttribute::SetFontSize(float value) {
    if (value == fontSize_) {
        return;
    }
    if (!(value >= 0 && value <= 300)) {
        throw EPdfInvalidValue("SetCharSpace --invalid font size");
    }
    fontSize_ = value;
}

void TPdfCanvasAttribute::SetHorizontalScaling(std::uint16_t value) {
    if (value == horizontalScaling_) {
        return;
    }
    if (value < 10 || value > 300) {
        throw EPdfInvalidValue("SetHorizontalScaling --invalid font size");
    }
    horizontalScaling_ = value;
}

void TPdfCanvasAttribute::SetLeading(float value) {
    if (value == leading_) {
        return;
    }
    if (!(value >= 0 && value <= 300)) {
        throw EPdfInvalidValue("SetLeading --invalid font size");
    }
    leading_ = value;
}

TPdfCanvas::TPdfCanvas(TPdfDoc* doc) : doc_(doc) {}

TPdfDictionary& TPdfCanvas::Page() const {
    if (page_ == nullptr) {
        throw EPdfInvalidOperation("La page est vide");
    }
    return *page_;
}

TPdfDoc& TPdfCanvas::Document() const {
    if (doc_ == nullptr) {
        throw EPdfInvalidOperation("ERROR: GetDoc documant is nil.");
    }
    return *doc_;
}

void TPdfCanvas::SetPage(TPdfDictionary* page) {
    if (page == nullptr) {
        // The document is going away: forget its page, contents and font.
        page_ = nullptr;
        contents_ = nullptr;
        attr_.SetFont(nullptr);
        return;
    }
    if (page_ != nullptr) {
        if (attr_.Font() != nullptr) {
            page_->AddHiddenItem("_Font", TPdfName::Create(attr_.Font()->Name()));
        }
        page_->AddHiddenItem("_Font_Size", TPdfReal::Create(attr_.FontSize()));
        page_->AddHiddenItem("_Word_Space", TPdfReal::Create(attr_.WordSpace()));
        page_->AddHiddenItem("_Char_Space", TPdfReal::Create(attr_.CharSpace()));
        page_->AddHiddenItem("_HScalling", TPdfNumber::Create(attr_.HorizontalScaling()));
        page_->AddHiddenItem("_Leading", TPdfReal::Create(attr_.Leading()));
    }
    page_ = page;
    contents_ = page->StreamByKey("Contents");

    if (TPdfName* font = page->NameByKey("_Font")) {
        attr_.SetFont(&Document().GetFont(font->Value()));
        auto real = [page](std::string_view key) -> float {
            TPdfReal* value = page->RealByKey(key);
            return value != nullptr ? static_cast<float>(value->Value()) : 0.0f;
        };
        attr_.SetFontSize(real("_Font_Size"));
        attr_.SetWordSpace(real("_Word_Space"));
        attr_.SetCharSpace(real("_Char_Space"));
        if (TPdfNumber* scaling = page->NumberByKey("_HScalling")) {
            attr_.SetHorizontalScaling(static_cast<std::uint16_t>(scaling->Value()));
        }
        attr_.SetLeading(real("_Leading"));
    } else {
        attr_.SetFont(nullptr);
        SetFont("Arial", 10);
        attr_.SetCharSpace(0);
        attr_.SetWordSpace(0);
        attr_.SetHorizontalScaling(100);
        attr_.SetLeading(0);
    }
}

void TPdfCanvas::SetPageWidth(int value) {
    TPdfArray* box = Page().ArrayByKey("MediaBox");
    auto* number =
        box != nullptr && box->ItemCount() > 2 ? dynamic_cast<TPdfNumber*>(box->Items(2)) : nullptr;
    if (number == nullptr) {
        throw EPdfInvalidOperation("Can not change width of this page..");
    }
    number->SetValue(value);
}

void TPdfCanvas::SetPageHeight(int value) {
    TPdfArray* box = Page().ArrayByKey("MediaBox");
    auto* number =
        box != nullptr && box->ItemCount() > 3 ? dynamic_cast<TPdfNumber*>(box->Items(3)) : nullptr;
    if (number == nullptr) {
        throw EPdfInvalidOperation("Can not change width of this page..");
    }
    number->SetValue(value);
}

void TPdfCanvas::WriteString(std::string_view text) {
    if (contents_ != nullptr) {
        contents_->Data().append(text);
    }
}

void TPdfCanvas::GSave() {
    WriteString("q\n");
}

void TPdfCanvas::GRestore() {
    WriteString("Q\n");
}

void TPdfCanvas::Concat(double a, double b, double c, double d, double e, double f) {
    WriteString(FormatPdfNumber(a) + " " + FormatPdfNumber(b) + " " + FormatPdfNumber(c) + " " +
                FormatPdfNumber(d) + " " + FormatPdfNumber(e) + " " + FormatPdfNumber(f) + " cm\n");
}

void TPdfCanvas::Rectangle(double x, double y, double width, double height) {
    WriteString(FormatPdfNumber(x) + " " + FormatPdfNumber(y) + " " + FormatPdfNumber(width) + " " +
                FormatPdfNumber(height) + " re\n");
}

void TPdfCanvas::NewPath() {
    WriteString("n\n");
}

void TPdfCanvas::Clip() {
    WriteString("W\n");
}

void TPdfCanvas::SetFontAndSize(std::string_view fontName, double size) {
    WriteString(std::string(fontName) + " " + FormatPdfNumber(size) + " Tf\n");
}

void TPdfCanvas::ExecuteXObject(std::string_view name) {
    // Escaped like the resource key it must match.
    WriteString("/" + EscapeName(name) + " Do\n");
}

void TPdfCanvas::SetFont(std::string_view name, float size) {
    TPdfFont* font = &Document().GetFont(name);
    if (font == attr_.Font() && size == attr_.FontSize()) {
        return;
    }
    // Refuse a bad size before anything is written, so content and state stay in step.
    if (!(size >= 0 && size <= 300)) {
        throw EPdfInvalidValue("SetCharSpace --invalid font size");
    }
    TPdfName* resourceName = font->Data()->NameByKey("Name");
    const std::string resource = resourceName != nullptr ? resourceName->Value() : font->Name();
    TPdfDictionary& fonts = ResourceDictionary(Page(), "Font");
    if (fonts.ValueByKey(resource) == nullptr) {
        fonts.AddItem(resource, font->Data());
    }
    if (contents_ != nullptr) {
        SetFontAndSize("/" + EscapeName(resource), size);
    }
    attr_.SetFont(font);
    attr_.SetFontSize(size);
}

std::string TPdfCanvas::UseFont(std::string_view name) {
    TPdfFont* font = &Document().GetFont(name);
    TPdfName* resourceName = font->Data()->NameByKey("Name");
    const std::string resource = resourceName != nullptr ? resourceName->Value() : font->Name();
    TPdfDictionary& fonts = ResourceDictionary(Page(), "Font");
    if (fonts.ValueByKey(resource) == nullptr) {
        fonts.AddItem(resource, font->Data());
    }
    return resource;
}

void TPdfCanvas::AddXObjectResource(std::string_view name, TPdfStream* xobject) {
    TPdfDictionary& xobjects = ResourceDictionary(Page(), "XObject");
    if (xobjects.ValueByKey(name) == nullptr) {
        xobjects.AddItem(name, xobject);
    }
}

void TPdfCanvas::DrawXObject(double x, double y, double width, double height,
                             std::string_view name) {
    TPdfStream* xobject = Document().FindXObject(name);
    if (xobject == nullptr) {
        throw EPdfInvalidValue("DrawXObject --XObject not found: " + std::string(name));
    }
    AddXObjectResource(name, xobject);
    GSave();
    Concat(width, 0, 0, height, x, y);
    ExecuteXObject(xobject->Attributes().NameByKey("Name")->Value());
    GRestore();
}

void TPdfCanvas::DrawXObjectEx(double x, double y, double width, double height, double clipX,
                               double clipY, double clipWidth, double clipHeight,
                               std::string_view name) {
    TPdfStream* xobject = Document().FindXObject(name);
    if (xobject == nullptr) {
        throw EPdfInvalidValue("DrawXObjectEx --XObject not found: " + std::string(name));
    }
    AddXObjectResource(name, xobject);
    GSave();
    Rectangle(clipX, clipY, clipWidth, clipHeight);
    Clip();
    NewPath();
    Concat(width, 0, 0, height, x, y);
    ExecuteXObject(xobject->Attributes().NameByKey("Name")->Value());
    GRestore();
}

// ---------------------------------------------------------------------------------------------
// Document

TPdfDoc::TPdfDoc() : canvas_(std::make_unique<TPdfCanvas>(this)) {}

TPdfDoc::~TPdfDoc() {
    FreeDocument();
    canvas_.reset();
}

void TPdfDoc::SetClock(TPdfClock clock) {
    clock_ = std::move(clock);
}

void TPdfDoc::NewDocument() {
    FreeDocument();

    xref_ = std::make_unique<TPdfXref>();
    header_ = std::make_unique<TPdfHeader>();
    trailer_ = std::make_unique<TPdfTrailer>(xref_.get());
    xobjectList_ = std::make_unique<TPdfArray>(xref_.get());
    TPdfXref* mgr = xref_.get();

    TPdfDictionary* catalog = mgr->Register(std::make_unique<TPdfDictionary>(mgr));
    catalog->AddItem("Type", TPdfName::Create("Catalog"));
    trailer_->Attributes().AddItem("Root", catalog);
    auto root = std::make_unique<TPdfCatalog>();
    root->SetData(catalog);
    root_ = root.get();
    objectList_.push_back(std::move(root));

    if (useOutlines_) {
        std::unique_ptr<TPdfOutlineRoot> outlines(new TPdfOutlineRoot(*this));
        outlineRoot_ = outlines.get();
        objectList_.push_back(std::move(outlines));
        catalog->AddItem("Outlines", outlineRoot_->Data());
    }

    TPdfDictionary* infoDict = mgr->Register(std::make_unique<TPdfDictionary>(mgr));
    infoDict->AddItem("Producer", TPdfText::Create("VelorixPdf version 0.9"));
    trailer_->Attributes().AddItem("Info", infoDict);
    auto info = std::make_unique<TPdfInfo>(&clock_);
    info->SetData(infoDict);
    info_ = info.get();
    objectList_.push_back(std::move(info));
    info_->SetCreationDate();

    rootPages_ = mgr->Register(std::make_unique<TPdfDictionary>(mgr));
    rootPages_->AddItem("Type", TPdfName::Create("Pages"));
    rootPages_->AddItem("Kids", std::make_unique<TPdfArray>(mgr));
    rootPages_->AddItem("Count", TPdfNumber::Create(0));
    root_->SetPages(rootPages_);

    hasDoc_ = true;
}

void TPdfDoc::FreeDocument() {
    if (!hasDoc_) {
        return;
    }
    canvas_->SetPage(nullptr);
    xobjectList_.reset();
    while (!fontList_.empty()) {
        fontList_.pop_back();
    }
    while (!destinations_.empty()) {
        destinations_.pop_back();
    }
    while (!objectList_.empty()) {
        objectList_.pop_back();
    }
    xref_.reset();
    header_.reset();
    trailer_.reset();
    info_ = nullptr;
    root_ = nullptr;
    outlineRoot_ = nullptr;
    rootPages_ = nullptr;
    hasDoc_ = false;
}

void TPdfDoc::AddPage() {
    if (rootPages_ == nullptr) {
        throw EPdfInvalidOperation("AddPage --current pages null.");
    }
    TPdfXref* mgr = xref_.get();
    TPdfDictionary* page = mgr->Register(std::make_unique<TPdfDictionary>(mgr));

    TPdfArray* kids = rootPages_->ArrayByKey("Kids");
    kids->AddItem(page);
    rootPages_->NumberByKey("Count")->SetValue(kids->ItemCount());

    page->AddItem("Type", TPdfName::Create("Page"));
    page->AddItem("Parent", rootPages_);
    page->AddItem("MediaBox",
                  TPdfArray::CreateNumArray(mgr, {0, 0, defaultPageWidth_, defaultPageHeight_}));
    auto resources = std::make_unique<TPdfDictionary>(mgr);
    resources->AddItem("Font", std::make_unique<TPdfDictionary>(mgr));
    resources->AddItem("XObject", std::make_unique<TPdfDictionary>(mgr));
    auto procSet = std::make_unique<TPdfArray>(mgr);
    procSet->AddItem(TPdfName::Create("PDF"));
    procSet->AddItem(TPdfName::Create("Text"));
    procSet->AddItem(TPdfName::Create("ImageC"));
    resources->AddItem("ProcSet", std::move(procSet));
    page->AddItem("Resources", std::move(resources));

    TPdfStream* contents = mgr->Register(std::make_unique<TPdfStream>(mgr));
    if (compressionMethod_ == cmFlateDecode) {
        contents->Attributes().ArrayByKey("Filter")->AddItem(TPdfName::Create("FlateDecode"));
    }
    page->AddItem("Contents", contents);

    canvas_->SetPage(page);
}

TPdfCanvas& TPdfDoc::Canvas() {
    if (!hasDoc_) {
        throw EPdfInvalidOperation("GetCanvas --Document is null");
    }
    return *canvas_;
}

TPdfInfo& TPdfDoc::Info() {
    if (!hasDoc_) {
        throw EPdfInvalidOperation("GetInfo --this method can not use this state..");
    }
    return *info_;
}

TPdfCatalog& TPdfDoc::Root() {
    if (!hasDoc_) {
        throw EPdfInvalidOperation("GetRoot --this method can not use this state..");
    }
    return *root_;
}

TPdfOutlineRoot& TPdfDoc::OutlineRoot() {
    if (!hasDoc_) {
        throw EPdfInvalidOperation("GetOutlineRoot --document is null..");
    }
    if (outlineRoot_ == nullptr) {
        throw EPdfInvalidOperation("GetOutlineRoot --not use outline mode..");
    }
    return *outlineRoot_;
}

TPdfFont& TPdfDoc::GetFont(std::string_view name) {
    if (!hasDoc_) {
        throw EPdfInvalidOperation("GetFont --document is null.");
    }
    for (auto& font : fontList_) {
        if (font->Name() == name) {
            return *font;
        }
    }
    return CreateFont(name);
}

TPdfFont& TPdfDoc::CreateFont(std::string_view name) {
    if (!hasDoc_) {
        throw EPdfInvalidOperation("GetFont --document is null.");
    }
    std::unique_ptr<TPdfFont> font = CreatePdfFontByName(name, *xref_);
    if (!font) {
        throw EPdfException("CreateFont --InvalidFontName:" + std::string(name));
    }
    font->Data()->AddItem("Name", TPdfName::Create("F" + std::to_string(fontList_.size())));
    fontList_.push_back(std::move(font));
    return *fontList_.back();
}

void TPdfDoc::RequireMinorVersion(int minor) {
    if (!hasDoc_) {
        throw EPdfInvalidOperation("RequireMinorVersion --document is null.");
    }
    header_->RequireMinorVersion(minor);
}

TPdfStream* TPdfDoc::FindXObject(std::string_view name) const {
    if (!xobjectList_) {
        return nullptr;
    }
    for (int i = 0; i < xobjectList_->ItemCount(); ++i) {
        auto* xobject = dynamic_cast<TPdfStream*>(xobjectList_->Items(i));
        if (xobject == nullptr) {
            continue;
        }
        TPdfName* xname = xobject->Attributes().NameByKey("Name");
        if (xname != nullptr && xname->Value() == name) {
            return xobject;
        }
    }
    return nullptr;
}

TPdfStream* TPdfDoc::AddXObject(std::string_view name, std::unique_ptr<TPdfStream> image) {
    if (!hasDoc_) {
        throw EPdfInvalidOperation("AddImage --document is null.");
    }
    if (FindXObject(name) != nullptr) {
        throw EPdfException("AddImage --the image named " + std::string(name) +
                            " is already exists..");
    }
    if (!image || TPdfDictionary::TypeOf(image->Attributes()) != "XObject" ||
        image->Attributes().NameByKey("Subtype") == nullptr ||
        image->Attributes().NameByKey("Subtype")->Value() != "Image") {
        throw EPdfException("AddImage --the image is not valid TPdfImage..");
    }
    TPdfStream* registered = xref_->Register(std::move(image));
    return RegisterXObjectChecked(registered, name);
}

TPdfStream* TPdfDoc::RegisterXObject(std::unique_ptr<TPdfStream> object, std::string_view name) {
    if (!object) {
        throw EPdfInvalidValue("RegisterXObject --AObject is null");
    }
    if (TPdfDictionary::TypeOf(object->Attributes()) != "XObject") {
        throw EPdfInvalidValue("RegisterXObject --not XObject");
    }
    if (!hasDoc_) {
        throw EPdfInvalidOperation("AddImage --document is null.");
    }
    TPdfStream* registered = xref_->Register(std::move(object));
    return RegisterXObjectChecked(registered, name);
}

TPdfStream* TPdfDoc::RegisterXObjectChecked(TPdfStream* object, std::string_view name) {
    if (object->Attributes().NameByKey("Name") != nullptr) {
        return object;
    }
    if (FindXObject(name) != nullptr) {
        throw EPdfInvalidValue("RegisterXObject --dupulicate name: " + std::string(name));
    }
    xobjectList_->AddItem(object);
    object->Attributes().AddItem("Name", TPdfName::Create(name));
    return object;
}

TPdfDestination& TPdfDoc::CreateDestination() {
    destinations_.push_back(std::make_unique<TPdfDestination>(*this));
    return *destinations_.back();
}

TPdfOutlineEntry& TPdfDoc::AdoptOutlineEntry(std::unique_ptr<TPdfOutlineEntry> entry) {
    objectList_.push_back(std::move(entry));
    return static_cast<TPdfOutlineEntry&>(*objectList_.back());
}

void TPdfDoc::SaveToStream(TPdfOutputStream& stream) {
    if (!hasDoc_) {
        throw EPdfInvalidOperation("SaveToStream --there is no document to save.");
    }
    if (!canvas_->HasPage()) {
        throw EPdfInvalidOperation("La page est vide");
    }
    info_->SetModDate();
    root_->SaveOpenAction();
    if (useOutlines_ && outlineRoot_ != nullptr) {
        outlineRoot_->Save();
    }

    stream.Rewind();
    header_->WriteToStream(stream);
    const int count = xref_->EntryCount();
    for (int i = 1; i < count; ++i) {
        TPdfXrefEntry& entry = xref_->Items(i);
        const std::int64_t offset = stream.Position();
        // The table's offset field has ten digits; a longer one would make a corrupt file.
        if (offset > kPdfMaxXrefOffset) {
            throw EPdfException("SaveToStream --file too large: object " + std::to_string(i) +
                                " starts beyond byte 9999999999.");
        }
        entry.Value()->WriteIndirectTo(stream);
        entry.SetByteOffset(offset);
    }
    trailer_->SetXrefAddress(stream.Position());
    xref_->WriteTable(stream);
    trailer_->Attributes().NumberByKey("Size")->SetValue(count);
    trailer_->WriteToStream(stream);
}
