// The lossy and bilevel codecs of the small PDFs: JPEG (libjpeg) for pictures, CCITT Group 4
// (libtiff's encoder) for 1-bit masks. No Qt; safe on any thread; the same input always gives
// the same bytes.
#pragma once

#include <cstddef>
#include <string>

namespace pdfcodec {

// Pixels row after row, `stride` bytes apart, `components` bytes a pixel (1: grey, 3: red,
// green, blue). quality 1..100; `subsample` halves the colour resolution (4:2:0). The JPEG file's
// bytes, for a DCTDecode stream. Failure: EPdfException.
std::string EncodeJpeg(const unsigned char* pixels, int width, int height, int components,
                       std::size_t stride, int quality, bool subsample);

// A 1-bit picture, rows `stride` bytes apart, the leftmost pixel in the top bit, 1 for black.
// The Group 4 data of a CCITTFaxDecode stream (K -1, BlackIs1 false: black decodes to 0).
std::string EncodeGroup4(const unsigned char* bits, int width, int height, std::size_t stride);

} // namespace pdfcodec
