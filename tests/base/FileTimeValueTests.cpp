#include "system/FileTimeValue.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using TalvexBasic::FileTimeValue;
using TalvexBasic::JoinHighLow;

// The halves join without sign extension or carry: a set top bit of either half stays where it is.
TEST(FileTimeValue, JoinsHighAndLowHalves)
{
    const struct {
        DWORD high;
        DWORD low;
        std::uint64_t expected;
    } kCases[] = {
        {0, 0, 0},
        {0, 0xFFFFFFFFu, 0xFFFFFFFFull},
        {1, 0, 0x100000000ull},
        {0, 0x80000000u, 0x80000000ull},
        {0x80000000u, 1, 0x8000000000000001ull},
        {0x01DB4C2Fu, 0x9A3E6000u, 0x01DB4C2F9A3E6000ull},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFFFFFFFFFull},
    };
    for (const auto& each : kCases) {
        EXPECT_EQ(JoinHighLow(each.high, each.low), each.expected) << each.high << ":" << each.low;
        EXPECT_EQ(FileTimeValue(FILETIME{each.low, each.high}), each.expected) << each.high << ":" << each.low;
    }
}

// The platform's own times: one second later, across a day's end, is 10 000 000 steps later.
TEST(FileTimeValue, CountsTheSameStepsAsThePlatform)
{
    SYSTEMTIME time{2026, 12, 1, 7, 23, 59, 59, 999};
    FILETIME before{};
    ASSERT_TRUE(::SystemTimeToFileTime(&time, &before));
    time = {2026, 12, 2, 8, 0, 0, 0, 999};
    FILETIME after{};
    ASSERT_TRUE(::SystemTimeToFileTime(&time, &after));
    EXPECT_EQ(FileTimeValue(after) - FileTimeValue(before), 10000000ull);
}

} // namespace
