// A colour office page at 300 dpi made like a scan: tinted paper with grain and specks, a red
// heading, French text in two columns, a blue sentence, thin rules and a box, and a photograph
// with sharp edges. Shared by the quality tests and benchmarks, with the measures they take of a
// PDF's pages: rendering (poppler or MuPDF), PSNR and the words text recognition finds.
#pragma once

#include "pdf/PdfQuality.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

namespace velorix::testing {

// The page; `variant` moves the photo and changes the grain, so ten pages differ.
QImage OfficePage(int variant = 0, bool withPhoto = true);
// Where OfficePage puts its photo (page pixels).
QRect OfficePhoto(int variant = 0);
// A page with dark text in two shaded boxes, light grey and light blue, and a line on the paper.
QImage ShadedBoxPage();
QRect ShadedBox(int which);
// An RGB888 picture as a scanner gives it: tinted paper, grain, specks and sensor noise.
void AsScanned(QImage& page, int variant);

// A one-page PDF of picture in quality, one point a pixel, its layers made for `dpi`: rendered
// at the picture's size, its pixels fall on the picture's own.
QByteArray QualityPdf(const QImage& picture, TPdfQuality quality, double dpi = 300);

// Page `page` (from 1) of the PDF file rendered to exactly size pixels, by pdftoppm or by
// mutool; null when the renderer fails or is missing.
QImage RenderPdfPage(const QString& pdf, int page, QSize size, bool mutool = false);

// Peak signal-to-noise ratio in dB of b against a over rect (all of a when empty), the three
// channels together; 99 for identical pixels.
double Psnr(const QImage& a, const QImage& b, QRect rect = QRect());

// The words text recognition finds on the picture, in reading order (punctuation kept).
QStringList RecognisedWords(const QImage& picture);
// The share of `reference`'s words that `found` holds too, each counted as often as it occurs.
double WordRecall(const QStringList& reference, const QStringList& found);

} // namespace velorix::testing
