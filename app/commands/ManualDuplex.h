// The two passes of a stack scanned on one side at a time: the fronts in order, then the
// stack turned over, its backs coming last page first.
#pragma once

#include <cstddef>
#include <vector>

namespace velorix {

struct SidesOrder {
    // Positions in the scan order (fronts, then backs as scanned), in reading order.
    std::vector<std::size_t> order;
    // The two passes had as many pages each; when not, the order is the scan order, nothing
    // left out, and the user is told.
    bool matched = true;
};

// 1 3 5 + 6 4 2 gives 1 2 3 4 5 6.
SidesOrder InterleaveSides(std::size_t fronts, std::size_t backs);

} // namespace velorix
