// SPDX-License-Identifier: GPL-3.0-or-later
#include "colourdifference.h"

#include <gtest/gtest.h>

// Pairs from Sharma, Wu and Dalal, "The CIEDE2000 color-difference formula: implementation notes,
// supplementary test data, and mathematical observations" (2005), with their published ΔE00.
TEST(ColourDifference, Ciede2000MatchesPublishedPairs) {
    struct Pair {
        cv::Vec3d first;
        cv::Vec3d second;
        double deltaE;
    };
    const Pair pairs[] = {
        {{50.0, 2.6772, -79.7751}, {50.0, 0.0, -82.7485}, 2.0425},
        {{50.0, 3.1571, -77.2803}, {50.0, 0.0, -82.7485}, 2.8615},
        {{50.0, 2.8361, -74.0200}, {50.0, 0.0, -82.7485}, 3.4412},
        {{50.0, 0.0, 0.0}, {50.0, -1.0, 2.0}, 2.3669},
        {{50.0, 2.4900, -0.0010}, {50.0, -2.4900, 0.0009}, 7.1792},
        {{50.0, 2.5, 0.0}, {73.0, 25.0, -18.0}, 27.1492},
        {{50.0, 2.5, 0.0}, {61.0, -5.0, 29.0}, 22.8977},
        {{50.0, 2.5, 0.0}, {56.0, -27.0, -3.0}, 31.9030},
        {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644},
    };
    for (const Pair &pair : pairs) {
        SCOPED_TRACE(testing::Message() << "pair with ΔE00 " << pair.deltaE);
        EXPECT_NEAR(deltaE2000(pair.first, pair.second), pair.deltaE, 1e-4);
        EXPECT_NEAR(deltaE2000(pair.second, pair.first), pair.deltaE, 1e-4);
    }
    EXPECT_DOUBLE_EQ(deltaE76({50, 10, -20}, {53, 14, -20}), 5.0);
    EXPECT_DOUBLE_EQ(deltaE2000({40, 5, 5}, {40, 5, 5}), 0.0);
}
