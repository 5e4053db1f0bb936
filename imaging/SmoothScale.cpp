#include "imaging/SmoothScale.h"

#include "workpool/WorkPool.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Where one scaled pixel takes its value along one axis: between source pixels a and b, with
// weight w / 256 on b.
struct TSample {
    int a = 0;
    int b = 0;
    int w = 0;
};

// Samples of the scaled pixels first .. first + count - 1 when from pixels become to pixels.
// Pixel i's centre lies at source position (i + 0.5) * from / to - 0.5, worked out in integers
// so that the same pixel always gets the same sample.
std::vector<TSample> Samples(int from, int to, int first, int count) {
    std::vector<TSample> out(static_cast<std::size_t>(count));
    const std::int64_t den = 2 * std::int64_t(to);
    for (int k = 0; k < count; ++k) {
        const std::int64_t num = (2 * std::int64_t(first + k) + 1) * from - to;
        TSample s;
        if (num > 0) {
            s.a = int(num / den);
            s.w = int(((num % den) * 256 + den / 2) / den);
            if (s.a >= from - 1) {
                s.a = from - 1;
                s.w = 0;
            }
            s.b = std::min(s.a + 1, from - 1);
        }
        out[static_cast<std::size_t>(k)] = s;
    }
    return out;
}

bool GreyPalette(const QImage& image) {
    const QList<QRgb> table = image.colorTable();
    if (table.size() != 256)
        return false;
    for (int i = 0; i < 256; ++i) {
        if (table[i] != qRgb(i, i, i))
            return false;
    }
    return true;
}

// Bytes per pixel of a picture whose bytes are channels that blend linearly; 0 otherwise.
int LinearBytes(const QImage& image) {
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888_Premultiplied:
        return 4;
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
        return 3;
    case QImage::Format_Grayscale8:
    case QImage::Format_Alpha8:
        return 1;
    case QImage::Format_Indexed8:
        // A grey ramp: the index is the grey level.
        return GreyPalette(image) ? 1 : 0;
    default:
        return 0;
    }
}

// One source row blended across: channel c of scaled pixel k goes to out[k * Bytes + c], times
// 256 (so up to 255 * 256).
template <int Bytes>
void BlendAcross(const uchar* row, const std::vector<TSample>& xs, quint16* out) {
    for (const TSample& x : xs) {
        const uchar* a = row + x.a * Bytes;
        const uchar* b = row + x.b * Bytes;
        const int va = 256 - x.w;
        for (int c = 0; c < Bytes; ++c)
            out[c] = static_cast<quint16>(a[c] * va + b[c] * x.w);
        out += Bytes;
    }
}

// Two rows blended across, blended down with weight w / 256 on the bottom one. The vector loop
// does the very same integer sums, sixteen channels at a time.
void BlendDown(const quint16* top, const quint16* bottom, int w, std::size_t n, uchar* out) {
    const int v = 256 - w;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i vv = _mm_set1_epi16(static_cast<short>(v));
    const __m128i ww = _mm_set1_epi16(static_cast<short>(w));
    const __m128i half = _mm_set1_epi32(32768);
    // Eight 16-bit channels of both rows to eight results of at most 255, as 16-bit values.
    auto eight = [&](const quint16* t, const quint16* b) {
        const __m128i tt = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t));
        const __m128i bb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
        const __m128i tl = _mm_mullo_epi16(tt, vv);
        const __m128i th = _mm_mulhi_epu16(tt, vv);
        const __m128i bl = _mm_mullo_epi16(bb, ww);
        const __m128i bh = _mm_mulhi_epu16(bb, ww);
        __m128i lo = _mm_add_epi32(_mm_unpacklo_epi16(tl, th), _mm_unpacklo_epi16(bl, bh));
        __m128i hi = _mm_add_epi32(_mm_unpackhi_epi16(tl, th), _mm_unpackhi_epi16(bl, bh));
        lo = _mm_srli_epi32(_mm_add_epi32(lo, half), 16);
        hi = _mm_srli_epi32(_mm_add_epi32(hi, half), 16);
        return _mm_packs_epi32(lo, hi);
    };
    for (; i + 16 <= n; i += 16) {
        const __m128i first = eight(top + i, bottom + i);
        const __m128i second = eight(top + i + 8, bottom + i + 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(first, second));
    }
#endif
    for (; i < n; ++i)
        out[i] = static_cast<uchar>((top[i] * v + bottom[i] * w + 32768) >> 16);
}

// A source row blended across, kept while the next scaled rows read it too.
struct TAcrossRow {
    int source = -1;
    std::vector<quint16> values;
};

// Where the rows of a picture lie, taken once before any thread reads or writes them: the
// picture's own scanLine detaches, and that writes to the picture's shared data on every call.
struct TRows {
    const uchar* source = nullptr;
    qsizetype sourceStride = 0;
    uchar* out = nullptr;
    qsizetype outStride = 0;
};

// Fills out's rows from .. to - 1 from the source rows the samples name. Each source row is
// blended across once for all the scaled rows that read it.
void ScaleRows(const TRows& pixels, int bytes, const std::vector<TSample>& xs,
               const std::vector<TSample>& ys, int from, int to) {
    const std::size_t n = xs.size() * static_cast<std::size_t>(bytes);
    TAcrossRow rows[2];
    for (TAcrossRow& row : rows)
        row.values.resize(n);
    auto across = [&](int y, int keep) -> const quint16* {
        for (TAcrossRow& row : rows) {
            if (row.source == y)
                return row.values.data();
        }
        TAcrossRow& row = rows[keep == rows[0].source ? 1 : 0];
        const uchar* line = pixels.source + y * pixels.sourceStride;
        switch (bytes) {
        case 1:
            BlendAcross<1>(line, xs, row.values.data());
            break;
        case 3:
            BlendAcross<3>(line, xs, row.values.data());
            break;
        default:
            BlendAcross<4>(line, xs, row.values.data());
            break;
        }
        row.source = y;
        return row.values.data();
    };
    for (int r = from; r < to; ++r) {
        const TSample& y = ys[static_cast<std::size_t>(r)];
        const quint16* top = across(y.a, y.b);
        const quint16* bottom = across(y.b, y.a);
        BlendDown(top, bottom, y.w, n, pixels.out + r * pixels.outStride);
    }
}

