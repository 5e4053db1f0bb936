#pragma once
// Fixed addresses and paths of the program.
#include <QString>

namespace velorix {

// The maker's web page, opened by "MON SITE".
inline constexpr const char* kSiteAddress = "https://www.velorix.example/";

// The one PDF file that every export and every mail rewrites: "capture.pdf" in the user's
// documents folder (the folder is created when missing, so the path is writable).
QString SharedPdfPath();

} // namespace velorix
