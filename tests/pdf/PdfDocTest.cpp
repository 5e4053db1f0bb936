// Whole documents: skeleton, pages, information, catalog, destinations, outlines, XObjects, the
// cross-reference table and the trailer.
#include "pdf/PdfDoc.h"
#include "tests/pdf/PdfTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

using pdftest::Message;
using pdftest::Objects;
using pdftest::SaveChecked;
using pdftest::StreamData;
using pdftest::Written;

namespace {

std::unique_ptr<TPdfDoc> NewDoc(bool outlines = false) {
    auto doc = std::make_unique<TPdfDoc>();
    doc->SetClock(pdftest::FixedClock());
    doc->SetUseOutlines(outlines);
    doc->NewDocument();
    return doc;
}

// A minimal image XObject (2 x 1 RGB) that the core can make without Qt.
std::unique_ptr<TPdfImage> TinyImage() {
    auto image = std::make_unique<TPdfImage>(nullptr);
    TPdfDictionary& a = image->Attributes();
    a.AddItem("Type", TPdfName::Create("XObject"));
    a.AddItem("Subtype", TPdfName::Create("Image"));
    a.AddItem("ColorSpace", TPdfName::Create("DeviceRGB"));
    a.AddItem("Width", TPdfNumber::Create(2));
    a.AddItem("Height", TPdfNumber::Create(1));
    a.AddItem("BitsPerComponent", TPdfNumber::Create(8));
    a.ArrayByKey("Filter")->AddItem(TPdfName::Create("FlateDecode"));
    image->Data() = std::string("\x00\x00\xFF\xFF\x00\x00", 6);
    return image;
}

void ExpectGolden(const std::string& pdf, const std::string& name) {
    const char* source = std::getenv("VELORIX_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::string path = std::string(source) + "/tests/pdf/golden/" + name;
    const std::string actual = pdftest::Normalise(pdf);
    if (std::getenv("VELORIX_UPDATE_GOLDEN") != nullptr) {
        pdftest::WriteFile(path, actual);
    }
    EXPECT_EQ(actual, pdftest::ReadFile(path)) << "golden file " << path;
}

} // namespace

TEST(PdfDocument, StatesWithoutADocumentOrAPageAreRefused) {
    TPdfDoc doc;
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { doc.Canvas(); }, "GetCanvas --Document is null"},
        {[&] { doc.Info(); }, "GetInfo --this method can not use this state.."},
        {[&] { doc.Root(); }, "GetRoot --this method can not use this state.."},
        {[&] { doc.OutlineRoot(); }, "GetOutlineRoot --document is null.."},
        {[&] { doc.GetFont("Arial"); }, "GetFont --document is null."},
        {[&] { doc.AddPage(); }, "AddPage --current pages null."},
        {[&] { doc.CreateDestination(); }, "TPdfDestination --cannot destination object."},
        {[&] { doc.AddXObject("PRImage1", TinyImage()); }, "AddImage --document is null."},
        {[&] {
             TPdfStringStream out;
             doc.SaveToStream(out);
         },
         "SaveToStream --there is no document to save."},
    };
    for (const auto& [action, message] : cases) {
        EXPECT_EQ(Message(action), message);
    }
    TPdfCanvas orphan(nullptr);
    EXPECT_EQ(Message([&] { orphan.Document(); }), "ERROR: GetDoc documant is nil.");

    doc.NewDocument();
    EXPECT_EQ(Message([&] { doc.OutlineRoot(); }), "GetOutlineRoot --not use outline mode..");
    EXPECT_EQ(Message([&] { doc.Canvas().Page(); }), "La page est vide");
    EXPECT_EQ(Message([&] { doc.CreateDestination(); }), "La page est vide");
    EXPECT_EQ(Message([&] { doc.CreateFont("Comic"); }), "CreateFont --InvalidFontName:Comic");
    // Only the skeleton: nothing to save.
    TPdfStringStream out;
    EXPECT_EQ(Message([&] { doc.SaveToStream(out); }), "La page est vide");
    EXPECT_EQ(out.Position(), 0);
}

