#pragma once

#include <windows.h>

namespace Morvane {

// Where a window sits on its monitor. The printed names are the tool's own, "Cornet" included.
enum ZonePosition : int {
    InvalidRectangle = -2,
    OverRight = -1,
    FullHouse = 0,
    LeftTopCornet = 1,
    LeftBottomCornet = 2,
    Center = 3,
    RightTopCorner = 4,
    RightBottomCorner = 5,
};

[[nodiscard]] const wchar_t* GetZonePositionName(ZonePosition position) noexcept;

// Classifies the window rectangle against the whole monitor rectangle (not its work area).
[[nodiscard]] ZonePosition ClassifyZonePosition(const RECT& window, const RECT& monitor) noexcept;

} // namespace Morvane
