// Smooth scaling of a picture, whole or one rectangle at a time, with the same pixels either way:
// a window can draw the visible part of an enlarged picture without making all of it.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

// The rectangle part (in the scaled picture's coordinates, clipped to it) of source scaled to
// size with bilinear filtering, pixel centres mapped onto pixel centres and the edges repeated.
// Each pixel depends only on its own position, so a part is exactly that rectangle of the whole.
// The result has the source's format: 8-bit channels (and grey palettes) are blended where they
// are; other formats are blended in 32 bits and converted back pixel by pixel, without dithering
// (palette pictures to the colour of their own palette nearest to the blend at 5 bits a channel).
// Null for a null source or an empty part. Meant for enlarging: shrinking works but averages no
// more than 2 x 2 pixels.
QImage SmoothScaledPart(const QImage& source, QSize size, QRect part);

// The whole of source scaled to size (source itself when the size is the same), on every core
// for large pictures.
QImage SmoothScaled(const QImage& source, QSize size);
