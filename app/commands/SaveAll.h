#pragma once
// Every visible page in one file: a multi-page TIFF (lossless) or a PDF, by the extension.

#include <QString>

namespace velorix {

class Tvelorix_2;

// Writes the pages that the PDF export takes, in its order, into `fileName`: ".tif"/".tiff" as
// one TIFF of the pages' own pixels, ".pdf" as the export writes it. False when the user
// cancelled a PDF's wait. Failures (no page, another extension, a file that cannot be written)
// throw with their French message; an existing file then stays as it was.
bool WriteAllPages(Tvelorix_2& window, const QString& fileName);

} // namespace velorix
