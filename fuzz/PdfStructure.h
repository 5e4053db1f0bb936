// What a reader relies on in a file our writer made, checked without any outside tool: the
// table's offsets, the trailer and every stream's length and data.
#pragma once

#include <string>

namespace velorix::fuzz {

// The first fault found in pdf, or "" when the file is sound: "startxref" points at "xref",
// every table line is 20 bytes and points at "N 0 obj", "/Size" counts the lines, every stream's
// "/Length" is its byte count, and every image's data inflates to width x height x components.
std::string PdfStructureFault(const std::string& pdf);

} // namespace velorix::fuzz