// QImage reports a failed allocation with a null image.
QImage Checked(QImage image) {
    if (image.isNull()) {
        throw std::runtime_error("Mémoire insuffisante pour agrandir l'image.");
    }
    return image;
}

// An opaque 32-bit picture in a palette of opaque colours: each pixel takes the palette colour
// nearest to it, looked up at 5 bits a channel and found once per 5-bit colour (Qt's own
// nearest-colour conversion is several times slower on blended colours).
QImage NearestInPalette(const QImage& rgb, const QList<QRgb>& table) {
    QImage out = Checked(QImage(rgb.size(), QImage::Format_Indexed8));
    out.setColorTable(table);
    std::vector<short> nearest(32768, -1);
    auto find = [&](int key) {
        const int r = (key >> 10) * 255 / 31;
        const int g = ((key >> 5) & 31) * 255 / 31;
        const int b = (key & 31) * 255 / 31;
        int best = 0;
        int bestDistance = 1 << 30;
        for (int i = 0; i < table.size(); ++i) {
            const int dr = qRed(table[i]) - r;
            const int dg = qGreen(table[i]) - g;
            const int db = qBlue(table[i]) - b;
            const int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                best = i;
                bestDistance = distance;
            }
        }
        return static_cast<short>(best);
    };
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uchar* line = out.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb p = in[x];
            const int key = ((qRed(p) >> 3) << 10) | ((qGreen(p) >> 3) << 5) | (qBlue(p) >> 3);
            short& index = nearest[static_cast<std::size_t>(key)];
            if (index < 0)
                index = find(key);
            line[x] = static_cast<uchar>(index);
        }
    }
    return out;
}

// Large parts are shared out in bands of rows; a band is enough work to be worth a task.
constexpr int kBandRows = 64;
constexpr qint64 kParallelPixels = 1 << 20;

void ScaleInto(const QImage& source, int bytes, const std::vector<TSample>& xs,
               const std::vector<TSample>& ys, QImage& out) {
    const int rows = out.height();
    const TRows pixels{source.constBits(), source.bytesPerLine(), out.bits(), out.bytesPerLine()};
    if (qint64(out.width()) * rows < kParallelPixels) {
        ScaleRows(pixels, bytes, xs, ys, 0, rows);
        return;
    }
    const std::size_t bands = static_cast<std::size_t>((rows + kBandRows - 1) / kBandRows);
    pdfwork::ParallelFor(pdfwork::TWorkPool::Shared(), bands, [&](std::size_t band) {
        const int from = int(band) * kBandRows;
        ScaleRows(pixels, bytes, xs, ys, from, std::min(rows, from + kBandRows));
    });
}

} // namespace

QImage SmoothScaledPart(const QImage& source, QSize size, QRect part) {
    part &= QRect(QPoint(0, 0), size);
    if (source.isNull() || part.isEmpty())
        return QImage();
    if (size == source.size())
        return Checked(source.copy(part));

    std::vector<TSample> xs = Samples(source.width(), size.width(), part.x(), part.width());
    std::vector<TSample> ys = Samples(source.height(), size.height(), part.y(), part.height());
    QImage result;
    const int bytes = LinearBytes(source);
    if (bytes > 0) {
        result = Checked(QImage(part.size(), source.format()));
        if (source.format() == QImage::Format_Indexed8)
            result.setColorTable(source.colorTable());
        ScaleInto(source, bytes, xs, ys, result);
    } else {
        // Only the source pixels this part reads are converted.
        const int x0 = xs.front().a;
        const int y0 = ys.front().a;
        const QRect read(QPoint(x0, y0), QPoint(xs.back().b, ys.back().b));
        const QImage::Format work =
            source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
        const QImage pixels = Checked(source.copy(read).convertToFormat(work));
        for (TSample& s : xs) {
            s.a -= x0;
            s.b -= x0;
        }
        for (TSample& s : ys) {
            s.a -= y0;
            s.b -= y0;
        }
        result = Checked(QImage(part.size(), work));
        ScaleInto(pixels, 4, xs, ys, result);
        switch (source.format()) {
        case QImage::Format_Indexed8:
            if (work == QImage::Format_RGB32 && !source.colorTable().isEmpty()) {
                result = NearestInPalette(result, source.colorTable());
                break;
            }
            [[fallthrough]];
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB:
            // Without a palette of its own, the conversion makes one.
            result = source.colorTable().isEmpty()
                         ? result.convertToFormat(source.format(), Qt::ThresholdDither)
                         : result.convertToFormat(source.format(), source.colorTable(),
                                                  Qt::ThresholdDither);
            break;
        default:
            result.convertTo(source.format(), Qt::ThresholdDither);
            break;
        }
        Checked(result);
    }
    result.setDotsPerMeterX(source.dotsPerMeterX());
    result.setDotsPerMeterY(source.dotsPerMeterY());
    return result;
}

QImage SmoothScaled(const QImage& source, QSize size) {
    if (size == source.size())
        return source;
    return SmoothScaledPart(source, size, QRect(QPoint(0, 0), size));
}
