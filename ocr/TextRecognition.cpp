#include "ocr/TextRecognition.h"

#include "workpool/WorkPool.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#ifdef _OPENMP
#include <omp.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>

namespace ocr {

namespace {

std::atomic<bool> stopped{false};

// Recognition reads pages at this resolution at most: the text of a finer scan is no better
// recognised, only slower and in more memory. Without a known resolution, a picture is brought
// to the pixels of an A3 page at that resolution.
constexpr int kRecognitionDpi = 300;
constexpr double kMostPixels = 3508.0 * 4961.0;

// Asked by Tesseract inside a line's recognition too, once the line is taken apart and before
// its text is read: a cancel then leaves the line, its longest part, undone.
struct TCancel {
    const std::function<bool()>* cancelled;
    bool operator()() const { return stopped.load() || (*cancelled && (*cancelled)()); }
};

bool CancelRecognition(void* data, int) {
    return (*static_cast<const TCancel*>(data))();
}

std::vector<std::string> SplitLanguages(const std::string& languages) {
    std::vector<std::string> result;
    std::istringstream in(languages);
    for (std::string one; std::getline(in, one, '+');)
        if (!one.empty())
            result.push_back(one);
    return result;
}

bool Loads(tesseract::TessBaseAPI& api, const std::string& languages) {
    // Tesseract's own warnings would only repeat what our message says.
    api.SetVariable("debug_file", "/dev/null");
    if (api.Init(nullptr, languages.c_str(), tesseract::OEM_LSTM_ONLY) != 0)
        return false;
    std::vector<std::string> loaded;
    api.GetLoadedLanguagesAsVector(&loaded);
    for (const std::string& wanted : SplitLanguages(languages))
        if (std::find(loaded.begin(), loaded.end(), wanted) == loaded.end())
            return false;
    return true;
}

[[noreturn]] void ThrowMissing(const std::string& languages) {
    std::vector<std::string> missing;
    for (const std::string& one : SplitLanguages(languages)) {
        tesseract::TessBaseAPI probe;
        if (!Loads(probe, one))
            missing.push_back("tesseract-ocr-" + one);
    }
    if (missing.empty()) // every one loads alone: the set as a whole is refused
        throw std::runtime_error("La reconnaissance du texte n'a pas pu démarrer (" + languages +
                                 ").");
    std::string names = missing.front();
    for (std::size_t i = 1; i < missing.size(); ++i)
        names += (i + 1 == missing.size() ? " et " : ", ") + missing[i];
    throw EOcrLanguageMissing(
        std::string("Les données de langue de la reconnaissance du texte manquent : ") +
        (missing.size() == 1 ? "installez le paquet " : "installez les paquets ") + names +
        ". Le PDF est écrit sans texte cherchable.");
}

// A thread's engine is never destroyed: its thread may end while the program ends (a work pool
// stopped by the exit), when Tesseract's own dictionary cache, which the engine gives its
// dictionaries back to, may be gone already. Threads end only when their pool stops.
void KeepForEver(std::unique_ptr<tesseract::TessBaseAPI> engine) {
    // Never freed, so reachable to the leak checker; several pool threads may end at once.
    static auto* mutex = new std::mutex;
    static auto* kept = new std::vector<tesseract::TessBaseAPI*>;
    std::lock_guard lock(*mutex);
    kept->push_back(engine.release());
}

struct TEngineSlot {
    std::unique_ptr<tesseract::TessBaseAPI> engine;
    std::string languages;
    ~TEngineSlot() {
        if (engine != nullptr)
            KeepForEver(std::move(engine));
    }
};

// One engine per thread, kept: loading the language data costs more than a small page.
tesseract::TessBaseAPI& Engine(const std::string& languages) {
    thread_local TEngineSlot slot;
    // A page's lines already run on every worker, one engine each: Tesseract's inner loops keep to
    // their own thread. OpenMP's threads spin between those loops and take the cores from the
    // other lines and the compression (four times the processor time measured). Its loops ask
    // for their thread counts themselves, so only inactive parallel regions keep them serial.
#ifdef _OPENMP
    omp_set_max_active_levels(0);
#endif
    if (slot.engine == nullptr || slot.languages != languages) {
        slot.engine.reset();
        auto made = std::make_unique<tesseract::TessBaseAPI>();
        if (!Loads(*made, languages))
            ThrowMissing(languages);
        slot.engine = std::move(made);
        slot.languages = languages;
    }
    return *slot.engine;
}

} // namespace

void StopAllRecognition() {
    stopped = true;
}

bool LanguagesInstalled(const std::string& languages) {
    try {
        Engine(languages);
        return true;
    } catch (const EOcrLanguageMissing&) {
        return false;
    }
}

namespace {

// A line of text found by the layout analysis, in reading order.
struct TLayoutLine {
    QRect box;
    bool vertical = false;
    bool paragraphEnd = false; // the last line of its paragraph or block
};

// The page's text lines: one pass of the layout analysis over the whole picture.
std::vector<TLayoutLine> TextLines(tesseract::TessBaseAPI& api, const QImage& grey, int dpi) {
    api.SetPageSegMode(tesseract::PSM_AUTO);
    api.SetImage(grey.constBits(), grey.width(), grey.height(), 1,
                 static_cast<int>(grey.bytesPerLine()));
    if (dpi > 0)
        api.SetSourceResolution(dpi);
    std::vector<TLayoutLine> lines;
    const std::unique_ptr<tesseract::PageIterator> it(api.AnalyseLayout());
    if (it != nullptr && !it->Empty(tesseract::RIL_TEXTLINE)) {
        do {
            if (!PTIsTextType(it->BlockType()))
                continue; // pictures and rules
            int left = 0, top = 0, right = 0, bottom = 0;
            if (!it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom) ||
                right <= left || bottom <= top)
                continue;
            lines.push_back({QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)),
                             it->BlockType() == tesseract::PT_VERTICAL_TEXT,
                             it->IsAtFinalElement(tesseract::RIL_PARA, tesseract::RIL_TEXTLINE)});
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    api.Clear();
    return lines;
}

// The words of one line, recognised from its own small picture by this thread's engine.
std::vector<TOcrWord> LineWords(const QImage& grey, const TLayoutLine& line, int dpi,
                                const std::string& languages, const TCancel& cancel) {
    // A little room around the ink, less than the gap to the next line.
    const int pad = 2 + std::min(line.box.width(), line.box.height()) / 10;
    const QRect area = line.box.adjusted(-pad, -pad, pad, pad).intersected(grey.rect());
    const QImage piece = grey.copy(area);
    tesseract::TessBaseAPI& api = Engine(languages);
    api.SetPageSegMode(line.vertical ? tesseract::PSM_SINGLE_BLOCK_VERT_TEXT
                                     : tesseract::PSM_SINGLE_LINE);
    api.SetImage(piece.constBits(), piece.width(), piece.height(), 1,
                 static_cast<int>(piece.bytesPerLine()));
    if (dpi > 0)
        api.SetSourceResolution(dpi);
    std::vector<TOcrWord> words;
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = CancelRecognition;
    monitor.cancel_this = const_cast<TCancel*>(&cancel);
    const int failed = api.Recognize(&monitor);
    if (cancel()) {
        api.Clear();
        throw TOcrCancelled{};
    }
    if (failed != 0) {
        api.Clear();
        throw std::runtime_error("La reconnaissance du texte a échoué.");
    }
    const std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (it != nullptr && !it->Empty(tesseract::RIL_WORD)) {
        do {
            const std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
            int left = 0, top = 0, right = 0, bottom = 0;
            if (text == nullptr ||
                !it->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom))
                continue;
            std::string word(text.get());
            word.erase(std::remove_if(word.begin(), word.end(),
                                      [](char c) { return c == ' ' || c == '\n' || c == '\t'; }),
                       word.end());
            if (!word.empty())
                words.push_back(
                    {std::move(word), QRect(QPoint(left, top), QPoint(right - 1, bottom - 1))
                                          .translated(area.topLeft())});
        } while (it->Next(tesseract::RIL_WORD));
    }
    api.Clear();
    return words;
}

} // namespace

