// The value kinds, their bytes in the file, the text helpers and the byte sinks.
#include "pdf/PdfTypes.h"
#include "tests/pdf/PdfTestUtil.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <locale>

using pdftest::Written;

namespace {

// A tiny object manager for the container tests (the real one is the document's table).
class TestMgr : public TPdfObjectMgr {
public:
    TPdfObject* AddObject(std::unique_ptr<TPdfObject> object) override {
        objects.push_back(std::move(object));
        objects.back()->SetObjectNumber(static_cast<int>(objects.size()));
        return objects.back().get();
    }
    TPdfObject* GetObject(int number) const override {
        return number >= 1 && number <= static_cast<int>(objects.size())
                   ? objects[static_cast<std::size_t>(number - 1)].get()
                   : nullptr;
    }
    std::vector<std::unique_ptr<TPdfObject>> objects;
};

} // namespace

TEST(PdfValues, ScalarsWriteTheirExactBytes) {
    struct Case {
        std::unique_ptr<TPdfObject> object;
        std::string bytes;
    };
    Case cases[] = {
        {TPdfNull::Create(), "null"},
        {TPdfBoolean::Create(true), "true"},
        {TPdfBoolean::Create(false), "false"},
        {TPdfNumber::Create(0), "0"},
        {TPdfNumber::Create(-1), "-1"},
        {TPdfNumber::Create(842), "842"},
        {TPdfNumber::Create(std::numeric_limits<std::int32_t>::min()), "-2147483648"},
        {TPdfReal::Create(1), "1"},
        {TPdfReal::Create(1.5), "1.5"},
        {TPdfReal::Create(1.0 / 3.0), "0.333333333333333"},
        {TPdfReal::Create(-0.25), "-0.25"},
        {TPdfReal::Create(-0.0), "0"},
        // PDF numbers have no exponent; beyond 10 decimals a value is 0.
        {TPdfReal::Create(1e20), "100000000000000000000"},
        {TPdfReal::Create(-1.23456789012345e17), "-123456789012345000"},
        {TPdfReal::Create(1.5e-7), "0.00000015"},
        {TPdfReal::Create(-2.5e-5), "-0.000025"},
        {TPdfReal::Create(-1e-12), "0"},
        {TPdfText::Create(""), "()"},
        {TPdfText::Create("a(b)c\\d"), "(a\\(b\\)c\\\\d)"},
        {TPdfText::Create("\r\n"), "(\\r\\n)"},
        {TPdfText::Create("\t\b\f\x01\xE9"), "(\\t\\b\\f\x01\xE9)"},
        {TPdfName::Create(""), "/"},
        {TPdfName::Create("Type"), "/Type"},
        {TPdfName::Create("A B"), "/A#20B"},
        {TPdfName::Create("\xE9t\xE9"), "/#E9t#E9"},
        {TPdfName::Create("#%()/<>[]{}"), "/#23#25#28#29#2F#3C#3E#5B#5D#7B#7D"},
        {TPdfName::Create("!~\x7F"), "/!~#7F"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(Written(*c.object), c.bytes);
    }
}

namespace {

struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

void ExpectPointSeparators() {
    auto real = TPdfReal::Create(1.5);
    EXPECT_EQ(Written(*real), "1.5");
    EXPECT_EQ(FormatPdfNumber(0.5), "0.5");
    EXPECT_EQ(FormatPdfNumber(-12.25), "-12.25");
}

} // namespace

TEST(PdfValues, RealsIgnoreTheDecimalSeparatorOfTheLocale) {
    // A C++ global locale with a decimal comma...
    const std::locale savedGlobal =
        std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    ExpectPointSeparators();
    std::locale::global(savedGlobal);
    // ...and a C locale with one, where the system has such a locale.
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* name : {"fr_FR.UTF-8", "fr_FR.utf8", "de_DE.UTF-8", "fr_FR"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            ExpectPointSeparators();
            break;
        }
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(PdfValues, WhatPdfCannotHoldIsRefused) {
    for (double value :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity(), 1e39, -1e300}) {
        EXPECT_THROW(Written(*TPdfReal::Create(value)), EPdfInvalidValue) << value;
        EXPECT_THROW(FormatPdfNumber(value), EPdfInvalidValue) << value;
    }
    EXPECT_THROW(Written(*TPdfName::Create(std::string("A\0B", 3))), EPdfInvalidValue);
}

TEST(PdfValues, ArraysAndDictionaries) {
    TPdfArray empty;
    EXPECT_EQ(Written(empty), "[]");
    auto box = TPdfArray::CreateNumArray(nullptr, {0, 0, 596, 842});
    EXPECT_EQ(Written(*box), "[0 0 596 842 ]");

    TPdfDictionary dict;
    EXPECT_EQ(Written(dict), "<<\r\n>>");
    dict.AddItem("Type", TPdfName::Create("Page"));
    dict.AddHiddenItem("_Font", TPdfName::Create("Arial"));
    dict.AddItem("Kids", TPdfArray::Create(nullptr));
    EXPECT_EQ(Written(dict), "<<\r\n/Type /Page\r\n/Kids []\r\n>>");
    // Hidden items are found like the others.
    ASSERT_NE(dict.NameByKey("_Font"), nullptr);
    EXPECT_EQ(dict.NameByKey("_Font")->Value(), "Arial");
    EXPECT_EQ(TPdfDictionary::TypeOf(dict), "Page");
    EXPECT_EQ(TPdfDictionary::TypeOf(TPdfDictionary()), "");
    // Keys are byte-exact.
    EXPECT_EQ(dict.ValueByKey("type"), nullptr);
    // The wrong kind is no value rather than a bad cast.
    EXPECT_EQ(dict.NumberByKey("Type"), nullptr);
}

TEST(PdfValues, ReAddingAKeyReplacesItAndMovesItToTheEnd) {
    TPdfDictionary dict;
    dict.AddItem("A", TPdfNumber::Create(1));
    dict.AddItem("B", TPdfNumber::Create(2));
    dict.AddItem("A", TPdfNumber::Create(3));
    EXPECT_EQ(Written(dict), "<<\r\n/B 2\r\n/A 3\r\n>>");
    dict.RemoveItem("B");
    dict.RemoveItem("missing");
    EXPECT_EQ(Written(dict), "<<\r\n/A 3\r\n>>");
}

TEST(PdfValues, IndirectObjectsAreHeldThroughProxies) {
    TestMgr mgr;
    TPdfDictionary* target = mgr.Register(std::make_unique<TPdfDictionary>(&mgr));
    ASSERT_EQ(target->ObjectNumber(), 1);
    EXPECT_EQ(target->ObjectType(), otIndirect);

    TPdfDictionary dict(&mgr);
    dict.AddItem("Parent", target);
    dict.AddItem("Parent", target);
    EXPECT_EQ(dict.ElementCount(), 1);
    EXPECT_EQ(Written(dict), "<<\r\n/Parent 1 0 R\r\n>>");
    EXPECT_EQ(dict.ValueByKey("Parent"), target);
    EXPECT_EQ(dict.Elements(0).Value()->ObjectType(), otVirtual);

    // Without a manager a proxy cannot be followed.
    TPdfDictionary orphan(nullptr);
    orphan.AddItem("Parent", target);
    EXPECT_EQ(orphan.ValueByKey("Parent"), nullptr);
    EXPECT_EQ(Written(orphan), "<<\r\n/Parent 1 0 R\r\n>>");

    TPdfArray array(&mgr);
    array.AddItem(target);
    array.AddItem(TPdfName::Create("XYZ"));
    EXPECT_EQ(Written(array), "[1 0 R /XYZ ]");
    EXPECT_EQ(array.Items(0), target);
    EXPECT_EQ(TPdfArray(nullptr).FindName("XYZ"), nullptr);
    ASSERT_NE(array.FindName("XYZ"), nullptr);
    EXPECT_EQ(array.FindName("xyz"), nullptr);
    TPdfArray noMgr(nullptr);
    noMgr.AddItem(target);
    EXPECT_EQ(noMgr.Items(0), nullptr);

    // The indirect definition and the reference.
    TPdfStringStream out;
    target->WriteIndirectTo(out);
    EXPECT_EQ(out.Bytes(), "1 0 obj\r\n<<\r\n>>\r\nendobj\r\n");
    TPdfStringStream reference;
    target->WriteTo(reference);
    EXPECT_EQ(reference.Bytes(), "1 0 R");
}

TEST(PdfValues, MisuseIsRefusedWithItsMessage) {
    TPdfNumber direct(5);
    TPdfStringStream out;
    try {
        direct.WriteIndirectTo(out);
        FAIL();
    } catch (const EPdfInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "internal error wrong object type");
    }
    try {
        TPdfVirtualObject::Create();
        FAIL();
    } catch (const EPdfException& e) {
        EXPECT_STREQ(e.what(), "virtualObject must be create by CreateVirtual method.");
    }
    try {
        TPdfDictionaryElement::Create("Key", nullptr);
        FAIL();
    } catch (const EPdfInvalidValue& e) {
        EXPECT_STREQ(e.what(), "internal error. wrong object.");
    }
    // A refused value leaves the old one in place.
    TPdfDictionary dict;
    dict.AddItem("Key", TPdfNumber::Create(1));
    EXPECT_THROW(dict.AddItem("Key", std::unique_ptr<TPdfObject>()), EPdfInvalidValue);
    ASSERT_NE(dict.NumberByKey("Key"), nullptr);
    // A direct object owned elsewhere cannot be shared by reference.
    EXPECT_THROW(dict.AddItem("Other", &direct), EPdfInvalidOperation);
    TPdfArray array;
    EXPECT_THROW(array.AddItem(&direct), EPdfInvalidOperation);

    auto proxy = TPdfVirtualObject::CreateVirtual(7);
    EXPECT_EQ(proxy->ObjectType(), otVirtual);
    EXPECT_EQ(Written(*proxy), "7 0 R");
}

