#pragma once

#include "capture/SkipReason.h"
#include "capture/WindowInfo.h"

#include <windows.h>

namespace Morvane {

// One window's facts and what the sampling decided about it.
struct WindowSample {
    HWND window = nullptr;
    // Complete for a window to be saved but for caption and class name, which the per-window
    // step reads; for a skipped one, what could be read of it without sending it a message,
    // whole caption and class name included.
    WindowInfo facts;
    SkipReason skipReason = SkipReason::None;
    HRESULT result = E_PENDING; // as SampleInitialize returns it

    [[nodiscard]] bool Saved() const noexcept { return skipReason == SkipReason::None; }
};

// Samples the window as SampleInitialize does, with the same trace lines, and decides.
[[nodiscard]] WindowSample SampleWindow(HWND window);

} // namespace Morvane