TOcrPage RecognizeText(const QImage& picture, const std::function<bool()>& cancelled,
                       const std::string& languages, pdfwork::TWorkPool* helpers) {
    TOcrPage page;
    page.size = picture.size();
    if (picture.isNull())
        return page;
    const TCancel cancel{&cancelled};
    if (cancel())
        throw TOcrCancelled{};
    // A scan says its resolution; otherwise Tesseract estimates it from the text's height.
    int dpi = qRound(picture.dotsPerMeterX() * 0.0254);
    if (dpi < 70 || dpi > 9600)
        dpi = 0;
    // Huge pictures are read at a bounded size; the boxes come back in the picture's pixels.
    double scale = dpi > kRecognitionDpi ? double(kRecognitionDpi) / dpi : 1.0;
    const double pixels = double(picture.width()) * picture.height() * scale * scale;
    if (pixels > kMostPixels)
        scale *= std::sqrt(kMostPixels / pixels);
    QImage grey;
    if (scale < 1.0) {
        // Smooth scaling works in colour: the grey copy is made after it.
        grey = picture
                   .scaled(std::max(1, qRound(picture.width() * scale)),
                           std::max(1, qRound(picture.height() * scale)), Qt::IgnoreAspectRatio,
                           Qt::SmoothTransformation)
                   .convertToFormat(QImage::Format_Grayscale8);
        dpi = qRound(dpi * scale);
    } else {
        grey = picture.convertToFormat(QImage::Format_Grayscale8);
    }
    if (cancel())
        throw TOcrCancelled{};
    const std::vector<TLayoutLine> lines = TextLines(Engine(languages), grey, dpi);
    // The lines go to every idle worker, one at a time, so that a page takes the machine while
    // nothing else waits, and a compression posted meanwhile waits for one line at most.
    std::vector<std::vector<TOcrWord>> found(lines.size());
    const auto line = [&](std::size_t i) {
        if (cancel())
            throw TOcrCancelled{};
        found[i] = LineWords(grey, lines[i], dpi, languages, cancel);
    };
    if (helpers != nullptr) {
        pdfwork::ParallelPieces(*helpers, lines.size(), line);
    } else {
        for (std::size_t i = 0; i < lines.size(); ++i)
            line(i);
    }
    if (cancel())
        throw TOcrCancelled{};
    const double sx = double(picture.width()) / grey.width();
    const double sy = double(picture.height()) / grey.height();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (found[i].empty())
            continue;
        if (grey.size() != picture.size()) {
            for (TOcrWord& word : found[i]) {
                const QRect& b = word.box;
                word.box =
                    QRect(QPoint(int(std::floor(b.left() * sx)), int(std::floor(b.top() * sy))),
                          QPoint(int(std::ceil((b.right() + 1) * sx)) - 1,
                                 int(std::ceil((b.bottom() + 1) * sy)) - 1))
                        .intersected(QRect(QPoint(0, 0), picture.size()));
            }
        }
        found[i].back().lineEnd = true;
        found[i].back().paragraphEnd = lines[i].paragraphEnd;
        std::move(found[i].begin(), found[i].end(), std::back_inserter(page.words));
    }
    return page;
}

} // namespace ocr
