#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace Morvane {

// A shown window above another one in the z-order, overlapping it.
struct WindowAbove {
    std::uint64_t handle = 0;
    RECT rect{};
};

// The shown windows above the window in the z-order whose visible frames (ReadWindowFrame)
// overlap the given rectangle, each with its frame, top first, read right after a picture from
// the screen: a window that appears while others are shown lies above most of them, whatever came
// before it. Read without a message to any window.
[[nodiscard]] std::vector<WindowAbove> ShownWindowsAbove(HWND window, const RECT& rect);

} // namespace Morvane
