#pragma once
// The pictures of a PDF's pages that are made of one picture, read from the file's bytes: the
// page's single image, decoded to its own pixels rather than rendered again. Only the simple
// cases are read (8-bit grey or RGB, Flate without predictor or DCT); every other page, and every
// page of a file this reader cannot follow, is left to the renderer. Every count, size and
// depth that the file states is bounded before it is used.

#include <QByteArray>
#include <QImage>

#include <optional>
#include <vector>

namespace velorix::imaging {

// Bounds of what one picture may claim.
inline constexpr int kMaxPictureSide = 30000;
inline constexpr qint64 kMaxPicturePixels = qint64(260) * 1000 * 1000;

// One entry per page in the page tree's order: the page's own picture, or nullopt where the
// page must be rendered. Empty when the page tree cannot be followed (no catalog, a loop, a page
// count beyond bounds): the caller then renders every page. Never throws for what the bytes say.
std::vector<std::optional<QImage>> PagePictures(const QByteArray& pdf);

} // namespace velorix::imaging
