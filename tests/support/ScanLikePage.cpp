#include "tests/support/ScanLikePage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace velorix::testing {

namespace {

struct Rng {
    std::uint64_t state;
    std::uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<std::uint32_t>(state);
    }
};

int Clamp(int v) {
    return std::clamp(v, 0, 255);
}

} // namespace

QImage ScanLikePage(int page, int width, int height) {
    // The layout is drawn for A4 at 300 dpi and scaled to the size asked for.
    const double scale = width / static_cast<double>(kA4Width300);
    auto at = [scale](int v) { return static_cast<int>(v * scale); };
    QImage image(width, height, QImage::Format_RGB32);
    Rng rng{0x9E3779B97F4A7C15ULL * static_cast<std::uint64_t>(page + 1)};
    const int photoTop = at(1400 + 40 * page);
    const int photoLeft = at(300);
    const int photoWidth = at(1800);
    const int photoHeight = at(1100);

    // Where the ink of the text lines falls: words of letter-sized strokes.
    std::vector<std::uint8_t> ink(static_cast<std::size_t>(width));
    int inkLine = -1;
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const int lineHeight = std::max(1, at(60));
        const int line = (y - at(250)) / lineHeight;
        const int inLine = (y - at(250)) * 60 / lineHeight % 60;
        const bool textRow = y >= at(250) && y < at(3300) && inLine >= 12 && inLine < 42 &&
                             (y < photoTop - at(40) || y > photoTop + photoHeight + at(40));
        if (textRow && line != inkLine) {
            inkLine = line;
            Rng lineRng{static_cast<std::uint64_t>(line * 7919 + page * 104729 + 1)};
            std::fill(ink.begin(), ink.end(), 0);
            int x = at(250);
            while (x < width - at(250)) {
                const int word = 3 + static_cast<int>(lineRng.Next() % 9);
                for (int c = 0; c < word && x < width - at(250); ++c) {
                    const int glyph = std::max(1, at(14 + static_cast<int>(lineRng.Next() % 10)));
                    const std::uint32_t shape = lineRng.Next();
                    for (int k = 0; k < glyph; ++k) {
                        // A few vertical strokes per letter.
                        ink[static_cast<std::size_t>(x + k)] =
                            ((shape >> (k % 24)) & 1) != 0 || k % 7 == 0 ? 1 : 0;
                    }
                    x += glyph + std::max(1, at(3));
                }
                x += at(22);
            }
        }
        for (int x = 0; x < width; ++x) {
            // Slightly uneven paper.
            int r = 244 - x / 400 - y / 900;
            int g = 241 - x / 420 - y / 950;
            int b = 232 - x / 450 - y / 1000;
            if (textRow && ink[static_cast<std::size_t>(x)] != 0) {
                r = g = b = 40 + (inLine % 5) * 6;
            }
            if (y >= photoTop && y < photoTop + photoHeight && x >= photoLeft &&
                x < photoLeft + photoWidth) {
                const double u = (x - photoLeft) / static_cast<double>(photoWidth);
                const double v = (y - photoTop) / static_cast<double>(photoHeight);
                r = static_cast<int>(120 + 90 * std::sin(6.0 * u + 2.0 * v + page));
                g = static_cast<int>(110 + 80 * std::sin(4.0 * v - 3.0 * u));
                b = static_cast<int>(100 + 70 * std::cos(5.0 * u * v + 1.0));
            }
            const std::uint32_t noise = rng.Next();
            r = Clamp(r + static_cast<int>(noise & 7) - 3);
            g = Clamp(g + static_cast<int>((noise >> 3) & 7) - 3);
            b = Clamp(b + static_cast<int>((noise >> 6) & 7) - 3);
            row[x] = qRgb(r, g, b);
        }
    }
    return image;
}

} // namespace velorix::testing
