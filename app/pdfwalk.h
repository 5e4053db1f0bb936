#pragma once
// Writing the page set into PReport1's file: BeginDoc, the page walk, EndDoc. The walk takes
// page 1 of the design (PRPage1) while it exists and its tab is visible, then every report page
// found by the name "Page" + n for n = 1 .. the number of pages, visible tabs only.

namespace velorix {

class Tvelorix_2;

// Prints every selected page into a new document of the window's PReport1 and writes it to the
// report's FileName. Failures (the file cannot be created) propagate; the old file then stays.
void WritePagesToPdf(Tvelorix_2& window);

} // namespace velorix
