#include "watch/WatchStepRule.h"

#include <gtest/gtest.h>

using Morvane::ChooseWatchStep;
using Morvane::kMonitorPicturesWaitingAtMost;
using Morvane::WatchStep;

TEST(WatchStepRule, WindowsFirstThenMonitorPicturesWhenTheWorkerRestsOrTooManyWait)
{
    struct Case {
        bool windowDue;
        std::size_t monitorPictures;
        bool workerIdle;
        WatchStep expected;
    };
    const Case cases[] = {
        {true, 0, true, WatchStep::SaveWindow},
        {true, 5, true, WatchStep::SaveWindow},
        {true, kMonitorPicturesWaitingAtMost, true, WatchStep::SaveWindow},
        {true, kMonitorPicturesWaitingAtMost + 1, false, WatchStep::TakeMonitorPicture},
        {true, kMonitorPicturesWaitingAtMost + 1, true, WatchStep::TakeMonitorPicture},
        {false, 0, true, WatchStep::Wait},
        {false, 0, false, WatchStep::Wait},
        {false, 1, true, WatchStep::TakeMonitorPicture},
        {false, 1, false, WatchStep::Wait},
        {false, kMonitorPicturesWaitingAtMost, false, WatchStep::Wait},
        {false, kMonitorPicturesWaitingAtMost + 1, false, WatchStep::TakeMonitorPicture},
        {false, kMonitorPicturesWaitingAtMost + 1, true, WatchStep::TakeMonitorPicture},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseWatchStep(c.windowDue, c.monitorPictures, c.workerIdle), c.expected)
            << "window due " << c.windowDue << ", monitor pictures " << c.monitorPictures << ", worker idle "
            << c.workerIdle;
    }
}
