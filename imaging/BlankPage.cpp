#include "imaging/BlankPage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kCellMm = 0.5;
constexpr int kMarginPercent = 4;
constexpr int kInkBelowPaper = 48;
constexpr int kGreyBelowPaper = 32;
constexpr int kClusterCells = 5;

// The page's grey levels row by row, without a copy for the formats scans come in.
class GreyRows {
public:
    explicit GreyRows(const QImage& page) : page_(page) {
        switch (page.format()) {
        case QImage::Format_Grayscale8:
        case QImage::Format_RGB888:
            break;
        case QImage::Format_Indexed8: {
            const QList<QRgb> table = page.colorTable();
            for (int i = 0; i < 256; ++i)
                lookup_[static_cast<std::size_t>(i)] =
                    static_cast<std::uint8_t>(i < table.size() ? qGray(table[i]) : 0);
            break;
        }
        default:
            page_ = page.convertToFormat(QImage::Format_Grayscale8);
        }
        row_.resize(static_cast<std::size_t>(page_.width()));
    }
    const std::uint8_t* Row(int y) {
        const uchar* line = page_.constScanLine(y);
        const int w = page_.width();
        switch (page_.format()) {
        case QImage::Format_Grayscale8:
            return line;
        case QImage::Format_Indexed8:
            for (int x = 0; x < w; ++x)
                row_[static_cast<std::size_t>(x)] = lookup_[line[x]];
            return row_.data();
        default: // RGB888
            for (int x = 0; x < w; ++x) {
                const uchar* p = line + 3 * x;
                row_[static_cast<std::size_t>(x)] =
                    static_cast<std::uint8_t>((p[0] * 11 + p[1] * 16 + p[2] * 5) / 32);
            }
            return row_.data();
        }
    }

private:
    QImage page_;
    std::array<std::uint8_t, 256> lookup_{};
    std::vector<std::uint8_t> row_;
};

double DotsPerInch(const QImage& page) {
    const double dpi = page.dotsPerMeterX() * kMmPerInch / 1000.0;
    if (dpi >= 30 && dpi <= 4800)
        return dpi;
    return page.width() / (210.0 / kMmPerInch); // as wide as A4
}

} // namespace

PageInk MeasureInk(const QImage& page) {
    PageInk ink;
    if (page.isNull())
        return ink;
    const double dpi = DotsPerInch(page);
    const int cell = std::max(1, static_cast<int>(std::lround(dpi * kCellMm / kMmPerInch)));
    const int x0 = page.width() * kMarginPercent / 100, x1 = page.width() - x0;
    const int y0 = page.height() * kMarginPercent / 100, y1 = page.height() - y0;
    if (x1 <= x0 || y1 <= y0)
        return ink;
    GreyRows rows(page);

    // The paper: the level that seven pixels in ten reach or pass, writing being the minority.
    std::array<std::uint64_t, 256> histogram{};
    std::uint64_t pixels = 0;
    for (int y = y0; y < y1; y += 2) {
        const std::uint8_t* row = rows.Row(y);
        for (int x = x0; x < x1; x += 2)
            ++histogram[row[x]];
        pixels += static_cast<std::uint64_t>((x1 - x0 + 1) / 2);
    }
    // The level that the given tenths of the pixels reach or pass.
    auto reached = [&](std::uint64_t tenths, std::uint64_t outOf) {
        std::uint64_t seen = 0;
        for (int level = 0; level < 256; ++level) {
            seen += histogram[static_cast<std::size_t>(level)];
            if (seen * outOf >= pixels * tenths)
                return level;
        }
        return 255;
    };
    const int paper = reached(3, 10);
    ink.paperLevel = paper;
    ink.spread = reached(19, 20) - reached(1, 20);
    std::uint64_t grey = 0;
    for (int level = 0; level < paper - kGreyBelowPaper; ++level)
        grey += histogram[static_cast<std::size_t>(level)];
    ink.greyShare = pixels ? static_cast<double>(grey) / static_cast<double>(pixels) : 0;
    const int darkBelow = paper - kInkBelowPaper;
    if (darkBelow <= 0)
        return ink;

    const int cellsX = (x1 - x0 + cell - 1) / cell, cellsY = (y1 - y0 + cell - 1) / cell;
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(cellsX) *
                                      static_cast<std::size_t>(cellsY));
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* row = rows.Row(y);
        std::uint32_t* line = counts.data() + static_cast<std::size_t>((y - y0) / cell) *
                                                  static_cast<std::size_t>(cellsX);
        for (int x = x0; x < x1; ++x)
            if (row[x] < darkBelow)
                ++line[(x - x0) / cell];
    }
    std::vector<std::uint8_t> inked(counts.size());
    for (int cy = 0; cy < cellsY; ++cy)
        for (int cx = 0; cx < cellsX; ++cx) {
            const int w = std::min(cell, x1 - x0 - cx * cell);
            const int h = std::min(cell, y1 - y0 - cy * cell);
            const std::size_t i = static_cast<std::size_t>(cy) * static_cast<std::size_t>(cellsX) +
                                  static_cast<std::size_t>(cx);
            inked[i] = counts[i] * 6 >= static_cast<std::uint32_t>(w * h) ? 1 : 0;
        }

    // Clusters of inked cells, touching by a side or a corner.
    std::uint64_t writing = 0;
    std::vector<std::size_t> stack;
    for (std::size_t start = 0; start < inked.size(); ++start) {
        if (inked[start] != 1)
            continue;
        inked[start] = 2;
        stack.assign(1, start);
        std::size_t size = 0;
        while (!stack.empty()) {
            const std::size_t i = stack.back();
            stack.pop_back();
            ++size;
            const int cx = static_cast<int>(i % static_cast<std::size_t>(cellsX));
            const int cy = static_cast<int>(i / static_cast<std::size_t>(cellsX));
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = cx + dx, ny = cy + dy;
                    if (nx < 0 || ny < 0 || nx >= cellsX || ny >= cellsY)
                        continue;
                    const std::size_t n =
                        static_cast<std::size_t>(ny) * static_cast<std::size_t>(cellsX) +
                        static_cast<std::size_t>(nx);
                    if (inked[n] == 1) {
                        inked[n] = 2;
                        stack.push_back(n);
                    }
                }
        }
        if (size >= kClusterCells)
            writing += size;
    }
    const double cellMm = cell * kMmPerInch / dpi;
    ink.inkAreaMm2 = static_cast<double>(writing) * cellMm * cellMm;
    return ink;
}

bool IsBlankPage(const QImage& page) {
    const PageInk ink = MeasureInk(page);
    return ink.paperLevel >= 160 && ink.greyShare < 0.05 && ink.spread <= 40 &&
           ink.inkAreaMm2 < kBlankInkMm2;
}
