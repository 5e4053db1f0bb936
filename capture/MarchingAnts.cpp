#include "capture/MarchingAnts.h"

#include <QRect>

#include <algorithm>

namespace velorix::capture {

AntsPhases& ProgramAntsPhases() {
    static AntsPhases phases;
    return phases;
}

std::uint8_t NextPenPhase(std::uint8_t pen) {
    const auto next = static_cast<std::uint8_t>(pen << 1);
    return next == 0 ? 1 : next;
}

std::uint8_t NextStartPhase(std::uint8_t start) {
    const auto next = static_cast<std::uint8_t>(start >> 2);
    return next == 0 ? 0x80 : next;
}

namespace {

// Every pixel of an axis-parallel edge from `from` towards `to`, `to` itself left out.
void WalkEdge(QPoint from, QPoint to, std::uint8_t& pen, std::vector<AntPixel>& out) {
    const int steps = std::max(std::abs(to.x() - from.x()), std::abs(to.y() - from.y()));
    const int dx = to.x() > from.x() ? 1 : (to.x() < from.x() ? -1 : 0);
    const int dy = to.y() > from.y() ? 1 : (to.y() < from.y() ? -1 : 0);
    for (int i = 0; i < steps; ++i) {
        pen = NextPenPhase(pen);
        out.push_back({QPoint(from.x() + i * dx, from.y() + i * dy), IsRedPhase(pen)});
    }
}

} // namespace

std::vector<AntPixel> WalkOutline(QPoint p1, QPoint p2, std::uint8_t& pen) {
    std::vector<AntPixel> out;
    out.reserve(
        static_cast<std::size_t>(2 * (std::abs(p2.x() - p1.x()) + std::abs(p2.y() - p1.y()))));
    WalkEdge(p1, QPoint(p2.x(), p1.y()), pen, out);
    WalkEdge(QPoint(p2.x(), p1.y()), p2, pen, out);
    WalkEdge(p2, QPoint(p1.x(), p2.y()), pen, out);
    WalkEdge(QPoint(p1.x(), p2.y()), p1, pen, out);
    return out;
}

QRegion OutlineBand(QPoint p1, QPoint p2) {
    // Left and top inclusive, right and bottom exclusive, as the corners are taken.
    const int left = std::min(p1.x(), p2.x());
    const int right = std::max(p1.x(), p2.x());
    const int top = std::min(p1.y(), p2.y());
    const int bottom = std::max(p1.y(), p2.y());
    const QRect grown(QPoint(left - 1, top - 1), QPoint(right, bottom));
    const QRect shrunk(QPoint(left + 1, top + 1), QPoint(right - 2, bottom - 2));
    QRegion band(grown);
    if (shrunk.isValid())
        band -= QRegion(shrunk);
    return band;
}

} // namespace velorix::capture
