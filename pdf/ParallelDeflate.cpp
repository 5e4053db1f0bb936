#include "ParallelDeflate.h"

#include "PdfErrors.h"
#include "WorkPool.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace pdfdeflate {

namespace {

constexpr std::size_t kWindow = 32 * 1024;

// Owns a raw deflate state (no header, no check value: the join adds them).
class TRawDeflater {
public:
    explicit TRawDeflater(int level) {
        if (deflateInit2(&z_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw EPdfException("WriteBody --compression failed.");
    }
    ~TRawDeflater() { deflateEnd(&z_); }
    TRawDeflater(const TRawDeflater&) = delete;
    TRawDeflater& operator=(const TRawDeflater&) = delete;

    // Compresses chunk after priming with dictionary; flush is Z_FULL_FLUSH or Z_FINISH.
    std::string Run(std::string_view dictionary, std::string_view chunk, int flush) {
        if (!dictionary.empty() &&
            deflateSetDictionary(&z_, reinterpret_cast<const Bytef*>(dictionary.data()),
                                 static_cast<uInt>(dictionary.size())) != Z_OK)
            throw EPdfException("WriteBody --compression failed.");
        // A full flush adds at most an empty stored block beyond the bound.
        std::string out(deflateBound(&z_, static_cast<uLong>(chunk.size())) + 16, '\0');
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data()));
        z_.avail_in = static_cast<uInt>(chunk.size());
        z_.next_out = reinterpret_cast<Bytef*>(out.data());
        z_.avail_out = static_cast<uInt>(out.size());
        const int rc = deflate(&z_, flush);
        const bool complete = flush == Z_FINISH ? rc == Z_STREAM_END : rc == Z_OK;
        if (!complete || z_.avail_in != 0)
            throw EPdfException("WriteBody --compression failed.");
        out.resize(out.size() - z_.avail_out);
        return out;
    }

private:
    z_stream z_{};
};

std::string ZlibHeader(int level) {
    // CMF: deflate with a 32 KiB window; FLG: the level class, no dictionary, check bits.
    const unsigned cmf = 0x78;
    const unsigned levelClass = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned flg = levelClass << 6;
    flg += 31 - (cmf * 256 + flg) % 31;
    return {static_cast<char>(cmf), static_cast<char>(flg)};
}

} // namespace

std::string Deflate(std::string_view data, int level, pdfwork::TWorkPool* pool) {
    if (level == Z_DEFAULT_COMPRESSION)
        level = 6;
    if (level < 0 || level > 9)
        throw EPdfException("WriteBody --compression failed.");
    const std::size_t chunks =
        std::max<std::size_t>(1, (data.size() + kChunkSize - 1) / kChunkSize);
    std::vector<std::string> parts(chunks);
    std::vector<uLong> checks(chunks);
    pdfwork::ParallelFor(pool != nullptr ? *pool : pdfwork::TWorkPool::Shared(), chunks,
                         [&](std::size_t i) {
                             const std::size_t begin = i * kChunkSize;
                             const std::string_view chunk = data.substr(begin, kChunkSize);
                             const std::size_t primed = std::min(begin, kWindow);
                             TRawDeflater deflater(level);
                             parts[i] = deflater.Run(data.substr(begin - primed, primed), chunk,
                                                     i + 1 == chunks ? Z_FINISH : Z_FULL_FLUSH);
                             checks[i] = adler32(adler32(0, nullptr, 0),
                                                 reinterpret_cast<const Bytef*>(chunk.data()),
                                                 static_cast<uInt>(chunk.size()));
                         });

    std::size_t total = 2 + 4;
    for (const std::string& part : parts)
        total += part.size();
    std::string out = ZlibHeader(level);
    out.reserve(total);
    uLong check = adler32(0, nullptr, 0);
    for (std::size_t i = 0; i < chunks; ++i) {
        out += parts[i];
        std::string().swap(parts[i]);
        const std::size_t length = std::min(kChunkSize, data.size() - i * kChunkSize);
        check = adler32_combine(check, checks[i], static_cast<z_off_t>(length));
    }
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((check >> shift) & 0xFF);
    return out;
}

} // namespace pdfdeflate
