#pragma once

#include <windows.h>

#include <cstdint>

namespace Morvane {

// How a window shows on the screen, beyond its rectangle: whether the screen shows the window at
// its place at all, and at which scale it is drawn.
struct WindowAppearance {
    bool minimised = false; // IsIconic: its place on the screen is not the window
    bool cloaked = false;   // visible by style, kept off the screen by the desktop compositor
    std::uint32_t dpi = 0;  // 0 where the platform gives none
};

// Routines that older systems lack are looked up at run time, each time: a missing library or
// routine, or a failed call, reads as "not cloaked" and "no DPI".
[[nodiscard]] WindowAppearance ReadWindowAppearance(HWND window) noexcept;

// The rectangle that shows the window on the screen (ChooseWindowFrame): the compositor's
// extended frame bounds where it gives them, else the window rectangle passed in.
[[nodiscard]] RECT ReadWindowFrame(HWND window, const RECT& windowRect) noexcept;

// Whether the compositor keeps the window off the screen; false where it cannot tell.
[[nodiscard]] bool IsCloakedNow(HWND window) noexcept;

// The monitor's effective DPI; 0 where the platform gives none.
[[nodiscard]] std::uint32_t ReadMonitorDpi(HMONITOR monitor) noexcept;

} // namespace Morvane
