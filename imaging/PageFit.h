#pragma once
// Bringing a loaded picture to the size of a page (600 x 800 pixels).

#include <QImage>

namespace velorix::imaging {

class TImageEngine;

inline constexpr int kPageWidth = 600;
inline constexpr int kPageHeight = 800;

// Round to the nearest integer, halves to the even one.
long roundHalfEven(double value);

// Stretches source into target so that its long side (its width, for a landscape or square
// source) becomes box pixels, dropping or repeating pixels without smoothing. Does nothing when
// the source is empty or box < 1.
void FitToBox(const QImage& source, QImage& target, int box);

// Nearest-neighbour stretch of the whole source over a width x height bitmap.
QImage stretchNearest(const QImage& source, int width, int height);

// The page picture for the engine's current image: an image whose sides are exactly 3 wide to
// 4 high is scaled to 600 x 800; any other keeps its pixel size on a 600 x 800 canvas, centred
// (cut or padded with the engine's background colour). The engine keeps the resized canvas in
// the second case, as its working image.
QImage FitToPage(TImageEngine& engine);

} // namespace velorix::imaging
