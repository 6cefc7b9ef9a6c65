#include "record/WindowFolderCounts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

namespace {

using Morvane::WindowFolderCounts;

// A watch's bookkeeping of folders: counts by window, windows that no longer exist forgotten
// once the counts have grown enough for a look to cost little a window.
TEST(WindowFolderCounts, CountsFoldersAndForgetsWindowsThatNoLongerExist)
{
    struct Case {
        const char* what;
        std::vector<std::uint64_t> saved; // in order
        std::set<std::uint64_t> alive;    // when the counts are looked over
        std::uint64_t asked;
        unsigned expectedCount;
    };
    // 1000 + i: windows saved once each, enough for the counts to be looked over.
    std::vector<std::uint64_t> many;
    for (std::uint64_t i = 0; i < WindowFolderCounts::kFirstSweep; ++i) {
        many.push_back(1000 + i);
    }
    auto then = [&](std::vector<std::uint64_t> first, std::vector<std::uint64_t> more) {
        first.insert(first.end(), more.begin(), more.end());
        return first;
    };
    const Case cases[] = {
        {"never saved", {}, {}, 7, 0},
        {"saved once", {7}, {7}, 7, 1},
        {"saved three times", {7, 8, 7, 7}, {7, 8}, 7, 3},
        {"another window's folders do not count", {7, 8, 8}, {7, 8}, 7, 1},
        {"a gone window is kept until the counts are looked over", {7}, {}, 7, 1},
        {"a gone window is forgotten when they are", then({7, 7}, many), {}, 7, 0},
        {"a window still there keeps its count", then({7, 7}, many), {7}, 7, 2},
        {"a window hidden and shown again keeps counting", then(then({7}, many), {7}), {7}, 7, 2},
        {"a handle back for a new window starts anew", then(then({7}, many), {7}), {}, 7, 1},
    };
    for (const Case& c : cases) {
        std::set<std::uint64_t> alive = c.alive;
        WindowFolderCounts counts([&](std::uint64_t window) { return alive.count(window) != 0; });
        for (const std::uint64_t window : c.saved) {
            counts.NoteFolder(window);
        }
        EXPECT_EQ(counts.Of(c.asked), c.expectedCount) << c.what;
    }
}

// However many windows come and go, only those that still exist, and at most as many again, are kept.
TEST(WindowFolderCounts, StaysBoundedOverManyShortWindows)
{
    std::set<std::uint64_t> alive;
    WindowFolderCounts counts([&](std::uint64_t window) { return alive.count(window) != 0; });
    for (std::uint64_t window = 1; window <= 50'000; ++window) {
        alive.insert(window);
        counts.NoteFolder(window);
        // Ten windows at a time exist; the oldest of them goes.
        if (alive.size() > 10) {
            alive.erase(alive.begin());
        }
        ASSERT_LT(counts.Size(), 2 * WindowFolderCounts::kFirstSweep) << window;
    }
    for (const std::uint64_t window : alive) {
        EXPECT_EQ(counts.Of(window), 1u) << window;
    }
}

} // namespace
