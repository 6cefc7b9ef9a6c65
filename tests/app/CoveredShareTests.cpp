// The covered share of a window: overlaps counted once, parts outside the window left out.

#include "record/CoveredShare.h"

#include <gtest/gtest.h>

namespace {

TEST(CoveredShare, CountsTheUnionOfTheCoveringPartsInsideTheWindow)
{
    const RECT window{0, 0, 100, 100};
    const struct {
        const char* what;
        std::vector<RECT> above;
        double share;
    } cases[] = {
        {"nothing above", {}, 0.0},
        {"wholly covered by a larger window", {{-50, -50, 150, 150}}, 1.0},
        {"left half", {{0, 0, 50, 100}}, 0.5},
        {"a corner reaching beyond the window", {{75, 75, 300, 300}}, 0.0625},
        {"beside the window, edges touching", {{100, 0, 200, 100}, {0, 100, 100, 200}}, 0.0},
        {"two overlapping windows count once", {{0, 0, 60, 100}, {40, 0, 100, 50}}, 0.8},
        {"the same window twice", {{0, 0, 50, 50}, {0, 0, 50, 50}}, 0.25},
        {"a strip crossing another", {{0, 40, 100, 60}, {40, 0, 60, 100}}, 0.36},
        {"an empty rectangle", {{10, 10, 10, 90}}, 0.0},
        {"negative coordinates", {{-1000, -1000, 25, 1000}}, 0.25},
    };
    for (const auto& one : cases) {
        EXPECT_DOUBLE_EQ(Morvane::CoveredShare(window, one.above), one.share) << one.what;
    }
    // On a monitor left of the primary, and an empty window.
    EXPECT_DOUBLE_EQ(Morvane::CoveredShare(RECT{-1100, 100, -700, 400}, {{-900, 0, -500, 250}}), 0.25);
    EXPECT_DOUBLE_EQ(Morvane::CoveredShare(RECT{0, 0, 0, 100}, {{0, 0, 100, 100}}), 0.0);
}

} // namespace
