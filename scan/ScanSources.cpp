#include "scan/ScanSources.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace velorix::scan {

namespace {

struct Captioned {
    SourceKind kind;
    const char* caption;
    const char* word;
};

constexpr std::array<Captioned, 3> kSources{{
    {SourceKind::Flatbed, "Vitre", "flatbed"},
    {SourceKind::Feeder, "Chargeur", "feeder"},
    {SourceKind::Duplex, "Chargeur recto-verso", "duplex"},
}};

// A source name cut into lower-case words at anything but letters and digits, and the same
// letters glued together, so that "Flat Bed", "FlatBed" and "flat-bed" read alike.
struct Words {
    std::vector<std::string> words;
    std::string glued;

    explicit Words(std::string_view name) {
        std::string word;
        for (const char c : name) {
            const auto u = static_cast<unsigned char>(c);
            if (std::isalnum(u)) {
                word.push_back(static_cast<char>(std::tolower(u)));
                glued.push_back(static_cast<char>(std::tolower(u)));
            } else if (!word.empty()) {
                words.push_back(std::move(word));
                word.clear();
            }
        }
        if (!word.empty())
            words.push_back(std::move(word));
    }
    // A short word must stand alone (or begin a glued one: "ADFFront"); a long one may be
    // anywhere, glued to others.
    bool HasWord(std::string_view w) const {
        return std::any_of(words.begin(), words.end(),
                           [w](const std::string& x) { return x == w || x.rfind(w, 0) == 0; });
    }
    bool Contains(std::string_view s) const { return glued.find(s) != std::string::npos; }
};

// Both sides; a back-only source also reads backs, with lower standing (see OfferedSources).
bool SaysDuplex(const Words& w) {
    return w.Contains("duplex") || w.Contains("rectoverso");
}
bool SaysBack(const Words& w) {
    return w.HasWord("back") || w.HasWord("verso");
}

} // namespace

const char* SourceCaption(SourceKind kind) {
    for (const Captioned& s : kSources)
        if (s.kind == kind)
            return s.caption;
    return "";
}

std::optional<SourceKind> SourceFromCaption(std::string_view caption) {
    for (const Captioned& s : kSources)
        if (caption == s.caption)
            return s.kind;
    return std::nullopt;
}

std::optional<SourceKind> SourceFromWord(std::string_view word) {
    for (const Captioned& s : kSources)
        if (word == s.word)
            return s.kind;
    return std::nullopt;
}

std::optional<SourceKind> ClassifySource(std::string_view driverName) {
    const Words w(driverName);
    // Film and slide units look through the bed but are no paper source.
    for (const char* other : {"transparency", "film", "negative", "positive", "slide"})
        if (w.Contains(other))
            return std::nullopt;
    if (w.HasWord("tpu") || w.HasWord("tma"))
        return std::nullopt;
    if (SaysDuplex(w) || SaysBack(w))
        return SourceKind::Duplex;
    if (w.HasWord("adf") || w.Contains("feeder") || w.HasWord("simplex") || w.HasWord("front"))
        return SourceKind::Feeder;
    if (w.Contains("flatbed") || w.HasWord("normal") || w.Contains("documenttable") ||
        w.HasWord("platen") || w.HasWord("glass"))
        return SourceKind::Flatbed;
    return std::nullopt;
}

std::vector<OfferedSource> OfferedSources(const std::vector<std::string>& driverNames) {
    std::vector<OfferedSource> offered;
    for (const Captioned& s : kSources) {
        const std::string* chosen = nullptr;
        for (const std::string& name : driverNames) {
            if (ClassifySource(name) != s.kind)
                continue;
            // A back-only source misses every front: never the both-sides choice.
            if (s.kind == SourceKind::Duplex && !SaysDuplex(Words(name)))
                continue;
            chosen = &name;
            break;
        }
        if (chosen)
            offered.push_back({s.kind, *chosen});
    }
    return offered;
}

const std::vector<PaperFormat>& PaperFormats() {
    static const std::vector<PaperFormat> formats{
        {PaperSize::A4, "A4", "a4", 210.0, 297.0},
        {PaperSize::A5, "A5", "a5", 148.0, 210.0},
        {PaperSize::Letter, "Lettre US", "letter", 215.9, 279.4},
        {PaperSize::Legal, "Légal US", "legal", 215.9, 355.6},
        {PaperSize::Bed, "Vitre entière", "bed", 0.0, 0.0},
    };
    return formats;
}

const PaperFormat& Paper(PaperSize size) {
    for (const PaperFormat& f : PaperFormats())
        if (f.size == size)
            return f;
    return PaperFormats().back();
}

std::optional<PaperSize> PaperFromCaption(std::string_view caption) {
    for (const PaperFormat& f : PaperFormats())
        if (caption == f.caption)
            return f.size;
    return std::nullopt;
}

std::optional<PaperSize> PaperFromWord(std::string_view word) {
    for (const PaperFormat& f : PaperFormats())
        if (word == f.word)
            return f.size;
    return std::nullopt;
}

} // namespace velorix::scan
