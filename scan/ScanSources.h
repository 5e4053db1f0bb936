#pragma once
// Where a scanner takes its paper from, and which paper sizes the window offers. Drivers name
// their sources as their vendors please ("Flatbed", "ADF Front", "Automatic Document
// Feeder(left aligned,Duplex)"...): every name is sorted here, by its words, into one of three
// kinds, and nowhere else. Plain data, no driver types.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velorix::scan {

// In the order the window offers them.
enum class SourceKind { Flatbed, Feeder, Duplex };

// "Vitre", "Chargeur", "Chargeur recto-verso".
const char* SourceCaption(SourceKind kind);
std::optional<SourceKind> SourceFromCaption(std::string_view caption);
// The command line's words: "flatbed", "feeder", "duplex".
std::optional<SourceKind> SourceFromWord(std::string_view word);

// The kind of a driver's source name, case and spacing free; nothing for sources that are none
// of the three (a transparency unit, a film holder).
std::optional<SourceKind> ClassifySource(std::string_view driverName);

// One source a scanner offers: its kind and the driver's own name for it.
struct OfferedSource {
    SourceKind kind;
    std::string driverName;
};

// The sources a driver's list gives, at most one of each kind, in the window's order. Where a
// driver has several names of one kind, the plainest is kept: for both sides, a name that says
// "duplex" before one that only says "back" (which alone would scan the backs only and is not
// offered as both sides); otherwise the driver's first.
std::vector<OfferedSource> OfferedSources(const std::vector<std::string>& driverNames);

// Feeders scan sheet after sheet until the driver says it is empty.
inline bool IsFeeder(SourceKind kind) {
    return kind != SourceKind::Flatbed;
}

// The window's paper formats. Bed is the whole flatbed (or whatever the feeder's driver does
// by default).
enum class PaperSize { A4, A5, Letter, Legal, Bed };

struct PaperFormat {
    PaperSize size;
    const char* caption; // the window's "Format" entry
    const char* word;    // the command line's --paper word
    double widthMm;      // 0 for the whole bed
    double heightMm;
};

// In the window's order, the whole bed last.
const std::vector<PaperFormat>& PaperFormats();
const PaperFormat& Paper(PaperSize size);
std::optional<PaperSize> PaperFromCaption(std::string_view caption);
std::optional<PaperSize> PaperFromWord(std::string_view word);

} // namespace velorix::scan