namespace {

// Splits a written stream into its dictionary bytes and its data.
void SplitStream(const std::string& bytes, std::string* dict, std::string* data) {
    const std::size_t begin = bytes.find("\r\nstream\r\n");
    ASSERT_NE(begin, std::string::npos);
    ASSERT_GE(bytes.size(), begin + 10 + 10);
    ASSERT_EQ(bytes.substr(bytes.size() - 10), "\nendstream");
    *dict = bytes.substr(0, begin);
    *data = bytes.substr(begin + 10, bytes.size() - 10 - begin - 10);
}

} // namespace

TEST(PdfStreams, WithoutFilterTheDataIsWrittenRaw) {
    TPdfStream stream(nullptr);
    stream.Data() = "hello";
    EXPECT_EQ(Written(stream), "<<\r\n/Length 5\r\n/Filter []\r\n>>\r\nstream\r\nhello\nendstream");
}

TEST(PdfStreams, FlateDataIsCompressedAtLevelNineAndCanBeWrittenAgain) {
    for (const std::string& content :
         {std::string(), std::string("/F0 10 Tf\nq\n600 0 0 800 0 0 cm\n/PRImage1 Do\nQ\n"),
          std::string(100000, '\xAB')}) {
        TPdfStream stream(nullptr);
        stream.Data() = content;
        stream.Attributes().ArrayByKey("Filter")->AddItem(TPdfName::Create("FlateDecode"));
        const std::string first = Written(stream);
        std::string dict;
        std::string data;
        SplitStream(first, &dict, &data);
        EXPECT_EQ(dict, "<<\r\n/Length " + std::to_string(data.size()) +
                            "\r\n/Filter [/FlateDecode ]\r\n>>");
        // zlib format, best compression: header 78 DA, even for no data at all.
        ASSERT_GE(data.size(), 8u);
        EXPECT_EQ(static_cast<unsigned char>(data[0]), 0x78);
        EXPECT_EQ(static_cast<unsigned char>(data[1]), 0xDA);
        EXPECT_EQ(pdftest::Inflate(data), content);
        EXPECT_EQ(stream.Data(), content);
        EXPECT_EQ(Written(stream), first);
    }
}

