// The covered share of a window: overlaps counted once, parts outside the window left out; and
// the recorder's use of it, by visible frames, with the frame in the record where it differs.

#include "record/CoveredShare.h"
#include "record/RunRecord.h"
#include "record/RunRecorder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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

// Two saved windows of a run's start, the first one above: the second one's picture came from
// the screen, so the recorder notes what covers it, judged by what the screen shows of each.
TEST(CoveredShare, RunStartJudgesTheWindowsByTheirVisibleFrames)
{
    const RECT belowRect{300, 620, 500, 760};
    const RECT aboveRect{493, 620, 693, 760}; // its invisible left border reaches over the one below
    const struct {
        const char* what;
        bool aboveHasFrame;
        RECT aboveFrame;
        bool belowHasFrame;
        RECT belowFrame;
        size_t coveredBy;
        double share;
    } cases[] = {
        {"no compositor: the rectangles overlap", false, {}, false, {}, 1u, 7.0 / 200.0},
        {"the border above is invisible", true, {500, 620, 686, 753}, false, {}, 0u, 0.0},
        {"the frame above reaches over the frame below", true, {450, 620, 686, 753}, true, {307, 620, 493, 753}, 1u,
         43.0 / 186.0},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(one.what);
        Morvane::RunRecorder recorder;
        const auto add = [&](ULONG_PTR handle, const RECT& rect, Morvane::PictureSource source, bool hasFrame,
                             const RECT& frame) {
            Morvane::WindowInfo window;
            window.mWindowHandle = reinterpret_cast<HWND>(handle);
            window.mStyle = WS_POPUP | WS_VISIBLE;
            window.mWindowRectangle = rect;
            Morvane::WindowShotOutcome shot;
            shot.pictureSource = source;
            shot.hasFrame = hasFrame;
            shot.frame = frame;
            return recorder.AddSaved(window, shot);
        };
        static_cast<void>(add(0x1230, aboveRect, Morvane::PictureSource::PrintWindow, one.aboveHasFrame, one.aboveFrame));
        const Morvane::RunWindow entry =
            add(0x4560, belowRect, Morvane::PictureSource::Screen, one.belowHasFrame, one.belowFrame);
        EXPECT_EQ(entry.coveredBy.size(), one.coveredBy);
        EXPECT_NEAR(entry.coveredShare, one.share, 1e-9);

        // The record keeps the rectangle, and names the frame only where it differs.
        const nlohmann::json record = nlohmann::json::parse(Morvane::MakeRunRecordJson(recorder.Summary()));
        const nlohmann::json& written = record["windows"][1];
        EXPECT_EQ(written["rect"]["left"], 300);
        EXPECT_EQ(written["rect"]["right"], 500);
        if (one.belowHasFrame) {
            EXPECT_EQ(written["frame"], (nlohmann::json{{"left", 307}, {"top", 620}, {"right", 493}, {"bottom", 753}}));
        } else {
            ASSERT_TRUE(written.contains("frame"));
            EXPECT_TRUE(written["frame"].is_null());
        }
    }
}

} // namespace
