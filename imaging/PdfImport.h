#pragma once
// PDF files opened as pages: a page made of one picture gives that picture's own pixels, any
// other page is rendered at 300 dpi.

#include <QImage>
#include <QString>

#include <vector>

namespace velorix::imaging {

inline constexpr double kPdfRenderDpi = 300.0;

// A PDF by its extension or, whatever the name, by its first bytes.
bool IsPdfFile(const QString& fileName);

// Every page of the file as a picture, in order. An encrypted, damaged or too large file throws
// EImageEngineError with its French message, and gives no page at all.
std::vector<QImage> ReadPdfPages(const QString& fileName);

} // namespace velorix::imaging
