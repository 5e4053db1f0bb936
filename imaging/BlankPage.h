// Telling a blank scanned side from one with something on it: the backs of a stack fed on both
// sides are often empty paper, which a scan never gives as pure white.
#pragma once

#include <QImage>

// What a page holds, as measured: the paper's own level, and the area of the marks that count
// as writing, in square millimetres.
struct PageInk {
    int paperLevel = 255;  // 0..255, the page's bright majority
    double inkAreaMm2 = 0; // marks darker than the paper by far, in clusters of writing size
    double greyShare = 0;  // the share of the page darker than the paper by an eighth
    int spread = 0;        // levels between the darkest and the brightest twentieth
};

// The page is read in cells of half a millimetre (from its resolution, or an A4 width when it
// has none). A cell is inked when a sixth of it is darker than the paper by nearly a fifth of
// the range: the paper's grain, scan noise and the other side showing through are not. Inked cells
// count only in clusters of at least five (about a letter's stroke), so that dust and specks
// do not, and the outer 4 % of each side is left out (the sheet's edges and their shadows).
PageInk MeasureInk(const QImage& page);

// Less than this much ink is a blank page: a few letters of small print weigh more. A page
// that is not bright paper (its majority dark or grey, much of it in mid-tones, or its tones
// spread as a pale photograph's are) is never blank.
inline constexpr double kBlankInkMm2 = 4.0;

bool IsBlankPage(const QImage& page);
