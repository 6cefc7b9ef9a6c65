#include "capture/WindowsAbove.h"

#include "capture/WindowAppearance.h"
#include "system/HResult.h"

namespace Morvane {

std::vector<WindowAbove> ShownWindowsAbove(HWND window, const RECT& rect)
{
    std::vector<WindowAbove> above;
    // Bounded: a z-order that changes while it is walked could otherwise lead round in a circle.
    constexpr int kMostWindows = 4096;
    int walked = 0;
    for (HWND higher = ::GetWindow(window, GW_HWNDPREV); higher != nullptr && walked < kMostWindows;
         higher = ::GetWindow(higher, GW_HWNDPREV), ++walked) {
        RECT place{};
        RECT overlap{};
        if (!::IsWindowVisible(higher) || !::GetWindowRect(higher, &place)) {
            continue;
        }
        place = ReadWindowFrame(higher, place);
        if (!::IntersectRect(&overlap, &place, &rect)) {
            continue;
        }
        const WindowAppearance appearance = ReadWindowAppearance(higher);
        if (!appearance.minimised && !appearance.cloaked) {
            above.push_back({TalvexBasic::PointerBits(higher), place});
        }
    }
    return above;
}

} // namespace Morvane
