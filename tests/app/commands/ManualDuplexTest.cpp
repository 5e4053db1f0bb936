// The interleave of a front pass and a reversed back pass.
#include "app/commands/ManualDuplex.h"

#include <gtest/gtest.h>

using velorix::InterleaveSides;
using Order = std::vector<std::size_t>;

TEST(InterleaveSides, BacksComeLastPageFirst) {
    // Scanned 1 3 5, then 6 4 2: positions 0 1 2 and 3 4 5.
    const auto sides = InterleaveSides(3, 3);
    EXPECT_TRUE(sides.matched);
    EXPECT_EQ(sides.order, (Order{0, 5, 1, 4, 2, 3}));
    EXPECT_EQ(InterleaveSides(1, 1).order, (Order{0, 1}));
    EXPECT_TRUE(InterleaveSides(0, 0).order.empty());
}

TEST(InterleaveSides, UnequalPassesKeepScanOrder) {
    for (const auto& [fronts, backs] :
         {std::pair<std::size_t, std::size_t>{3, 2}, {2, 3}, {0, 2}}) {
        const auto sides = InterleaveSides(fronts, backs);
        EXPECT_FALSE(sides.matched);
        Order scanned(fronts + backs);
        for (std::size_t i = 0; i < scanned.size(); ++i)
            scanned[i] = i;
        EXPECT_EQ(sides.order, scanned);
    }
}
