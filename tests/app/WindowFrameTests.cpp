// Which rectangle shows a window on the screen, given what the desktop compositor answered.

#include "capture/WindowFrame.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowFrame, TakesTheCompositorsBoundsWithinTheWindowRectangleOnlyWhereItAnswered)
{
    const RECT window{100, 50, 900, 650};
    const struct {
        const char* what;
        HRESULT answered;
        RECT bounds;
        RECT frame;
    } cases[] = {
        {"invisible resize borders on three sides", S_OK, {107, 50, 893, 643}, {107, 50, 893, 643}},
        {"bounds equal to the rectangle (no borders)", S_OK, {100, 50, 900, 650}, {100, 50, 900, 650}},
        {"no compositor (Wine, older systems)", E_NOTIMPL, {107, 50, 893, 643}, {100, 50, 900, 650}},
        {"a failed call leaves the bounds unread", E_INVALIDARG, {0, 0, 0, 0}, {100, 50, 900, 650}},
        {"empty bounds", S_OK, {400, 300, 400, 300}, {100, 50, 900, 650}},
        {"bounds elsewhere (another coordinate space)", S_OK, {1200, 900, 1400, 1000}, {100, 50, 900, 650}},
        {"bounds reaching beyond the rectangle are clipped to it", S_OK, {90, 60, 950, 640}, {100, 60, 900, 640}},
    };
    for (const auto& one : cases) {
        const RECT frame = Morvane::ChooseWindowFrame(window, one.answered, one.bounds);
        EXPECT_TRUE(::EqualRect(&frame, &one.frame))
            << one.what << ": " << frame.left << ", " << frame.top << ", " << frame.right << ", " << frame.bottom;
    }
    // A maximised window overhangs its monitor by its borders; its frame is the work area.
    const RECT maximised{-8, -8, 1928, 1048};
    const RECT workArea{0, 0, 1920, 1040};
    const RECT frame = Morvane::ChooseWindowFrame(maximised, S_OK, workArea);
    EXPECT_TRUE(::EqualRect(&frame, &workArea));
}

} // namespace
