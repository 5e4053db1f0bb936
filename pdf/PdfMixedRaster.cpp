// The text quality's layers. The page is cut into cells a little larger than a letter's stroke;
// cells with almost no paper in them, grouped into blocks of some size, are photographs and go
// whole into the background, unless the block is of one tint (a shaded box): its tint is then
// the paper its text stands on. Elsewhere a pixel is ink when it stands far
// enough from the paper around it (the brightest cell near it): that mask is kept at full
// resolution, its colours at a low one, and the background (paper and photos, with the ink taken
// out) at about 100 dpi.
#include "pdf/PdfQuality.h"

#include "pdf/PdfCodecs.h"
#include "pdf/PdfImages.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace {

// Measured on scan-like office pages (tests/pdf/PdfQualityTest, bench/PdfQualityBench).
constexpr int kInkDistance = 60;      // a channel this far from the paper is ink
constexpr int kPaperLuma = 28;        // a pixel this close to the page's paper counts as paper
constexpr int kPaperChroma = 40;      // ... when no channel strays further than this
constexpr int kPhotoPaperPercent = 8; // a cell with less paper is part of a photo
constexpr int kBoxTint = 20;          // a cell this close to its block's tint is of that tint
constexpr int kBoxPercent = 85;       // a block with this share of cells of its tint ...
constexpr int kBoxFillPercent = 90;   // ... filling this share of its bounding rectangle ...
constexpr int kBoxMinLuma = 140;      // ... and light enough for dark text is a shaded box
constexpr int kBackgroundJpegQuality = 40;
constexpr int kForegroundJpegQuality = 75;

struct Rgb {
    int r = 0, g = 0, b = 0;
};

int Luma(const uchar* p) {
    return (77 * p[0] + 150 * p[1] + 29 * p[2]) >> 8;
}

int Distance(const uchar* p, const Rgb& c) {
    return std::max({std::abs(p[0] - c.r), std::abs(p[1] - c.g), std::abs(p[2] - c.b)});
}

// A grid of w x h blocks over the picture, each `size` pixels square (the last ones cut).
struct Grid {
    int size, w, h;
    Grid(int s, int width, int height) : size(s), w((width + s - 1) / s), h((height + s - 1) / s) {}
    std::size_t Count() const { return static_cast<std::size_t>(w) * std::size_t(h); }
};

// Every block without a colour takes the colour of the nearest one with a colour (breadth
// first), so that smoothing viewers and JPEG see no edge where the data ends; fallback when
// none has one.
void FillEmpty(std::vector<Rgb>& colours, std::vector<std::uint8_t>& filled, const Grid& g,
               Rgb fallback) {
    std::deque<int> queue;
    for (int i = 0; i < static_cast<int>(g.Count()); ++i) {
        if (filled[std::size_t(i)] != 0) {
            queue.push_back(i);
        }
    }
    if (queue.empty()) {
        std::fill(colours.begin(), colours.end(), fallback);
        return;
    }
    while (!queue.empty()) {
        const int i = queue.front();
        queue.pop_front();
        const int x = i % g.w, y = i / g.w;
        const std::array<std::array<int, 2>, 4> steps{{{-1, 0}, {1, 0}, {0, -1}, {0, 1}}};
        for (const auto& s : steps) {
            const int nx = x + s[0], ny = y + s[1];
            if (nx < 0 || ny < 0 || nx >= g.w || ny >= g.h) {
                continue;
            }
            const auto n = static_cast<std::size_t>(ny * g.w + nx);
            if (filled[n] == 0) {
                filled[n] = 1;
                colours[n] = colours[std::size_t(i)];
                queue.push_back(static_cast<int>(n));
            }
        }
    }
}

