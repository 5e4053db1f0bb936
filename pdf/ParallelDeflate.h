// zlib streams made on every core: the data is cut into fixed chunks compressed side by side,
// each primed with the 32 KiB before it and closed with a full flush, then joined behind one
// zlib header with the Adler-32 of the whole. The bytes depend only on the data and the level.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pdfwork {
class TWorkPool;
}

namespace pdfdeflate {

// Input bytes per chunk. Fixed: the output must not depend on the machine.
inline constexpr std::size_t kChunkSize = 256 * 1024;

// The zlib stream (RFC 1950) of data at level (0-9). Data of one chunk or less gives exactly
// the bytes of zlib's compress2. Uses the shared pool unless one is given. Failure:
// EPdfException.
std::string Deflate(std::string_view data, int level = 9, pdfwork::TWorkPool* pool = nullptr);

} // namespace pdfdeflate
