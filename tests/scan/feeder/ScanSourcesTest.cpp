// The drivers' source names sorted into the window's three sources, one row per name seen in
// the field, and what a driver's whole list offers.
#include "scan/ScanSources.h"

#include <gtest/gtest.h>

using velorix::scan::ClassifySource;
using velorix::scan::OfferedSources;
using velorix::scan::SourceKind;

namespace {

struct Row {
    const char* name;
    std::optional<SourceKind> kind;
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
    return out << '"' << row.name << '"';
}

class SourceNames : public ::testing::TestWithParam<Row> {};

constexpr auto Flatbed = SourceKind::Flatbed;
constexpr auto Feeder = SourceKind::Feeder;
constexpr auto Duplex = SourceKind::Duplex;

const Row kRows[] = {
    {"Flatbed", Flatbed},
    {"FlatBed", Flatbed},
    {"Normal", Flatbed},
    {"Document Table", Flatbed},
    {"ADF", Feeder},
    {"ADF Front", Feeder},
    {"Automatic Document Feeder", Feeder},
    {"Automatic Document Feeder(left aligned)", Feeder},
    {"Automatic Document Feeder(centrally aligned)", Feeder},
    {"ADF Simplex", Feeder},
    {"Feeder", Feeder},
    {"ADF Duplex", Duplex},
    {"Duplex", Duplex},
    {"ADF Back", Duplex},
    {"Automatic Document Feeder(left aligned,Duplex)", Duplex},
    {"Automatic Document Feeder(centrally aligned,Duplex)", Duplex},
    {"ADF - Duplex", Duplex},
    {"ADF (Duplex)", Duplex},
    {"Duplex ADF", Duplex},
    // Case and spacing free.
    {"  flat bed ", Flatbed},
    {"DOCUMENT  TABLE", Flatbed},
    {"adf-duplex", Duplex},
    {"automatic document feeder", Feeder},
    // No paper source: not offered at all.
    {"Transparency Unit", std::nullopt},
    {"Positive Film", std::nullopt},
    {"TPU8x10", std::nullopt},
    {"", std::nullopt},
    {"Camera", std::nullopt},
};

TEST_P(SourceNames, SortedByWords) {
    EXPECT_EQ(ClassifySource(GetParam().name), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(Drivers, SourceNames, ::testing::ValuesIn(kRows));

std::string Offered(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& s : OfferedSources(names))
        out += std::string(velorix::scan::SourceCaption(s.kind)) + "=" + s.driverName + ";";
    return out;
}

TEST(OfferedSources, OneOfEachKindInTheWindowsOrder) {
    // The driver's order does not matter; the window's does.
    EXPECT_EQ(Offered({"ADF Duplex", "ADF Front", "Flatbed", "ADF Back"}),
              "Vitre=Flatbed;Chargeur=ADF Front;Chargeur recto-verso=ADF Duplex;");
    // Two names of a kind: the driver's first.
    EXPECT_EQ(Offered({"Automatic Document Feeder(left aligned)",
                       "Automatic Document Feeder(centrally aligned)"}),
              "Chargeur=Automatic Document Feeder(left aligned);");
    // A back-only source alone would lose every front: no both-sides choice from it.
    EXPECT_EQ(Offered({"ADF Front", "ADF Back"}), "Chargeur=ADF Front;");
    EXPECT_EQ(Offered({"Flatbed", "Transparency Unit"}), "Vitre=Flatbed;");
    EXPECT_EQ(Offered({}), "");
}

TEST(PaperFormats, CaptionsWordsAndSizes) {
    using velorix::scan::PaperFromCaption;
    using velorix::scan::PaperFromWord;
    using velorix::scan::PaperSize;
    const auto& formats = velorix::scan::PaperFormats();
    ASSERT_EQ(formats.size(), 5u);
    EXPECT_STREQ(formats.back().caption, "Vitre entière");
    EXPECT_EQ(PaperFromCaption("Légal US"), PaperSize::Legal);
    EXPECT_EQ(PaperFromWord("letter"), PaperSize::Letter);
    EXPECT_EQ(PaperFromWord("A4"), std::nullopt);
    EXPECT_DOUBLE_EQ(velorix::scan::Paper(PaperSize::A5).heightMm, 210.0);
    EXPECT_EQ(velorix::scan::SourceFromWord("duplex"), SourceKind::Duplex);
    EXPECT_EQ(velorix::scan::SourceFromCaption("Chargeur"), SourceKind::Feeder);
}

} // namespace
