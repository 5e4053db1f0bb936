// The standard fonts and the page canvas: widths, font objects, text state and drawing operators.
#include "pdf/PdfFonts.h"
#include "pdf/PdfDoc.h"
#include "tests/pdf/PdfTestUtil.h"

#include <gtest/gtest.h>

#include <functional>

using pdftest::Message;
using pdftest::Written;

namespace {

std::unique_ptr<TPdfDoc> DocWithPage() {
    auto doc = std::make_unique<TPdfDoc>();
    doc->SetClock(pdftest::FixedClock());
    doc->NewDocument();
    doc->AddPage();
    return doc;
}

std::string Content(TPdfDoc& doc) {
    return doc.Canvas().Contents()->Data();
}

std::unique_ptr<TPdfImage> Image() {
    auto image = std::make_unique<TPdfImage>(nullptr);
    image->Attributes().AddItem("Type", TPdfName::Create("XObject"));
    image->Attributes().AddItem("Subtype", TPdfName::Create("Image"));
    return image;
}

} // namespace

TEST(PdfFonts, TwelveRegisteredNamesAndTheirBaseFonts) {
    const std::pair<const char*, const char*> fonts[] = {
        {"FixedWidth", "Courier"},
        {"FixedWidth-Bold", "Courier-Bold"},
        {"FixedWidth-Italic", "Courier-Oblique"},
        {"FixedWidth-BoldItalic", "Courier-BoldOblique"},
        {"Arial", "Helvetica"},
        {"Arial-Bold", "Helvetica-Bold"},
        {"Arial-Italic", "Helvetica-Oblique"},
        {"Arial-BoldItalic", "Helvetica-BoldOblique"},
        {"Times-Roman", "Times-Roman"},
        {"Times-Bold", "Times-Bold"},
        {"Times-Italic", "Times-Italic"},
        {"Times-BoldItalic", "Times-BoldItalic"},
    };
    ASSERT_EQ(RegisteredPdfFontNames().size(), 12u);
    auto doc = DocWithPage(); // has made "Arial" as F0
    int index = 1;
    for (const auto& [name, base] : fonts) {
        TPdfFont& font = doc->GetFont(name);
        EXPECT_EQ(&doc->GetFont(name), &font) << "made once per document";
        EXPECT_EQ(font.Name(), name);
        const std::string resource =
            name == std::string("Arial") ? "F0" : "F" + std::to_string(index++);
        TPdfStringStream out;
        font.Data()->WriteBody(out);
        EXPECT_EQ(out.Bytes(), std::string("<<\r\n/Type /Font\r\n/Subtype /Type1\r\n"
                                           "/Encoding /WinAnsiEncoding\r\n/FirstChar 32\r\n"
                                           "/LastChar 255\r\n/BaseFont /") +
                                   base + "\r\n/Name /" + resource + "\r\n>>");
    }
    TPdfXref xref;
    EXPECT_EQ(CreatePdfFontByName("Helvetica", xref), nullptr);
}

TEST(PdfFonts, WidthTables) {
    TPdfXref xref;
    auto width = [&](const char* font, int code) {
        auto f = CreatePdfFontByName(font, xref);
        return f->GetCharWidth(std::string(1, static_cast<char>(code)), 1);
    };
    const std::tuple<const char*, int, int> rows[] = {
        {"Arial", 0x20, 278},
        {"Arial", 0x21, 278},
        {"Arial", 0x22, 355},
        {"Arial", 0x41, 667},
        {"Arial", 0x61, 556},
        {"Arial", 0x80, 556},
        {"Arial", 0x85, 1000},
        {"Arial", 0xE9, 556},
        {"Arial-Bold", 0x21, 333},
        {"Arial-Bold", 0x22, 474},
        {"Arial-Bold", 0x41, 722},
        {"Times-Roman", 0x20, 250},
        {"Times-Roman", 0x21, 333},
        {"Times-Roman", 0x22, 408},
        {"Times-Roman", 0x41, 722},
        {"Times-Bold", 0x22, 555},
        {"Times-Bold", 0x25, 1000},
        {"Times-Italic", 0x41, 611},
        {"FixedWidth", 0x41, 600},
        {"FixedWidth-Bold", 0xFF, 600},
        // Below the first code: no width.
        {"Arial", 0x1F, 0},
    };
    for (const auto& [font, code, expected] : rows) {
        EXPECT_EQ(width(font, code), expected) << font << " " << code;
    }
    for (const char* font : {"Arial", "Arial-Bold", "Arial-Italic", "Arial-BoldItalic",
                             "Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic"}) {
        for (int code : {0x7F, 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0xA0, 0xAD}) {
            EXPECT_EQ(width(font, code), 0) << font << " " << code;
        }
        // Every other code of the range has a glyph.
        for (int code = 0x20; code <= 0xFF; ++code) {
            if (code != 0x7F && code != 0x81 && code != 0x8D && code != 0x8F && code != 0x90 &&
                code != 0x9D && code != 0xA0 && code != 0xAD) {
                EXPECT_GT(width(font, code), 0) << font << " " << code;
            }
        }
    }
    auto arial = CreatePdfFontByName("Arial", xref);
    EXPECT_EQ(arial->GetCharWidth(Utf8ToWinAnsi("é"), 1), 556);
    EXPECT_EQ(arial->GetCharWidth("Ab", 2), 556);
    EXPECT_EQ(arial->GetCharWidth("Ab", 3), 0);
    EXPECT_EQ(arial->GetCharWidth("Ab", 0), 0);
}

