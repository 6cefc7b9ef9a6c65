#pragma once

#include <windows.h>

#include <vector>

namespace Morvane {

// The share of the window's rectangle, from 0 to 1, that the union of the other rectangles
// covers; rectangles that overlap each other count once. An empty window is not covered.
[[nodiscard]] double CoveredShare(const RECT& window, const std::vector<RECT>& above);

} // namespace Morvane