TJpegLayer Layer(const std::vector<Rgb>& colours, const Grid& g, int quality, bool subsample) {
    bool grey = true;
    for (const Rgb& c : colours) {
        if (c.r != c.g || c.g != c.b) {
            grey = false;
            break;
        }
    }
    const int components = grey ? 1 : 3;
    std::vector<uchar> pixels(g.Count() * std::size_t(components));
    for (std::size_t i = 0; i < g.Count(); ++i) {
        if (grey) {
            pixels[i] = static_cast<uchar>(colours[i].r);
        } else {
            pixels[3 * i] = static_cast<uchar>(colours[i].r);
            pixels[3 * i + 1] = static_cast<uchar>(colours[i].g);
            pixels[3 * i + 2] = static_cast<uchar>(colours[i].b);
        }
    }
    TJpegLayer layer;
    layer.bytes = std::make_shared<const std::string>(pdfcodec::EncodeJpeg(
        pixels.data(), g.w, g.h, components, std::size_t(g.w) * std::size_t(components),
        pdfcodec::TJpegOptions{quality, subsample}));
    layer.width = g.w;
    layer.height = g.h;
    layer.grey = grey;
    return layer;
}

class Segmenter {
public:
    Segmenter(const QImage& rgb, double dpi)
        : rgb_(rgb), w_(rgb.width()), h_(rgb.height()),
          cells_(std::max(4, static_cast<int>(std::lround(16 * dpi / 300))), w_, h_) {}

    std::shared_ptr<const TEncodedPicture> Run(double dpi) {
        FindPaper();
        FindTints();
        FindPhotos();
        FindInk();
        auto encoded = std::make_shared<TEncodedPicture>();
        encoded->quality = TPdfQuality::Text;
        const Grid background(std::max(1, static_cast<int>(std::lround(dpi / 100))), w_, h_);
        encoded->picture = Layer(Background(background), background, kBackgroundJpegQuality, true);
        if (inkCount_ > 0) {
            const Grid foreground(std::max(1, static_cast<int>(std::lround(dpi / 50))), w_, h_);
            encoded->foreground =
                Layer(Foreground(foreground), foreground, kForegroundJpegQuality, false);
            encoded->mask = std::make_shared<const std::string>(
                pdfcodec::EncodeGroup4(bits_.data(), w_, h_, BitStride()));
            encoded->maskWidth = w_;
            encoded->maskHeight = h_;
        }
        return encoded;
    }

private:
    const uchar* Pixel(int x, int y) const { return rgb_.constScanLine(y) + 3 * x; }
    std::size_t At(int x, int y) const { return std::size_t(y) * std::size_t(w_) + std::size_t(x); }
    std::size_t BitStride() const { return std::size_t((w_ + 7) / 8); }
    std::size_t CellOf(int x, int y) const {
        return std::size_t(y / cells_.size) * std::size_t(cells_.w) + std::size_t(x / cells_.size);
    }

    // The page's paper: the commonest light level, and the mean colour of the pixels at it.
    void FindPaper() {
        luma_.resize(std::size_t(w_) * std::size_t(h_));
        std::array<long, 256> histogram{};
        for (int y = 0; y < h_; ++y) {
            for (int x = 0; x < w_; ++x) {
                const int l = Luma(Pixel(x, y));
                luma_[At(x, y)] = static_cast<uchar>(l);
                ++histogram[std::size_t(l)];
            }
        }
        int best = 255;
        long bestCount = -1;
        for (int l = 96; l < 256; ++l) {
            long count = 0;
            for (int k = std::max(0, l - 3); k <= std::min(255, l + 3); ++k) {
                count += histogram[std::size_t(k)];
            }
            if (count > bestCount) {
                bestCount = count;
                best = l;
            }
        }
        paperLuma_ = best;
        long n = 0;
        long long r = 0, g = 0, b = 0;
        for (int y = 0; y < h_; ++y) {
            for (int x = 0; x < w_; ++x) {
                if (std::abs(luma_[At(x, y)] - best) <= 6) {
                    const uchar* p = Pixel(x, y);
                    r += p[0];
                    g += p[1];
                    b += p[2];
                    ++n;
                }
            }
        }
        if (n > 0) {
            paper_ = Rgb{int(r / n), int(g / n), int(b / n)};
        } else {
            paper_ = Rgb{255, 255, 255};
        }
    }

