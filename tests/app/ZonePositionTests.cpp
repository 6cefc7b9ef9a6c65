#include "capture/ZonePosition.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace Morvane;

struct ZoneCase {
    RECT window;
    RECT monitor;
    ZonePosition expected;
    const char* why;
};

constexpr RECT kPrimary{0, 0, 1920, 1080};
constexpr RECT kBelow{0, 1080, 1920, 2160};

class ZoneClassification : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(ZoneClassification, MatchesTheBandRules)
{
    const ZoneCase& sample = GetParam();
    EXPECT_EQ(ClassifyZonePosition(sample.window, sample.monitor), sample.expected) << sample.why;
}

INSTANTIATE_TEST_SUITE_P(
    PrimaryMonitor, ZoneClassification,
    ::testing::Values(ZoneCase{{0, 0, 1920, 1080}, kPrimary, FullHouse, "exactly the monitor"},
                      ZoneCase{{-8, -8, 1928, 1088}, kPrimary, FullHouse, "maximised frame, differences 16 and 16"},
                      ZoneCase{{-8, -8, 1928, 1048}, kPrimary, Center, "height differs by 24"},
                      ZoneCase{{-10, 0, 1910, 1080}, kPrimary, FullHouse, "shifted, same size"},
                      ZoneCase{{0, 0, 1901, 1080}, kPrimary, FullHouse, "width differs by 19"},
                      ZoneCase{{0, 0, 1900, 1080}, kPrimary, Center, "width differs by exactly 20"},
                      ZoneCase{{-20, 0, 1940, 1080}, kPrimary, Center, "larger by 40"},
                      ZoneCase{{800, 400, 1120, 680}, kPrimary, Center, "small, in the middle"},
                      ZoneCase{{0, 0, 300, 200}, kPrimary, LeftTopCornet, "row 0"},
                      ZoneCase{{0, 400, 300, 700}, kPrimary, LeftBottomCornet, "row 1, centre 550"},
                      ZoneCase{{0, 0, 1279, 1080}, kPrimary, LeftBottomCornet, "centre y exactly on the middle"},
                      ZoneCase{{0, 380, 300, 698}, kPrimary, LeftTopCornet, "row 1 but centre 539 above middle"},
                      ZoneCase{{1600, 0, 1920, 200}, kPrimary, RightTopCorner, "right, top"},
                      ZoneCase{{1600, 880, 1920, 1080}, kPrimary, RightBottomCorner, "right, bottom"},
                      ZoneCase{{1900, 0, 2500, 100}, kPrimary, OverRight, "column 3"},
                      ZoneCase{{-700, 0, -100, 100}, kPrimary, LeftTopCornet, "-400 / 640 truncates to 0"},
                      ZoneCase{{-1000, 0, -400, 100}, kPrimary, OverRight, "column -1"},
                      ZoneCase{{0, 0, 4, 4}, kPrimary, LeftTopCornet, "4x4 is usable"},
                      ZoneCase{{0, 0, 3, 100}, kPrimary, InvalidRectangle, "3 pixels wide"},
                      ZoneCase{{0, 0, 100, 3}, kPrimary, InvalidRectangle, "3 pixels high"},
                      ZoneCase{{10, 10, 0, 0}, kPrimary, InvalidRectangle, "inverted"},
                      ZoneCase{{0, 0, 100, 100}, RECT{0, 0, 3, 1080}, InvalidRectangle, "monitor 3 wide"}));

INSTANTIATE_TEST_SUITE_P(
    MonitorBelowThePrimary, ZoneClassification,
    ::testing::Values(ZoneCase{{0, 1980, 300, 2160}, kBelow, LeftBottomCornet, "own terms: lower left"},
                      ZoneCase{{1600, 1900, 1920, 2160}, kBelow, RightBottomCorner, "own terms: lower right"},
                      ZoneCase{{0, 1080, 300, 1280}, kBelow, LeftTopCornet, "own terms: upper left"},
                      ZoneCase{{0, 1080, 1920, 2160}, kBelow, FullHouse, "whole monitor"}));

TEST(ZoneBands, PixelsPastTheLastWholeBandAreOverRight)
{
    // 1922 / 3 = 640: centres 1920 and 1921 pixels from the left edge belong to no band.
    const RECT monitor{0, 0, 1922, 1080};
    EXPECT_EQ(ClassifyZonePosition(RECT{1916, 0, 1924, 100}, monitor), OverRight);
    EXPECT_EQ(ClassifyZonePosition(RECT{1917, 0, 1925, 100}, monitor), OverRight);
    EXPECT_EQ(ClassifyZonePosition(RECT{1915, 0, 1923, 100}, monitor), RightTopCorner);
}

} // namespace
