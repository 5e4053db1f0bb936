#pragma once
// Writing the page set into PReport1's file: BeginDoc, the page walk, EndDoc. The walk takes
// the window's own page 1 (PRPage1) while it exists and its tab is visible, then every report page
// found by the name "Page" + n for n = 1 .. the number of pages, visible tabs only.

#include "pdf/PdfQuality.h"

#include <QString>

#include <vector>

class TPRPage;

namespace velorix {

class Tvelorix_2;

// The report pages the walk prints, in order; empty when every tab is hidden.
std::vector<TPRPage*> PdfPages(Tvelorix_2& window);

// Prints every selected page into a new document of the window's PReport1 and writes it to the
// report's FileName. While page streams are still being compressed, a progress window "Page n
// sur N" appears after half a second; false when the user cancelled it, nothing being written.
// Failures (the file cannot be created) propagate; the old file then stays.
bool WritePagesToPdf(Tvelorix_2& window);
// The same into `fileName`, which becomes the report's FileName.
bool WritePagesToPdf(Tvelorix_2& window, const QString& fileName);
// The same in `quality` rather than the window's ("Qualité du PDF"), into `fileName` when given
// (the report's FileName then comes back as it was).
bool WritePagesToPdf(Tvelorix_2& window, TPdfQuality quality, const QString& fileName = {});

} // namespace velorix
