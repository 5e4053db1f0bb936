#pragma once
// The moving dotted frame of the capture overlay: 5 white then 3 red pixels along a walk of the
// rectangle's four edges, the pattern moving two pixels along the walk at every tick.

#include <QPoint>
#include <QRegion>

#include <cstdint>
#include <vector>

namespace velorix::capture {

// The two 8-bit phases of the frame. They are kept once for the whole program, not per overlay:
// ProgramAntsPhases() is that one instance (GUI thread only).
struct AntsPhases {
    std::uint8_t start = 0x80; // where the walk's pattern begins; moves at each tick
    std::uint8_t pen = 0x80;   // running one-bit mask while the walk is drawn
};
AntsPhases& ProgramAntsPhases();

// The pen phase for the next pixel: one bit further left, 0 wrapping round to 1.
std::uint8_t NextPenPhase(std::uint8_t pen);
// Red for the three high bits, white otherwise.
inline bool IsRedPhase(std::uint8_t pen) {
    return (pen & 0xE0) != 0;
}
// The start phase after one tick: two bits further right, 0 wrapping round to 0x80.
std::uint8_t NextStartPhase(std::uint8_t start);

struct AntPixel {
    QPoint at;
    bool red;
};

// The frame from p1 to p2: the edges (x1,y1)→(x2,y1)→(x2,y2)→(x1,y2)→(x1,y1), each edge with
// every pixel but its end point, in walking order. pen runs on through the four edges and is left
// at its value after the last pixel.
std::vector<AntPixel> WalkOutline(QPoint p1, QPoint p2, std::uint8_t& pen);

// The band that is repainted from the snapshot to take a frame away: the rectangle spanned by p1
// and p2 grown by one pixel, less the same rectangle shrunk by one pixel, with p1 and p2 taken as
// the left-top corner and the right-bottom edge. It holds every pixel of WalkOutline(p1, p2).
QRegion OutlineBand(QPoint p1, QPoint p2);

} // namespace velorix::capture