TEST(PdfHelpers, NumbersOfPageContentHaveTwoDecimalsAtMost) {
    const std::pair<double, std::string> cases[] = {
        {596, "596"},      {0.5, "0.5"},        {12.25, "12.25"},
        {1.234, "1.23"},   {1.235, "1.24"},     {841.999, "842"},
        {0.004, "0"},      {100.456, "100.46"}, {-200, "-200"},
        {-1.234, "-1.23"}, {-1.235, "-1.24"},   {-0.004, "0"},
        {-0.005, "-0.01"}, {-841.999, "-842"},  {-100.456, "-100.46"},
        {0, "0"},          {1e9, "1000000000"}, {-1e20, "-100000000000000000000"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(FormatPdfNumber(value), text) << value;
    }
}

TEST(PdfHelpers, Dates) {
    EXPECT_EQ(FormatPdfDate(pdftest::FixedClock()), "D:20161019181038");
    std::tm early{};
    early.tm_year = 2001 - 1900;
    early.tm_mon = 0;
    early.tm_mday = 2;
    early.tm_hour = 3;
    early.tm_min = 4;
    early.tm_sec = 5;
    EXPECT_EQ(FormatPdfDate([early] { return early; }), "D:20010102030405");
    // Without a clock: the local time, same shape.
    const std::string now = FormatPdfDate();
    EXPECT_EQ(now.size(), 16u);
    EXPECT_EQ(now.rfind("D:20", 0), 0u);
}

TEST(PdfHelpers, TextHelpers) {
    EXPECT_EQ(EscapeText("a(b)c\\d\r\n\t\b\f"), "a\\(b\\)c\\\\d\\r\\n\\t\\b\\f");
    EXPECT_EQ(EscapeName("A B#"), "A#20B#23");
    EXPECT_EQ(AnsiToHex("en\xE9"), "656EE9");
    EXPECT_EQ(UnicodePrefix(), "FEFF001B656E001B");
    // Windows-1252 to UTF-16, big-endian, up to the first NUL.
    EXPECT_EQ(TextToUnicodeHex("A\xE9\x80\x9C"), "004100E920AC0153");
    EXPECT_EQ(TextToUnicodeHex(std::string("ab\0cd", 5)), "00610062");
    TPdfStringStream out;
    WritePdfString("%PDF", out);
    EXPECT_EQ(out.Bytes(), "%PDF");
}

TEST(PdfHelpers, Utf8TextsBecomeWindows1252Bytes) {
    EXPECT_EQ(Utf8ToWinAnsi("Numérisé"), "Num\xE9ris\xE9");
    EXPECT_EQ(Utf8ToWinAnsi("€ Œuvre — “ok”"), "\x80 \x8Cuvre \x97 \x93ok\x94");
    // Not in the code page, broken sequences, overlong forms and surrogates: one "?" each.
    EXPECT_EQ(Utf8ToWinAnsi("日本"), "??");
    EXPECT_EQ(Utf8ToWinAnsi("a\xC3"), "a?");
    EXPECT_EQ(Utf8ToWinAnsi("\xC0\xAF"), "??");
    EXPECT_EQ(Utf8ToWinAnsi("\xED\xA0\x80"), "???");
    EXPECT_EQ(Utf8ToWinAnsi("😀x"), "?x");
    EXPECT_EQ(WinAnsiToUtf8("Num\xE9ris\xE9 \x80"), "Numérisé €");
    EXPECT_EQ(Written(*TPdfText::FromUtf8("Résumé (1)")), "(R\xE9sum\xE9 \\(1\\))");
    // Every byte survives the round trip.
    std::string all;
    for (int b = 1; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    EXPECT_EQ(Utf8ToWinAnsi(WinAnsiToUtf8(all)), all);
}

TEST(PdfSinks, PositionsAndRewind) {
    TPdfStringStream text;
    text.Write("abc");
    text.Write("de", 2);
    EXPECT_EQ(text.Position(), 5);
    text.Rewind();
    text.Write("x");
    EXPECT_EQ(text.Bytes(), "x");

    TPdfCountingStream counter;
    counter.Write(std::string(1000, 'a'));
    EXPECT_EQ(counter.Position(), 1000);
    counter.Rewind();
    EXPECT_EQ(counter.Position(), 0);

    const std::string path = pdftest::TempPath("sink.bin");
    {
        TPdfFileStream file(path);
        file.Write("a longer first write");
        file.Rewind();
        file.Write("short");
        EXPECT_EQ(file.Position(), 5);
        file.Close();
    }
    // Nothing of the first write is left behind the second.
    EXPECT_EQ(pdftest::ReadFile(path), "short");
}

TEST(PdfSinks, AFileThatCannotBeCreatedIsAClearFailure) {
    try {
        TPdfFileStream file("/nonexistent-folder/x.pdf");
        FAIL();
    } catch (const EPdfException& e) {
        EXPECT_NE(std::string(e.what()).find("Impossible de créer le fichier "
                                             "\"/nonexistent-folder/x.pdf\""),
                  std::string::npos)
            << e.what();
    }
    if (std::FILE* full = std::fopen("/dev/full", "wb")) {
        std::fclose(full);
        TPdfFileStream file("/dev/full");
        // The failure shows at the latest when the buffered bytes are flushed.
        EXPECT_THROW(
            {
                file.Write(std::string(1 << 20, 'x'));
                file.Close();
            },
            EPdfException);
    }
}
