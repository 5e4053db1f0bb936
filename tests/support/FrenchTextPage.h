// A page of French text in two columns, with accents, drawn at 300 dpi: what a scan of a typed
// letter gives. Shared by the searchable-PDF tests and benchmarks.
#pragma once

#include <QImage>
#include <QRectF>
#include <QString>

#include <vector>

namespace velorix::testing {

struct TDrawnWord {
    QString text;
    QRectF ink; // page pixels
};

// An A4 300-dpi RGB page; words (when given) receives its words in reading order (the first
// column, then the second) with their ink boxes. Each column holds its text `repeats` times: 8
// fill the page.
QImage FrenchTextPage(std::vector<TDrawnWord>* words = nullptr, int repeats = 4);

// The page's pixels as a binary PPM file, for SANE's pnm file reader.
QByteArray PpmFile(const QImage& page);

} // namespace velorix::testing