TEST(PdfCanvas, TextStateRanges) {
    TPdfCanvasAttribute attr;
    attr.SetFontSize(300);
    EXPECT_EQ(attr.FontSize(), 300.0f);
    const std::pair<std::function<void()>, const char*> refused[] = {
        {[&] { attr.SetFontSize(300.5f); }, "SetCharSpace --invalid font size"},
        {[&] { attr.SetFontSize(-1); }, "SetCharSpace --invalid font size"},
        {[&] { attr.SetHorizontalScaling(9); }, "SetHorizontalScaling --invalid font size"},
        {[&] { attr.SetHorizontalScaling(301); }, "SetHorizontalScaling --invalid font size"},
        {[&] { attr.SetWordSpace(-0.5f); }, "SetWordSpace --invalid word space"},
        {[&] { attr.SetCharSpace(-30.5f); }, "SetCharSpace --invalid char space"},
        {[&] { attr.SetCharSpace(300.5f); }, "SetCharSpace --invalid char space"},
        {[&] { attr.SetLeading(-1); }, "SetLeading --invalid font size"},
        {[&] { attr.SetLeading(301); }, "SetLeading --invalid font size"},
    };
    for (const auto& [action, message] : refused) {
        EXPECT_EQ(Message(action), message);
    }
    // Refused values leave the previous ones.
    EXPECT_EQ(attr.FontSize(), 300.0f);
    EXPECT_EQ(attr.HorizontalScaling(), 100);
    attr.SetCharSpace(-30);
    attr.SetHorizontalScaling(10);
    attr.SetLeading(300);
    attr.SetWordSpace(1000);
    EXPECT_EQ(attr.CharSpace(), -30.0f);
    EXPECT_EQ(attr.HorizontalScaling(), 10);
}

TEST(PdfCanvas, FontSelection) {
    auto doc = DocWithPage();
    TPdfCanvas& canvas = doc->Canvas();
    EXPECT_EQ(Content(*doc), "/F0 10 Tf\n");
    canvas.SetFont("Arial", 10);
    EXPECT_EQ(Content(*doc), "/F0 10 Tf\n");
    canvas.SetFont("Times-Bold", 12.5f);
    canvas.SetFont("Arial", 8);
    EXPECT_EQ(Content(*doc), "/F0 10 Tf\n/F1 12.5 Tf\n/F0 8 Tf\n");
    EXPECT_EQ(Written(*canvas.Page().DictionaryByKey("Resources")->DictionaryByKey("Font")),
              "<<\r\n/F0 6 0 R\r\n/F1 7 0 R\r\n>>");
    // A refused size writes nothing and changes nothing.
    EXPECT_EQ(Message([&] { canvas.SetFont("Times-Bold", 400); }),
              "SetCharSpace --invalid font size");
    EXPECT_EQ(Content(*doc), "/F0 10 Tf\n/F1 12.5 Tf\n/F0 8 Tf\n");
    EXPECT_EQ(canvas.Attribute().FontSize(), 8.0f);
    EXPECT_EQ(Message([&] { canvas.SetFont("Wingdings", 10); }),
              "CreateFont --InvalidFontName:Wingdings");
}

