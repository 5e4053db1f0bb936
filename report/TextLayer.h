// The recognised text of a picture as invisible text over it in a PDF page, so that a viewer
// finds, highlights and copies the words where they are printed.
#pragma once

#include <QRectF>
#include <QString>

#include <string>

class TPdfCanvas;
namespace ocr {
struct TOcrPage;
}

// text in WinAnsiEncoding; a character it lacks becomes its nearest there (the letter without
// its accent, a ligature's letters), else '?'.
std::string WinAnsiText(const QString& text);

// Writes the words of text over the picture drawn into picture (PDF coordinates: x, y at the
// bottom left, width and height), leaving out the words whose middle falls outside visible.
// Each word is in invisible rendering (3 Tr), in Helvetica, scaled horizontally (Tz) to the
// width of its box; the words come in reading order, separated by spaces. Writes nothing for
// a page without words.
void WriteTextLayer(TPdfCanvas& canvas, const ocr::TOcrPage& text, const QRectF& picture,
                    const QRectF& visible);
