// Recognised text of a page picture: its words with their boxes, in reading order.
#pragma once

#include <QImage>
#include <QRect>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pdfwork {
class TWorkPool;
}

namespace ocr {

// French and English together: French pages quote English names and terms.
inline constexpr const char* kDefaultLanguages = "fra+eng";

// One recognised word. box is in the picture's pixels.
struct TOcrWord {
    std::string text; // UTF-8
    QRect box;
    bool lineEnd = false;      // the last word of its line
    bool paragraphEnd = false; // the last word of its paragraph or text block
};

// The words of one picture, in reading order (column after column).
struct TOcrPage {
    QSize size; // of the picture recognised, so that boxes follow a scaled copy
    std::vector<TOcrWord> words;
};

// The language data of a language asked for is not installed; the message names the package.
class EOcrLanguageMissing : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The recognition was cancelled by its caller.
struct TOcrCancelled {};

// Recognises the words of picture. cancelled, when given, is asked now and then, also inside a
// line's recognition; once it says true, the recognition ends with TOcrCancelled. A picture
// finer than 300 dpi (or, without a resolution, larger than an A3 page at 300 dpi) is read at
// that bound; the boxes are in the picture's own pixels all the same. The page's lines go to the
// idle workers of helpers as background pieces (see ParallelPieces) when it is given, else all are
// recognised on the calling thread. Safe to call on several threads at once. Throws
// EOcrLanguageMissing when the language data is missing, std::runtime_error on other failures.
TOcrPage RecognizeText(const QImage& picture, const std::function<bool()>& cancelled = {},
                       const std::string& languages = kDefaultLanguages,
                       pdfwork::TWorkPool* helpers = nullptr);

// Ends every recognition under way and every later one with TOcrCancelled: the program is
// ending, and the work pool must not wait for pages nobody will see.
void StopAllRecognition();

// The languages asked for are all installed (else the EOcrLanguageMissing message is known).
bool LanguagesInstalled(const std::string& languages = kDefaultLanguages);

} // namespace ocr
