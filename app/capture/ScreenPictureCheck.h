#pragma once

namespace Morvane {

// What became of a window between a capture from the screen and the look right after it.
struct WindowAfterCapture {
    bool exists = true;
    bool visible = true;
    bool moved = false; // its rectangle is not the one sampled
    bool black = false; // the picture has no pixel that is not black
};

enum class ScreenPictureVerdict {
    Keep,
    Retry,         // black while the window is still there: taken again a little later
    DropDestroyed, // the picture would show what lies where the window was
    DropHidden,
    DropMoved,
};

// A just-shown window's content reaches the screen a few milliseconds after it shows, so a
// black picture is taken again every kRetryInterval until kRetryLimit after the first; a black
// one is kept after that. A picture of a window that went or moved shows something else.
constexpr unsigned kScreenPictureRetryIntervalMs = 20;
constexpr unsigned kScreenPictureRetryLimitMs = 200;

[[nodiscard]] ScreenPictureVerdict JudgeScreenPicture(const WindowAfterCapture& window, unsigned elapsedMs) noexcept;

// "destroyed", "hidden", "moved"; null for Keep and Retry.
[[nodiscard]] const char* DropReasonName(ScreenPictureVerdict verdict) noexcept;

} // namespace Morvane
