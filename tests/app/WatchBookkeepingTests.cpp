#include "capture/ScreenPictureCheck.h"
#include "record/MonitorsSeen.h"
#include "watch/WatchEvent.h"
#include "watch/WindowSightings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using Morvane::Appearance;
using Morvane::CaughtBy;
using Morvane::Disappearance;
using Morvane::ScannedWindow;
using Morvane::WindowSightings;

constexpr long long kMs = 1000;

// One window's life: created at 0, checked while it waits; it shows at shownAt.
TEST(WindowSightings, CreatedWindowsAreCheckedOftenThenLessThenDropped)
{
    WindowSightings sightings;
    ASSERT_EQ(sightings.Created(7, 0), WindowSightings::Added::Waiting);
    EXPECT_EQ(sightings.Created(7, 0), WindowSightings::Added::Known);
    EXPECT_EQ(sightings.UntilNextDue(0), 0);

    struct Step {
        long long now;
        bool due;
        long long untilNext; // after a look that found it hidden
    };
    const Step steps[] = {
        {0, true, 1 * kMs},                    // eager: every millisecond
        {kMs / 2, false, kMs / 2},             // not due before its time
        {499 * kMs, true, 1 * kMs},            // still eager just before half a second
        {500 * kMs, true, 50 * kMs},           // lazy after it
        {9'999 * kMs, true, 50 * kMs},         // still waiting
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.now);
        const std::vector<std::uint64_t> due = sightings.Due(step.now);
        EXPECT_EQ(!due.empty(), step.due);
        if (step.due) {
            Appearance appearance;
            EXPECT_FALSE(sightings.Looked(7, false, step.now, CaughtBy::Event, appearance));
        }
        EXPECT_EQ(sightings.UntilNextDue(step.now), step.untilNext);
    }
    // Never shown in ten seconds: a helper window, forgotten.
    Appearance appearance;
    EXPECT_FALSE(sightings.Looked(7, false, 10'000 * kMs, CaughtBy::Event, appearance));
    EXPECT_EQ(sightings.WaitingCount(), 0u);
    EXPECT_EQ(sightings.KnownCount(), 0u);
    EXPECT_EQ(sightings.UntilNextDue(10'000 * kMs), -1);
}

TEST(WindowSightings, ShowingsAreCountedAndReportedOnce)
{
    WindowSightings sightings;
    sightings.Baseline({{1, true}, {2, false}});
    Appearance appearance;
    Disappearance disappearance;

    // A window visible at the start is known: no appearance, its next showing is the second.
    EXPECT_FALSE(sightings.Looked(1, true, 5, CaughtBy::Event, appearance));
    ASSERT_TRUE(sightings.Vanished(1, 6, false, disappearance));
    EXPECT_EQ(disappearance.window, 1u);
    EXPECT_EQ(disappearance.goneAt, 6);
    EXPECT_FALSE(sightings.Vanished(1, 7, false, disappearance)); // once
    // The scan asks the owner only of windows not seen showing.
    EXPECT_FALSE(sightings.SeenShowing(1));
    EXPECT_FALSE(sightings.SeenShowing(2));
    // Hidden, it waits to show again, checked as often as a new window.
    EXPECT_EQ(sightings.WaitingCount(), 1u);
    EXPECT_EQ(sightings.Due(7), std::vector<std::uint64_t>{1});
    ASSERT_TRUE(sightings.Looked(1, true, 8, CaughtBy::Event, appearance));
    EXPECT_EQ(appearance.showing, 2u);
    EXPECT_TRUE(sightings.SeenShowing(1));
    EXPECT_EQ(sightings.WaitingCount(), 0u);
    // Destroyed, it waits for nothing.
    ASSERT_TRUE(sightings.Vanished(1, 9, true, disappearance));
    EXPECT_EQ(sightings.WaitingCount(), 0u);
    ASSERT_TRUE(sightings.Looked(1, true, 10, CaughtBy::Event, appearance));
    EXPECT_EQ(appearance.showing, 3u);

    // Created, found visible by its check: caught by the event, once.
    ASSERT_EQ(sightings.Created(3, 10), WindowSightings::Added::Waiting);
    ASSERT_TRUE(sightings.Looked(3, true, 12, CaughtBy::Event, appearance));
    EXPECT_EQ(appearance.window, 3u);
    EXPECT_EQ(appearance.seenAt, 12);
    EXPECT_EQ(appearance.showing, 1u);
    EXPECT_EQ(appearance.caughtBy, CaughtBy::Event);
    EXPECT_FALSE(sightings.Looked(3, true, 13, CaughtBy::Event, appearance));
    EXPECT_EQ(sightings.WaitingCount(), 0u);
    EXPECT_TRUE(sightings.Due(14).empty());

    // The scan: window 3 hidden, window 2 (hidden at the start) shown, window 1 destroyed
    // (missing from the list), window 4 never seen before and visible.
    std::vector<Appearance> appeared;
    std::vector<Disappearance> vanished;
    sightings.Scanned({{2, true}, {3, false}, {4, true}}, 20, appeared, vanished);
    std::sort(appeared.begin(), appeared.end(), [](auto& a, auto& b) { return a.window < b.window; });
    std::sort(vanished.begin(), vanished.end(), [](auto& a, auto& b) { return a.window < b.window; });
    ASSERT_EQ(appeared.size(), 2u);
    EXPECT_EQ(appeared[0].window, 2u);
    EXPECT_EQ(appeared[0].caughtBy, CaughtBy::Scan);
    EXPECT_EQ(appeared[1].window, 4u);
    ASSERT_EQ(vanished.size(), 2u);
    EXPECT_EQ(vanished[0].window, 1u);
    EXPECT_EQ(vanished[1].window, 3u);
    EXPECT_EQ(vanished[1].goneAt, 20);
    EXPECT_EQ(sightings.Due(20), std::vector<std::uint64_t>{3}); // hidden: waits to show again

    // Window 3 shown again: its second showing; a destroyed handle that comes back starts anew.
    appeared.clear();
    vanished.clear();
    sightings.Scanned({{1, true}, {2, true}, {3, true}, {4, true}}, 30, appeared, vanished);
    std::sort(appeared.begin(), appeared.end(), [](auto& a, auto& b) { return a.window < b.window; });
    ASSERT_EQ(appeared.size(), 2u);
    EXPECT_EQ(appeared[0].window, 1u);
    EXPECT_EQ(appeared[0].showing, 1u);
    EXPECT_EQ(appeared[1].window, 3u);
    EXPECT_EQ(appeared[1].showing, 2u);
    EXPECT_TRUE(vanished.empty());
}

TEST(WindowSightings, TheWaitingListIsCapped)
{
    WindowSightings sightings;
    for (std::uint64_t window = 1; window <= WindowSightings::kPendingCap; ++window) {
        ASSERT_EQ(sightings.Created(window, 0), WindowSightings::Added::Waiting);
    }
    EXPECT_EQ(sightings.Created(0xFFFF, 0), WindowSightings::Added::Overflow);
    EXPECT_EQ(sightings.WaitingCount(), WindowSightings::kPendingCap);
    // A window that shows leaves room for one more.
    Appearance appearance;
    ASSERT_TRUE(sightings.Looked(1, true, 1, CaughtBy::Event, appearance));
    EXPECT_EQ(sightings.Created(0xFFFF, 2), WindowSightings::Added::Waiting);
    // Windows destroyed while waiting leave the list with the scan.
    std::vector<Appearance> appeared;
    std::vector<Disappearance> vanished;
    sightings.Scanned({{1, true}}, 3, appeared, vanished);
    EXPECT_EQ(sightings.WaitingCount(), 0u);
    EXPECT_TRUE(appeared.empty());
    EXPECT_TRUE(vanished.empty());
}

// Events heard after the fact: a window that went carries the event's time, earlier than the
// look that follows, and the next scan (which no longer finds it) does not report it again.
TEST(WindowSightings, WindowsGoneBeforeTheirEventIsHeardKeepTheEventsTime)
{
    WindowSightings sightings;
    sightings.Baseline({{1, true}, {2, true}, {3, false}});
    EXPECT_TRUE(sightings.Tracks(1));
    EXPECT_FALSE(sightings.Tracks(3)); // hidden and never seen showing: nothing to follow
    Disappearance disappearance;
    ASSERT_TRUE(sightings.Vanished(1, 40, true, disappearance)); // destroyed at 40, heard later
    EXPECT_EQ(disappearance.goneAt, 40);
    EXPECT_TRUE(sightings.Tracks(1));                             // until the scan misses it
    ASSERT_TRUE(sightings.Vanished(2, 45, false, disappearance)); // cloaked or hidden at 45
    EXPECT_EQ(disappearance.goneAt, 45);
    std::vector<Appearance> appeared;
    std::vector<Disappearance> vanished;
    sightings.Scanned({{2, false}, {3, false}}, 250, appeared, vanished);
    EXPECT_TRUE(appeared.empty());
    EXPECT_TRUE(vanished.empty());
    EXPECT_FALSE(sightings.Tracks(1));
    // Still hidden (or cloaked), window 2 waits to show again; its uncloaking is a showing.
    EXPECT_EQ(sightings.Due(250 + WindowSightings::kEagerInterval), std::vector<std::uint64_t>{2});
    Appearance appearance;
    ASSERT_TRUE(sightings.Looked(2, true, 260, CaughtBy::Event, appearance));
    EXPECT_EQ(appearance.showing, 2u);
}

// The event's tick count on the watch's clock, across the tick count's wrap too.
TEST(WatchEvent, EventTimesComeOnTheWatchClock)
{
    const struct {
        DWORD eventTick;
        DWORD nowTick;
        long long now;
        long long at;
    } times[] = {
        {1000, 1000, 5'000'000, 5'000'000},
        {880, 1000, 5'000'000, 4'880'000},
        {0xFFFFFFF0u, 0x10u, 5'000'000, 4'968'000}, // across the wrap: 32 ms earlier
        {1010, 1000, 5'000'000, 5'000'000},         // read apart, a little ahead: now
    };
    for (const auto& one : times) {
        EXPECT_EQ(Morvane::EventTimeOnWatchClock(one.eventTick, one.nowTick, one.now), one.at) << one.eventTick;
    }
}

TEST(MonitorsSeen, EveryMonitorSeenIsKeptAndTheLaterOnesSayWhenTheyCame)
{
    using Morvane::RunMonitor;
    const RunMonitor primary{1, RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1040}, MONITORINFOF_PRIMARY, L"\\\\.\\DISPLAY1", 96, ""};
    const RunMonitor left{2, RECT{-1280, 0, 0, 1024}, RECT{-1280, 0, 0, 1024}, 0, L"\\\\.\\DISPLAY2", 96, ""};
    RunMonitor primaryScaled = primary;
    primaryScaled.dpi = 144;
    RunMonitor primaryTaskbarMoved = primary;
    primaryTaskbarMoved.workRect = RECT{0, 40, 1920, 1080};

    struct Step {
        std::vector<RunMonitor> listed;
        const char* since;
        std::vector<const char*> keptSince; // of every monitor kept after the step, in order
        std::vector<std::uint32_t> keptDpi;
    };
    const Step steps[] = {
        {{primary}, "", {""}, {96}},                                       // the start
        {{primary}, "T1", {""}, {96}},                                     // nothing new
        {{primary, left}, "T2", {"", "T2"}, {96, 96}},                     // docked
        {{primary}, "T3", {"", "T2"}, {96, 96}},                           // undocked: kept
        {{primaryScaled}, "T4", {"", "T2", "T4"}, {96, 96, 144}},          // a scale change
        {{primaryTaskbarMoved, left}, "T5", {"", "T2", "T4"}, {96, 96, 144}}, // the same ones again
    };
    std::vector<RunMonitor> kept;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.since);
        Morvane::KeepMonitorsSeen(kept, step.listed, step.since);
        ASSERT_EQ(kept.size(), step.keptSince.size());
        for (size_t index = 0; index < kept.size(); ++index) {
            EXPECT_EQ(kept[index].since, step.keptSince[index]) << index;
            EXPECT_EQ(kept[index].dpi, step.keptDpi[index]) << index;
        }
    }
    EXPECT_EQ(kept[0].workRect.top, 40); // the work area follows the latest listing
}

TEST(ScreenPictureCheck, PicturesOfWindowsThatWentAreDroppedAndBlackOnesRetried)
{
    using Morvane::ScreenPictureVerdict;
    struct Case {
        bool exists, visible, moved, black;
        unsigned elapsedMs;
        ScreenPictureVerdict verdict;
        const char* reason;
    };
    const Case cases[] = {
        {true, true, false, false, 0, ScreenPictureVerdict::Keep, nullptr},
        {true, true, false, true, 0, ScreenPictureVerdict::Retry, nullptr},
        {true, true, false, true, 180, ScreenPictureVerdict::Retry, nullptr},
        {true, true, false, true, 181, ScreenPictureVerdict::Keep, nullptr}, // no time for another
        {false, false, false, false, 0, ScreenPictureVerdict::DropDestroyed, "destroyed"},
        {true, false, false, true, 0, ScreenPictureVerdict::DropHidden, "hidden"},
        {true, true, true, false, 0, ScreenPictureVerdict::DropMoved, "moved"},
        {true, true, true, true, 500, ScreenPictureVerdict::DropMoved, "moved"},
    };
    for (const Case& example : cases) {
        SCOPED_TRACE(testing::Message() << example.exists << example.visible << example.moved << example.black << " "
                                        << example.elapsedMs);
        const ScreenPictureVerdict verdict = Morvane::JudgeScreenPicture(
            {example.exists, example.visible, example.moved, example.black}, example.elapsedMs);
        EXPECT_EQ(verdict, example.verdict);
        const char* reason = Morvane::DropReasonName(verdict);
        EXPECT_STREQ(reason == nullptr ? "" : reason, example.reason == nullptr ? "" : example.reason);
    }
}

} // namespace