TEST(PdfCanvas, EachPageKeepsItsOwnTextState) {
    auto doc = DocWithPage();
    TPdfCanvas& canvas = doc->Canvas();
    TPdfDictionary* first = &canvas.Page();
    canvas.SetFont("Times-Roman", 12);
    canvas.Attribute().SetCharSpace(2);
    doc->AddPage();
    EXPECT_EQ(canvas.Attribute().Font()->Name(), "Arial");
    EXPECT_EQ(canvas.Attribute().CharSpace(), 0.0f);
    EXPECT_EQ(Content(*doc), "/F0 10 Tf\n");
    TPdfDictionary* second = &canvas.Page();

    canvas.SetPage(first);
    EXPECT_EQ(canvas.Attribute().Font()->Name(), "Times-Roman");
    EXPECT_EQ(canvas.Attribute().FontSize(), 12.0f);
    EXPECT_EQ(canvas.Attribute().CharSpace(), 2.0f);
    canvas.SetFont("Times-Roman", 12); // already the state: nothing written
    EXPECT_EQ(Content(*doc), "/F0 10 Tf\n/F1 12 Tf\n");
    canvas.SetPage(second);
    EXPECT_EQ(canvas.Attribute().Font()->Name(), "Arial");
    // The saved state is stored in the pages but never written.
    pdftest::SaveChecked(*doc, "text_state.pdf");
}

TEST(PdfCanvas, DrawingOperators) {
    auto doc = DocWithPage();
    TPdfCanvas& canvas = doc->Canvas();
    doc->AddXObject("PRImage1", Image());
    canvas.WriteString("");
    canvas.DrawXObject(32, 330, 640, 480, "PRImage1");
    EXPECT_EQ(Content(*doc), "/F0 10 Tf\nq\n640 0 0 480 32 330 cm\n/PRImage1 Do\nQ\n");
    canvas.DrawXObject(0, 0, 100.456, -0.004, "PRImage1");
    EXPECT_EQ(Content(*doc).substr(Content(*doc).rfind("q\n")),
              "q\n100.46 0 0 0 0 0 cm\n/PRImage1 Do\nQ\n");
    EXPECT_EQ(Written(*canvas.Page().DictionaryByKey("Resources")->DictionaryByKey("XObject")),
              "<<\r\n/PRImage1 7 0 R\r\n>>");

    canvas.Contents()->Data().clear();
    canvas.DrawXObjectEx(0, -200, 1000, 1000, 0, 0, 600, 800, "PRImage1");
    EXPECT_EQ(Content(*doc), "q\n0 0 600 800 re\nW\nn\n1000 0 0 1000 0 -200 cm\n/PRImage1 Do\nQ\n");

    canvas.Contents()->Data().clear();
    canvas.GSave();
    canvas.Rectangle(1.5, 2, 3, 4);
    canvas.Clip();
    canvas.NewPath();
    canvas.Concat(1, 0, 0, 1, 0, 0);
    canvas.SetFontAndSize("/F0", 10);
    canvas.ExecuteXObject("A B");
    canvas.GRestore();
    EXPECT_EQ(Content(*doc), "q\n1.5 2 3 4 re\nW\nn\n1 0 0 1 0 0 cm\n/F0 10 Tf\n/A#20B Do\nQ\n");

    EXPECT_EQ(Message([&] { canvas.DrawXObject(0, 0, 1, 1, "Missing"); }),
              "DrawXObject --XObject not found: Missing");
    EXPECT_EQ(Message([&] { canvas.DrawXObjectEx(0, 0, 1, 1, 0, 0, 1, 1, "Missing"); }),
              "DrawXObjectEx --XObject not found: Missing");
}

TEST(PdfCanvas, PageSize) {
    auto doc = DocWithPage();
    TPdfCanvas& canvas = doc->Canvas();
    canvas.SetPageHeight(800);
    canvas.SetPageWidth(600);
    EXPECT_EQ(Written(*canvas.Page().ValueByKey("MediaBox")), "[0 0 600 800 ]");
    canvas.Page().RemoveItem("MediaBox");
    EXPECT_EQ(Message([&] { canvas.SetPageWidth(1); }), "Can not change width of this page..");
    EXPECT_EQ(Message([&] { canvas.SetPageHeight(1); }), "Can not change width of this page..");
}
