// Generated pages that compress like real colour scans: paper tint, lines of text, a photo
// block and mild sensor noise. Shared by tests and benchmarks; the same page number always
// gives the same pixels.
#pragma once

#include <QImage>

namespace velorix::testing {

// A4 at 300 dpi.
inline constexpr int kA4Width300 = 2480;
inline constexpr int kA4Height300 = 3508;

// An RGB32 page; smaller sizes are the A4 layout scaled down.
QImage ScanLikePage(int page, int width = kA4Width300, int height = kA4Height300);

} // namespace velorix::testing
