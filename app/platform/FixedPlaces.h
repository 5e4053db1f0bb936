#pragma once
// Fixed addresses and paths of the program.
#include <QString>

namespace velorix {

// The maker's web page, opened by "MON SITE".
inline constexpr const char* kSiteAddress = "https://www.velorix.example/";

// The one PDF file that every export and every mail rewrites: "capture.pdf" in the user's
// documents folder. Looking the path up changes nothing on disk.
QString SharedPdfPath();
// Creates the documents folder when it is missing, so that the shared PDF can be written;
// call it before writing the file. Returns SharedPdfPath().
QString EnsureSharedPdfFolder();

} // namespace velorix