    // Cells with (almost) no paper, grouped; large groups are photos, taken as their bounding
    // box when they fill much of it, and widened by a cell for their edges.
    void FindPhotos() {
        std::vector<int> paperCount(cells_.Count(), 0);
        std::vector<int> pixelCount(cells_.Count(), 0);
        for (int y = 0; y < h_; ++y) {
            for (int x = 0; x < w_; ++x) {
                const std::size_t c = CellOf(x, y);
                ++pixelCount[c];
                if (std::abs(luma_[At(x, y)] - paperLuma_) <= kPaperLuma &&
                    Distance(Pixel(x, y), paper_) <= kPaperChroma) {
                    ++paperCount[c];
                }
            }
        }
        std::vector<std::uint8_t> busy(cells_.Count(), 0);
        for (std::size_t c = 0; c < cells_.Count(); ++c) {
            busy[c] = paperCount[c] * 100 < pixelCount[c] * kPhotoPaperPercent ? 1 : 0;
        }
        photoCell_.assign(cells_.Count(), 0);
        boxCell_.assign(cells_.Count(), 0);
        boxTint_.assign(cells_.Count(), paper_);
        std::vector<std::uint8_t> seen(cells_.Count(), 0);
        // At least about 8 mm square: a bold letter never makes one.
        constexpr int side = 6;
        const int minCells = side * side;
        for (int start = 0; start < static_cast<int>(cells_.Count()); ++start) {
            if (busy[std::size_t(start)] == 0 || seen[std::size_t(start)] != 0) {
                continue;
            }
            std::vector<int> group{start};
            seen[std::size_t(start)] = 1;
            int x0 = cells_.w, y0 = cells_.h, x1 = -1, y1 = -1;
            for (std::size_t k = 0; k < group.size(); ++k) {
                const int i = group[k], x = i % cells_.w, y = i / cells_.w;
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x);
                y1 = std::max(y1, y);
                const std::array<std::array<int, 2>, 4> steps{{{-1, 0}, {1, 0}, {0, -1}, {0, 1}}};
                for (const auto& s : steps) {
                    const int nx = x + s[0], ny = y + s[1];
                    if (nx < 0 || ny < 0 || nx >= cells_.w || ny >= cells_.h) {
                        continue;
                    }
                    const auto n = static_cast<std::size_t>(ny * cells_.w + nx);
                    if (busy[n] != 0 && seen[n] == 0) {
                        seen[n] = 1;
                        group.push_back(static_cast<int>(n));
                    }
                }
            }
            if (static_cast<int>(group.size()) < minCells) {
                continue;
            }
            const int box = (x1 - x0 + 1) * (y1 - y0 + 1);
            if (const auto tint = BoxTint(group, cellTint_);
                tint && static_cast<int>(group.size()) * 100 >= box * kBoxFillPercent &&
                ((77 * tint->r + 150 * tint->g + 29 * tint->b) >> 8) >= kBoxMinLuma) {
                for (int i : group) {
                    boxTint_[std::size_t(i)] = *tint;
                    boxCell_[std::size_t(i)] = 1;
                }
                continue;
            }
            if (static_cast<int>(group.size()) * 10 >= box * 4) {
                for (int y = y0; y <= y1; ++y) {
                    for (int x = x0; x <= x1; ++x) {
                        photoCell_[std::size_t(y * cells_.w + x)] = 1;
                    }
                }
            } else {
                for (int i : group) {
                    photoCell_[std::size_t(i)] = 1;
                }
            }
        }
        std::vector<std::uint8_t> widened = photoCell_;
        for (int y = 0; y < cells_.h; ++y) {
            for (int x = 0; x < cells_.w; ++x) {
                if (photoCell_[std::size_t(y * cells_.w + x)] == 0) {
                    continue;
                }
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        if (nx >= 0 && ny >= 0 && nx < cells_.w && ny < cells_.h) {
                            widened[std::size_t(ny * cells_.w + nx)] = 1;
                        }
                    }
                }
            }
        }
        photoCell_ = std::move(widened);
    }

    // Each cell's brightest level, and its lightest colour: the mean of its pixels near that
    // level (between letters, the paper or tint they are printed on).
    void FindTints() {
        cellTop_.assign(cells_.Count(), 0);
        cellTint_.assign(cells_.Count(), paper_);
        for (int cy = 0; cy < cells_.h; ++cy) {
            for (int cx = 0; cx < cells_.w; ++cx) {
                const std::size_t c = std::size_t(cy * cells_.w + cx);
                const int xe = std::min(w_, (cx + 1) * cells_.size);
                const int ye = std::min(h_, (cy + 1) * cells_.size);
                int top = 0;
                for (int y = cy * cells_.size; y < ye; ++y) {
                    for (int x = cx * cells_.size; x < xe; ++x) {
                        top = std::max(top, int(luma_[At(x, y)]));
                    }
                }
                long n = 0;
                long long r = 0, g = 0, b = 0;
                for (int y = cy * cells_.size; y < ye; ++y) {
                    for (int x = cx * cells_.size; x < xe; ++x) {
                        if (luma_[At(x, y)] + 16 >= top) {
                            const uchar* p = Pixel(x, y);
                            r += p[0];
                            g += p[1];
                            b += p[2];
                            ++n;
                        }
                    }
                }
                cellTop_[c] = top;
                if (n > 0) {
                    cellTint_[c] = Rgb{int(r / n), int(g / n), int(b / n)};
                }
            }
        }
    }

    // The tint of a block of cells when nearly all of them share it (the median of each channel),
    // as a shaded box's do; none for a photo, whose shades vary over it.
    static std::optional<Rgb> BoxTint(const std::vector<int>& group,
                                      const std::vector<Rgb>& tints) {
        std::array<std::vector<int>, 3> channels;
        for (int i : group) {
            const Rgb& t = tints[std::size_t(i)];
            channels[0].push_back(t.r);
            channels[1].push_back(t.g);
            channels[2].push_back(t.b);
        }
        for (auto& c : channels) {
            std::nth_element(c.begin(), c.begin() + std::ptrdiff_t(c.size() / 2), c.end());
        }
        const std::size_t middle = group.size() / 2;
        const Rgb median{channels[0][middle], channels[1][middle], channels[2][middle]};
        std::size_t alike = 0;
        for (int i : group) {
            const Rgb& t = tints[std::size_t(i)];
            if (std::max({std::abs(t.r - median.r), std::abs(t.g - median.g),
                          std::abs(t.b - median.b)}) <= kBoxTint) {
                ++alike;
            }
        }
        if (alike * 100 < group.size() * std::size_t(kBoxPercent)) {
            return std::nullopt;
        }
        return median;
    }

    // Each pixel against the paper near it: in a shaded box its tint, elsewhere the brightest
    // cell within two cells (outside photos and boxes), whose light pixels give the colour.
    void FindInk() {
        const std::vector<int>& brightest = cellTop_;
        const std::vector<Rgb>& light = cellTint_;
        std::vector<Rgb> paperNear(cells_.Count(), paper_);
        for (int cy = 0; cy < cells_.h; ++cy) {
            for (int cx = 0; cx < cells_.w; ++cx) {
                if (boxCell_[std::size_t(cy * cells_.w + cx)] != 0) {
                    paperNear[std::size_t(cy * cells_.w + cx)] =
                        boxTint_[std::size_t(cy * cells_.w + cx)];
                    continue;
                }
                int best = -1;
                Rgb colour = paper_;
                for (int dy = -2; dy <= 2; ++dy) {
                    for (int dx = -2; dx <= 2; ++dx) {
                        const int nx = cx + dx, ny = cy + dy;
                        if (nx < 0 || ny < 0 || nx >= cells_.w || ny >= cells_.h) {
                            continue;
                        }
                        const std::size_t n = std::size_t(ny * cells_.w + nx);
                        if (photoCell_[n] == 0 && boxCell_[n] == 0 && brightest[n] > best) {
                            best = brightest[n];
                            colour = light[n];
                        }
                    }
                }
                paperNear[std::size_t(cy * cells_.w + cx)] = colour;
            }
        }
        distance_.assign(std::size_t(w_) * std::size_t(h_), 0);
        std::vector<std::uint8_t> ink(std::size_t(w_) * std::size_t(h_), 0);
        for (int y = 0; y < h_; ++y) {
            for (int x = 0; x < w_; ++x) {
                const std::size_t c = CellOf(x, y);
                if (photoCell_[c] != 0) {
                    continue;
                }
                const int d = std::min(255, Distance(Pixel(x, y), paperNear[c]));
                distance_[At(x, y)] = static_cast<uchar>(d);
                ink[At(x, y)] = d > kInkDistance ? 1 : 0;
            }
        }
        // A lone dark pixel is dust or grain, not a letter.
        bits_.assign(BitStride() * std::size_t(h_), 0);
        ink_.assign(ink.size(), 0);
        inkCount_ = 0;
        for (int y = 0; y < h_; ++y) {
            for (int x = 0; x < w_; ++x) {
                if (ink[At(x, y)] == 0) {
                    continue;
                }
                bool neighbour = false;
                for (int dy = -1; dy <= 1 && !neighbour; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        if ((dx != 0 || dy != 0) && nx >= 0 && ny >= 0 && nx < w_ && ny < h_ &&
                            ink[At(nx, ny)] != 0) {
                            neighbour = true;
                            break;
                        }
                    }
                }
                if (neighbour) {
                    ink_[At(x, y)] = 1;
                    bits_[std::size_t(y) * BitStride() + std::size_t(x / 8)] |=
                        static_cast<uchar>(0x80 >> (x % 8));
                    ++inkCount_;
                }
            }
        }
    }

    // The ink's colour per block, from its strongest pixels (the edges are paper mixed in). A
    // block holding only the edge of a stroke takes the colour of a neighbour holding its core,
    // so that edges keep the letter's colour.
    std::vector<Rgb> Foreground(const Grid& g) const {
        std::vector<int> strongest(g.Count(), 0);
        for (int y = 0; y < h_; ++y) {
            for (int x = 0; x < w_; ++x) {
                if (ink_[At(x, y)] != 0) {
                    int& s = strongest[std::size_t((y / g.size) * g.w + x / g.size)];
                    s = std::max(s, int(distance_[At(x, y)]));
                }
            }
        }
        std::vector<Rgb> colours(g.Count());
        std::vector<std::uint8_t> filled(g.Count(), 0);
        long long tr = 0, tg = 0, tb = 0, tn = 0;
        for (int by = 0; by < g.h; ++by) {
            for (int bx = 0; bx < g.w; ++bx) {
                const std::size_t i = std::size_t(by * g.w + bx);
                int around = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = bx + dx, ny = by + dy;
                        if (nx >= 0 && ny >= 0 && nx < g.w && ny < g.h) {
                            around = std::max(around, strongest[std::size_t(ny * g.w + nx)]);
                        }
                    }
                }
                if (strongest[i] == 0 || strongest[i] * 4 < around * 3) {
                    continue;
                }
                const int xe = std::min(w_, (bx + 1) * g.size),
                          ye = std::min(h_, (by + 1) * g.size);
                long long r = 0, gg = 0, b = 0, n = 0;
                for (int y = by * g.size; y < ye; ++y) {
                    for (int x = bx * g.size; x < xe; ++x) {
                        if (ink_[At(x, y)] != 0 && distance_[At(x, y)] * 10 >= strongest[i] * 8) {
                            const uchar* p = Pixel(x, y);
                            r += p[0];
                            gg += p[1];
                            b += p[2];
                            ++n;
                        }
                    }
                }
                colours[i] = Rgb{int(r / n), int(gg / n), int(b / n)};
                filled[i] = 1;
                tr += r;
                tg += gg;
                tb += b;
                tn += n;
            }
        }
        const Rgb mean = tn > 0 ? Rgb{int(tr / tn), int(tg / tn), int(tb / tn)} : Rgb{};
        FillEmpty(colours, filled, g, mean);
        return colours;
    }

    // Paper and photos per block; near ink, only the pixels clearly not ink nor its fringe.
    std::vector<Rgb> Background(const Grid& g) const {
        std::vector<int> inkIn(g.Count(), 0);
        for (int y = 0; y < h_; ++y) {
            for (int x = 0; x < w_; ++x) {
                inkIn[std::size_t((y / g.size) * g.w + x / g.size)] += ink_[At(x, y)];
            }
        }
        std::vector<Rgb> colours(g.Count());
        std::vector<std::uint8_t> filled(g.Count(), 0);
        for (int by = 0; by < g.h; ++by) {
            for (int bx = 0; bx < g.w; ++bx) {
                bool nearInk = false;
                for (int dy = -1; dy <= 1 && !nearInk; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = bx + dx, ny = by + dy;
                        if (nx >= 0 && ny >= 0 && nx < g.w && ny < g.h &&
                            inkIn[std::size_t(ny * g.w + nx)] > 0) {
                            nearInk = true;
                            break;
                        }
                    }
                }
                const int xe = std::min(w_, (bx + 1) * g.size),
                          ye = std::min(h_, (by + 1) * g.size);
                long long r = 0, gg = 0, b = 0, n = 0;
                for (int y = by * g.size; y < ye; ++y) {
                    for (int x = bx * g.size; x < xe; ++x) {
                        if (nearInk &&
                            (ink_[At(x, y)] != 0 || distance_[At(x, y)] * 2 >= kInkDistance)) {
                            continue;
                        }
                        const uchar* p = Pixel(x, y);
                        r += p[0];
                        gg += p[1];
                        b += p[2];
                        ++n;
                    }
                }
                if (n > 0) {
                    const std::size_t i = std::size_t(by * g.w + bx);
                    colours[i] =
                        Rgb{int((r + n / 2) / n), int((gg + n / 2) / n), int((b + n / 2) / n)};
                    filled[i] = 1;
                }
            }
        }
        FillEmpty(colours, filled, g, paper_);
        return colours;
    }

    const QImage& rgb_;
    int w_, h_;
    Grid cells_;
    std::vector<uchar> luma_;
    std::vector<uchar> distance_; // from the paper near it; 0 in photos
    std::vector<uchar> ink_;
    std::vector<uchar> bits_;
    long inkCount_ = 0;
    int paperLuma_ = 255;
    Rgb paper_;
    std::vector<std::uint8_t> photoCell_;
    std::vector<int> cellTop_;
    std::vector<Rgb> cellTint_;
    std::vector<std::uint8_t> boxCell_; // in a shaded box, of tint boxTint_
    std::vector<Rgb> boxTint_;
};

} // namespace

std::shared_ptr<const TEncodedPicture> EncodeMixedRaster(const QImage& picture, double dpi) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull()) {
        throw EPdfInvalidImageFormat("CreateImage --the picture cannot be converted.");
    }
    Segmenter segmenter(rgb, dpi > 0 ? dpi : 72.0);
    return segmenter.Run(dpi > 0 ? dpi : 72.0);
}
