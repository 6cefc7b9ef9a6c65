#include "watch/IconRemovalWait.h"
#include "watch/IconRetry.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct RetryCase {
    unsigned failedAttempts;
    unsigned long long sinceFirstMs;
    std::optional<unsigned> delayMs;
};

TEST(IconRetry, WaitsDoubleUpToAQuarterMinuteForFiveMinutes)
{
    const RetryCase cases[] = {
        {0, 0, std::nullopt}, // nothing refused, nothing to try again
        {1, 0, 1'000},
        {2, 1'000, 2'000},
        {3, 3'000, 4'000},
        {4, 7'000, 8'000},
        {5, 15'000, 15'000}, // 16 s would be longer than the longest wait
        {6, 30'000, 15'000},
        {40, 200'000, 15'000}, // many refusals: no overflow of the doubling
        {1'000'000, 1'000, 15'000},
        {20, 285'000, 15'000}, // the last attempt falls at five minutes exactly
        {20, 285'001, std::nullopt},
        {2, 299'000, std::nullopt},
        {1, 299'000, 1'000},
        {1, 299'001, std::nullopt},
        {3, 10'000'000, std::nullopt},
    };
    for (const RetryCase& example : cases) {
        SCOPED_TRACE(testing::Message() << example.failedAttempts << " refused, " << example.sinceFirstMs << " ms");
        EXPECT_EQ(Morvane::NextIconAttemptDelayMs(example.failedAttempts, example.sinceFirstMs), example.delayMs);
    }
}

// The removal asked at the stop has a tenth of a second from then; an end that took longer
// does not wait for it again.
TEST(IconRemovalWait, CountsFromWhenTheRemovalWasAsked)
{
    const struct {
        unsigned long long sinceAskedMs;
        unsigned long waitLeftMs;
    } cases[] = {{0, 100}, {1, 99}, {40, 60}, {99, 1}, {100, 0}, {650, 0}, {~0ull, 0}};
    for (const auto& example : cases) {
        SCOPED_TRACE(example.sinceAskedMs);
        EXPECT_EQ(Morvane::IconRemovalWaitLeftMs(example.sinceAskedMs), example.waitLeftMs);
    }
}

} // namespace