TEST(PdfDocument, SkeletonObjectsAndTrailerOrder) {
    for (bool outlines : {false, true}) {
        auto doc = NewDoc(outlines);
        TPdfXref& xref = *doc->ObjectMgr();
        const int info = outlines ? 3 : 2;
        ASSERT_EQ(xref.EntryCount(), info + 2);
        EXPECT_EQ(Written(*xref.GetObject(1)),
                  outlines ? "<<\r\n/Type /Catalog\r\n/Outlines 2 0 R\r\n/Pages 4 0 R\r\n>>"
                           : "<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n>>");
        EXPECT_EQ(Written(*xref.GetObject(info)), "<<\r\n/Producer (VelorixPdf version 0.9)\r\n"
                                                  "/CreationDate (D:20161019181038)\r\n>>");
        EXPECT_EQ(Written(*xref.GetObject(info + 1)),
                  "<<\r\n/Type /Pages\r\n/Kids []\r\n/Count 0\r\n>>");
        EXPECT_EQ(Written(doc->Trailer()->Attributes()),
                  "<<\r\n/Size 0\r\n/Root 1 0 R\r\n/Info " + std::to_string(info) + " 0 R\r\n>>");
        if (outlines) {
            EXPECT_EQ(Written(*xref.GetObject(2)), "<<\r\n/Type /Outlines\r\n>>");
        }
    }
}

TEST(PdfDocument, OnePageMatchesTheGoldenFile) {
    auto doc = NewDoc();
    doc->AddPage();
    const std::string pdf = SaveChecked(*doc, "one_page.pdf");
    EXPECT_EQ(pdf.rfind("%PDF-1.2 \r\n1 0 obj\r\n", 0), 0u);
    EXPECT_NE(pdf.find("xref\r\n0 7\r\n0000000000 65535 f\r\n0000000011 00000 n\r\n"),
              std::string::npos);
    EXPECT_EQ(StreamData(pdf, 5), "/F0 10 Tf\n");
    ExpectGolden(pdf, "one_page.txt");

    // Saving again gives the same bytes; a reused document object too.
    TPdfStringStream again;
    doc->SaveToStream(again);
    EXPECT_EQ(again.Bytes(), pdf);
    doc->NewDocument();
    doc->AddPage();
    TPdfStringStream reused;
    doc->SaveToStream(reused);
    EXPECT_EQ(reused.Bytes(), pdf);
}

TEST(PdfDocument, SeveralPagesShareOneFontAndKeepTheirOrder) {
    auto doc = NewDoc();
    for (int i = 0; i < 3; ++i) {
        doc->AddPage();
    }
    const std::string pdf = SaveChecked(*doc, "three_pages.pdf");
    const auto objects = Objects(pdf);
    // 1 catalog, 2 info, 3 pages, then page/contents pairs with the font made on the first page.
    EXPECT_EQ(objects.at(3), "<<\r\n/Type /Pages\r\n/Kids [4 0 R 7 0 R 9 0 R ]\r\n/Count 3\r\n>>");
    EXPECT_EQ(objects.at(4), "<<\r\n/Type /Page\r\n/Parent 3 0 R\r\n/MediaBox [0 0 596 842 ]\r\n"
                             "/Resources <<\r\n/Font <<\r\n/F0 6 0 R\r\n>>\r\n/XObject <<\r\n>>\r\n"
                             "/ProcSet [/PDF /Text /ImageC ]\r\n>>\r\n/Contents 5 0 R\r\n>>");
    EXPECT_EQ(objects.at(6),
              "<<\r\n/Type /Font\r\n/Subtype /Type1\r\n/Encoding /WinAnsiEncoding\r\n"
              "/FirstChar 32\r\n/LastChar 255\r\n/BaseFont /Helvetica\r\n"
              "/Name /F0\r\n>>");
    for (int page : {4, 7, 9}) {
        EXPECT_NE(objects.at(page).find("/F0 6 0 R"), std::string::npos);
        EXPECT_EQ(StreamData(pdf, page + 1), "/F0 10 Tf\n");
    }
    EXPECT_EQ(pdf.find("_Font"), std::string::npos);
    EXPECT_EQ(pdf.find("Widths"), std::string::npos);
}

