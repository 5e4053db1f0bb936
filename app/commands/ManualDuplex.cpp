#include "app/commands/ManualDuplex.h"

namespace velorix {

SidesOrder InterleaveSides(std::size_t fronts, std::size_t backs) {
    SidesOrder sides;
    sides.matched = fronts == backs;
    sides.order.reserve(fronts + backs);
    if (!sides.matched) {
        for (std::size_t i = 0; i < fronts + backs; ++i)
            sides.order.push_back(i);
        return sides;
    }
    for (std::size_t i = 0; i < fronts; ++i) {
        sides.order.push_back(i);
        sides.order.push_back(fronts + backs - 1 - i); // the last back scanned is sheet 1's
    }
    return sides;
}

} // namespace velorix
