#include "capture/ZonePosition.h"

#include <cstdlib>

namespace Morvane {

const wchar_t* GetZonePositionName(ZonePosition position) noexcept
{
    switch (position) {
    case InvalidRectangle:
        return L"InvalidRectangle";
    case OverRight:
        return L"OverRight";
    case FullHouse:
        return L"FullHouse";
    case LeftTopCornet:
        return L"LeftTopCornet";
    case LeftBottomCornet:
        return L"LeftBottomCornet";
    case Center:
        return L"Center";
    case RightTopCorner:
        return L"RightTopCorner";
    case RightBottomCorner:
        return L"RightBottomCorner";
    }
    return L"InvalidPosition";
}

ZonePosition ClassifyZonePosition(const RECT& window, const RECT& monitor) noexcept
{
    const int windowWidth = window.right - window.left;
    const int windowHeight = window.bottom - window.top;
    if (windowWidth <= 3 || windowHeight <= 3) {
        return InvalidRectangle;
    }
    const int monitorWidth = monitor.right - monitor.left;
    const int monitorHeight = monitor.bottom - monitor.top;
    if (monitorWidth <= 3 || monitorHeight <= 3) {
        return InvalidRectangle;
    }

    // Integer division truncates toward zero, so a centre just left of the monitor still falls
    // into the left band.
    const int centerX = window.left + windowWidth / 2;
    const int centerY = window.top + windowHeight / 2;
    const int monitorMiddleY = monitor.top + monitorHeight / 2;
    const int column = (centerX - monitor.left) / (monitorWidth / 3);
    const int row = (centerY - monitor.top) / (monitorHeight / 3);
    const bool lower = row != 0 && centerY >= monitorMiddleY;

    switch (column) {
    case 1:
        // A tolerance of 20 pixels, not 20 percent, in each dimension.
        return std::abs(monitorWidth - windowWidth) >= 20 || std::abs(monitorHeight - windowHeight) >= 20 ? Center
                                                                                                          : FullHouse;
    case 0:
        return lower ? LeftBottomCornet : LeftTopCornet;
    case 2:
        return lower ? RightBottomCorner : RightTopCorner;
    default:
        return OverRight;
    }
}

} // namespace Morvane