TEST(PdfDocument, InformationSetters) {
    auto doc = NewDoc();
    TPdfInfo& info = doc->Info();
    info.SetAuthor("Élodie");
    info.SetTitle("Relevé (mars)");
    info.SetAuthor("Zoé");
    info.SetSubject("");
    info.SetCreator("c");
    info.SetKeywords("k");
    EXPECT_EQ(Written(*info.Data()), "<<\r\n/Producer (VelorixPdf version 0.9)\r\n"
                                     "/CreationDate (D:20161019181038)\r\n"
                                     "/Title (Relev\xE9 \\(mars\\))\r\n/Author (Zo\xE9)\r\n"
                                     "/Subject ()\r\n/Creator (c)\r\n/Keywords (k)\r\n>>");
    // The dates are the clock's moment whatever is given.
    std::tm later = pdftest::FixedTime();
    later.tm_year = 2030 - 1900;
    doc->SetClock([later] { return later; });
    info.SetModDate(12345.0);
    EXPECT_EQ(info.Data()->TextByKey("ModDate")->Value(), "D:20301019181038");
    doc->AddPage();
    const std::string pdf = SaveChecked(*doc, "info.pdf");
    EXPECT_NE(pdf.find("/ModDate (D:20301019181038)\r\n>>"), std::string::npos);
}

TEST(PdfDocument, CatalogSetters) {
    auto doc = NewDoc();
    TPdfCatalog& catalog = doc->Root();
    catalog.SetPageMode(pmUseThumbs);
    catalog.SetPageLayout(plOneColumn);
    catalog.SetPageMode(pmUseOutlines); // changed in place, not moved
    catalog.SetNonFullScreenPageMode(pmUseThumbs);
    catalog.SetViewerPreference({vpHideToolbar, vpCenterWindow});
    EXPECT_EQ(Written(*catalog.Data()),
              "<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n/PageMode /UseOutlines\r\n"
              "/PageLayout /OneColumn\r\n/ViewerPreferences <<\r\n/NonFullScreenPageMode "
              "/UseThumbs\r\n/HideToolbar true\r\n/CenterWindow true\r\n>>\r\n>>");
    catalog.SetViewerPreference({vpFitWindow});
    catalog.SetNonFullScreenPageMode(pmFullScreen);
    EXPECT_EQ(Written(*catalog.Data()->DictionaryByKey("ViewerPreferences")),
              "<<\r\n/FitWindow true\r\n>>");

    // Full screen or none leaves no key, but the (possibly empty) dictionary stays.
    auto other = NewDoc();
    other->Root().SetNonFullScreenPageMode(pmUseNone);
    other->Root().SetViewerPreference({});
    EXPECT_EQ(Written(*other->Root().Data()->DictionaryByKey("ViewerPreferences")), "<<\r\n>>");
    auto plain = NewDoc();
    plain->Root().SetViewerPreference({});
    EXPECT_EQ(plain->Root().Data()->ValueByKey("ViewerPreferences"), nullptr);

    // Only a page tree root is taken as "Pages".
    TPdfDictionary* notPages = doc->ObjectMgr()->Register(std::make_unique<TPdfDictionary>());
    catalog.SetPages(notPages);
    EXPECT_EQ(catalog.Data()->ValueByKey("Pages"), doc->RootPages());

    doc->AddPage();
    SaveChecked(*doc, "catalog.pdf");
}

TEST(PdfDocument, DestinationAsOpenAction) {
    auto doc = NewDoc();
    doc->AddPage();
    doc->Canvas().SetPageHeight(800);
    TPdfDestination& dest = doc->CreateDestination();
    EXPECT_EQ(dest.PageHeight(), 800);
    dest.SetLeft(-10);
    dest.SetTop(800 - (-10));
    dest.SetZoom(1);
    doc->Root().SetOpenAction(&dest);
    doc->AddPage(); // the destination stays on the first page
    std::string pdf = SaveChecked(*doc, "open_action.pdf");
    EXPECT_NE(pdf.find("/OpenAction [4 0 R /XYZ -1 810 1 ]\r\n>>"), std::string::npos);
    ExpectGolden(pdf, "open_action.txt");
    // Saved twice, one key; unset, none.
    pdf = SaveChecked(*doc, "open_action_again.pdf");
    EXPECT_EQ(pdf.find("/OpenAction"), pdf.rfind("/OpenAction"));
    doc->Root().SetOpenAction(nullptr);
    pdf = SaveChecked(*doc, "open_action_removed.pdf");
    EXPECT_EQ(pdf.find("/OpenAction"), std::string::npos);
}

