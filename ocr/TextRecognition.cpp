#include "TextRecognition.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#ifdef _OPENMP
#include <omp.h>
#endif

#include <algorithm>
#include <memory>
#include <sstream>

namespace ocr {

namespace {

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

// One engine per thread, kept: loading the language data costs more than a small page.
tesseract::TessBaseAPI& Engine(const std::string& languages) {
    thread_local std::unique_ptr<tesseract::TessBaseAPI> engine;
    thread_local std::string engineLanguages;
    // Tesseract's inner loops ask OpenMP for several threads each; on a loaded machine, and
    // with recognition on a pool thread beside compression, those spin against each other (ten
    // times slower measured). Dynamic adjustment lets OpenMP give fewer when the cores are busy.
#ifdef _OPENMP
    omp_set_dynamic(1);
#endif
    if (engine == nullptr || engineLanguages != languages) {
        engine.reset();
        auto made = std::make_unique<tesseract::TessBaseAPI>();
        if (!Loads(*made, languages))
            ThrowMissing(languages);
        engine = std::move(made);
        engineLanguages = languages;
    }
    return *engine;
}

bool AskCancelled(void* cancelled, int) {
    return (*static_cast<const std::function<bool()>*>(cancelled))();
}

} // namespace

bool LanguagesInstalled(const std::string& languages) {
    try {
        Engine(languages);
        return true;
    } catch (const EOcrLanguageMissing&) {
        return false;
    }
}

TOcrPage RecognizeText(const QImage& picture, const std::function<bool()>& cancelled,
                       const std::string& languages) {
    TOcrPage page;
    page.size = picture.size();
    if (picture.isNull())
        return page;
    tesseract::TessBaseAPI& api = Engine(languages);
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    api.SetPageSegMode(tesseract::PSM_AUTO);
    api.SetImage(grey.constBits(), grey.width(), grey.height(), 1,
                 static_cast<int>(grey.bytesPerLine()));
    // A scan says its resolution; otherwise Tesseract estimates it from the text's height.
    const int dpi = qRound(picture.dotsPerMeterX() * 0.0254);
    if (dpi >= 70 && dpi <= 2400)
        api.SetSourceResolution(dpi);
    tesseract::ETEXT_DESC monitor;
    if (cancelled) {
        monitor.cancel = &AskCancelled;
        monitor.cancel_this = const_cast<std::function<bool()>*>(&cancelled);
    }
    const int status = api.Recognize(&monitor);
    if (cancelled && cancelled()) {
        api.Clear();
        throw TOcrCancelled{};
    }
    if (status != 0) {
        api.Clear();
        throw std::runtime_error("La reconnaissance du texte a échoué.");
    }
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
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
            const bool lineEnd = it->IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_WORD);
            const bool paragraphEnd =
                it->IsAtFinalElement(tesseract::RIL_PARA, tesseract::RIL_WORD);
            if (word.empty()) {
                // An empty word still ends its line.
                if (!page.words.empty()) {
                    page.words.back().lineEnd |= lineEnd;
                    page.words.back().paragraphEnd |= paragraphEnd;
                }
                continue;
            }
            page.words.push_back({std::move(word),
                                  QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)),
                                  lineEnd || paragraphEnd, paragraphEnd});
        } while (it->Next(tesseract::RIL_WORD));
    }
    api.Clear();
    return page;
}

} // namespace ocr
