// The lossy and bilevel codecs of the small PDFs: JPEG (libjpeg) for pictures, CCITT Group 4
// (libtiff's encoder) for 1-bit masks. No Qt; safe on any thread; the same input always gives
// the same bytes.
#pragma once

#include <cstddef>
#include <string>

namespace pdfcodec {

struct TJpegOptions {
    int quality = 75;         // 1..100, the usual scaling of the standard tables
    bool subsample = false;   // halves the colour resolution (4:2:0)
    int chromaQuality = 0;    // the colour channels' own quality; 0: quality
    int maxLumaStep = 0;      // no brightness coefficient is quantised coarser than this; 0: any
    bool progressive = false; // the coefficients in several scans (PDF 1.3): smaller files
};

// Pixels row after row, `stride` bytes apart, `components` bytes a pixel (1: grey, 3: red,
// green, blue). The JPEG file's bytes, for a DCTDecode stream. Failure: EPdfException.
std::string EncodeJpeg(const unsigned char* pixels, int width, int height, int components,
                       std::size_t stride, const TJpegOptions& options);

// A 1-bit picture, rows `stride` bytes apart, the leftmost pixel in the top bit, 1 for black.
// The Group 4 data of a CCITTFaxDecode stream (K -1, BlackIs1 false: black decodes to 0).
std::string EncodeGroup4(const unsigned char* bits, int width, int height, std::size_t stride);

} // namespace pdfcodec