TEST(PdfDocument, DestinationArraysAndZoomLimits) {
    auto doc = NewDoc();
    doc->AddPage();
    TPdfDestination& dest = doc->CreateDestination();
    EXPECT_EQ(dest.Left(), 0);
    EXPECT_EQ(dest.Zoom(), 1.0f);
    dest.SetLeft(10);
    dest.SetTop(20);
    dest.SetRight(-30);
    dest.SetBottom(40);
    EXPECT_EQ(dest.Right(), -1);
    const std::pair<TPdfDestinationType, const char*> cases[] = {
        {dtXYZ, "[4 0 R /XYZ 10 20 0.1 ]"},
        {dtFit, "[4 0 R /Fit ]"},
        {dtFitH, "[4 0 R /FitH 20 ]"},
        {dtFitV, "[4 0 R /FitV 10 ]"},
        {dtFitR, "[4 0 R /FitR 10 40 null 20 ]"},
        {dtFitB, "[4 0 R /FitB ]"},
        {dtFitBH, "[4 0 R /FitBH 20 ]"},
        {dtFitBV, "[4 0 R /FitBV 10 ]"},
    };
    dest.SetZoom(0.1f);
    for (const auto& [type, bytes] : cases) {
        dest.SetDestinationType(type);
        EXPECT_EQ(Written(*dest.GetValue()), bytes);
    }
    dest.SetZoom(10);
    EXPECT_EQ(dest.Zoom(), 10.0f);
    EXPECT_EQ(Message([&] { dest.SetZoom(10.5f); }), "Zoom property cannot set to over 10.");
    EXPECT_EQ(Message([&] { dest.SetZoom(-0.5f); }), "Zoom property cannot set to under 0.");
    EXPECT_EQ(dest.Zoom(), 10.0f);
    // Without a "MediaBox" the default height counts.
    doc->Canvas().Page().RemoveItem("MediaBox");
    EXPECT_EQ(dest.PageHeight(), 842);
}

TEST(PdfDocument, OutlinesOn) {
    auto doc = NewDoc(true);
    doc->AddPage();
    std::string pdf = SaveChecked(*doc, "outlines.pdf");
    auto objects = Objects(pdf);
    EXPECT_EQ(objects.at(2), "<<\r\n/Type /Outlines\r\n/Count 0\r\n>>");
    EXPECT_EQ(objects.at(1).rfind("<<\r\n/Type /Catalog\r\n/Outlines 2 0 R\r\n/Pages 4 0 R", 0),
              0u);

    EXPECT_EQ(Message([] { TPdfOutlineEntry::CreateEntry(nullptr); }),
              "CreateEntry --invalid parent.");
    // Entries the writer can make for others: linked both ways, readable by qpdf.
    TPdfOutlineEntry& first = doc->OutlineRoot().AddChild();
    first.SetTitle("Première");
    first.SetOpened(true);
    first.SetDest(&doc->CreateDestination());
    TPdfOutlineEntry& second = doc->OutlineRoot().AddChild();
    second.SetTitle("Seconde");
    pdf = SaveChecked(*doc, "outline_entries.pdf");
    objects = Objects(pdf);
    const std::string a = std::to_string(first.Data()->ObjectNumber());
    const std::string b = std::to_string(second.Data()->ObjectNumber());
    EXPECT_EQ(objects.at(2), "<<\r\n/Type /Outlines\r\n/Count 2\r\n/First " + a + " 0 R\r\n/Last " +
                                 b + " 0 R\r\n>>");
    EXPECT_EQ(objects.at(first.Data()->ObjectNumber()),
              "<<\r\n/Count 0\r\n/Title (Premi\xE8re)\r\n/Parent 2 0 R\r\n/Dest [5 0 R /XYZ 0 0 "
              "1 ]\r\n/Next " +
                  b + " 0 R\r\n>>");
    EXPECT_EQ(objects.at(second.Data()->ObjectNumber()),
              "<<\r\n/Count 0\r\n/Title (Seconde)\r\n/Parent 2 0 R\r\n/Prev " + a + " 0 R\r\n>>");
}

