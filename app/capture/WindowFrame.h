#pragma once

#include <windows.h>

namespace Morvane {

// Which rectangle shows a window on the screen. The window rectangle holds invisible resize
// borders where the desktop compositor draws the frame (about 7 pixels on three sides), and a
// maximised window's rectangle overhangs its monitor; the compositor's extended frame bounds are
// what the screen shows. They are taken where the compositor answered with bounds that overlap
// the window rectangle, clipped to it; the window rectangle is kept otherwise (no compositor, a
// failed call, or bounds from another coordinate space).
[[nodiscard]] RECT ChooseWindowFrame(const RECT& windowRect, HRESULT answered, const RECT& frameBounds) noexcept;

} // namespace Morvane
