#pragma once

#include <windows.h>

#include <vector>

namespace MorvaneBench {

// Prints what the checks of how a window shows cost per window, over the given windows (top
// first, as the enumeration lists them): minimised, cloaked and DPI; whether its picture from the
// screen has one colour; and the share of it that the windows above cover, on this desktop and
// on a cascade where every window overlaps all above it.
void RunWindowCheckCost(const std::vector<HWND>& windows);

} // namespace MorvaneBench