TEST(PdfDocument, XObjectRegistration) {
    auto doc = NewDoc();
    doc->AddPage();
    TPdfStream* image = doc->AddXObject("PRImage1", TinyImage());
    EXPECT_EQ(doc->FindXObject("PRImage1"), image);
    EXPECT_EQ(doc->FindXObject("PRImage2"), nullptr);
    EXPECT_EQ(image->Attributes().NameByKey("Name")->Value(), "PRImage1");

    const int entries = doc->ObjectMgr()->EntryCount();
    EXPECT_EQ(Message([&] { doc->AddXObject("PRImage1", TinyImage()); }),
              "AddImage --the image named PRImage1 is already exists..");
    auto notImage = std::make_unique<TPdfStream>(nullptr);
    notImage->Attributes().AddItem("Type", TPdfName::Create("XObject"));
    notImage->Attributes().AddItem("Subtype", TPdfName::Create("Form"));
    EXPECT_EQ(Message([&] { doc->AddXObject("Form1", std::move(notImage)); }),
              "AddImage --the image is not valid TPdfImage..");
    EXPECT_EQ(Message([&] { doc->RegisterXObject(nullptr, "X"); }),
              "RegisterXObject --AObject is null");
    EXPECT_EQ(Message([&] { doc->RegisterXObject(std::make_unique<TPdfStream>(nullptr), "X"); }),
              "RegisterXObject --not XObject");
    // Nothing refused reached the file.
    EXPECT_EQ(doc->ObjectMgr()->EntryCount(), entries);
    EXPECT_EQ(Message([&] { doc->RegisterXObject(TinyImage(), "PRImage1"); }),
              "RegisterXObject --dupulicate name: PRImage1");

    // An XObject reaches a page only when drawn.
    EXPECT_EQ(
        Written(*doc->Canvas().Page().DictionaryByKey("Resources")->DictionaryByKey("XObject")),
        "<<\r\n>>");
}

TEST(PdfDocument, BadXrefUseIsRefused) {
    TPdfXref xref;
    EXPECT_EQ(xref.EntryCount(), 1);
    EXPECT_EQ(xref.Items(0).AsString(), "0000000000 65535 f\r\n");
    TPdfObject* obj = xref.AddObject(TPdfNull::Create());
    EXPECT_EQ(obj->ObjectNumber(), 1);
    EXPECT_EQ(Message([&] { xref.AddObject(TPdfVirtualObject::CreateVirtual(1)); }),
              "AddObject --wrong object type.");
    EXPECT_EQ(Message([&] { xref.AddObject(nullptr); }), "AddObject --wrong object type.");
    EXPECT_EQ(xref.GetObject(0), nullptr);
    EXPECT_EQ(xref.GetObject(2), nullptr);
    xref.Items(1).SetByteOffset(12345678901LL);
    EXPECT_EQ(xref.Items(1).AsString(), "12345678901 00000 n\r\n");
}

namespace {

// Pretends everything after the header lies far into the file, as if huge images came first.
class FarSink : public TPdfOutputStream {
public:
    explicit FarSink(std::int64_t skip) : skip_(skip) {}
    using TPdfOutputStream::Write;
    void Write(const char* data, std::size_t size) override { bytes_.append(data, size); }
    std::int64_t Position() const override {
        const auto real = static_cast<std::int64_t>(bytes_.size());
        return real < 11 ? real : real + skip_;
    }
    void Rewind() override { bytes_.clear(); }
    const std::string& Bytes() const { return bytes_; }

private:
    std::int64_t skip_;
    std::string bytes_;
};

} // namespace

TEST(PdfDocument, OffsetsBeyondFourGigabytesAreWrittenInFull) {
    auto doc = NewDoc();
    doc->AddPage();
    FarSink sink(5'000'000'000LL);
    doc->SaveToStream(sink);
    EXPECT_NE(sink.Bytes().find("0 7\r\n0000000000 65535 f\r\n5000000011 00000 n\r\n"),
              std::string::npos);
    const std::size_t table = sink.Bytes().find("xref\r\n");
    EXPECT_NE(sink.Bytes().find("startxref\r\n" + std::to_string(5'000'000'000LL + table) +
                                "\r\n%%EOF\r\n"),
              std::string::npos);
}

TEST(PdfDocument, AFileTooLargeForTheTableFailsInsteadOfBeingCorrupt) {
    auto doc = NewDoc();
    doc->AddPage();
    // Object 1 still fits (9,999,999,990 + 11), the next ones would not.
    FarSink sink(9'999'999'990LL - 11);
    EXPECT_EQ(Message([&] { doc->SaveToStream(sink); }),
              "SaveToStream --file too large: object 2 starts beyond byte 9999999999.");
    EXPECT_EQ(sink.Bytes().find("xref"), std::string::npos);
    // The document stays usable.
    SaveChecked(*doc, "after_too_large.pdf");
}
