#include "capture/ScreenPictureCheck.h"

namespace Morvane {

ScreenPictureVerdict JudgeScreenPicture(const WindowAfterCapture& window, unsigned elapsedMs) noexcept
{
    if (!window.exists) {
        return ScreenPictureVerdict::DropDestroyed;
    }
    if (!window.visible) {
        return ScreenPictureVerdict::DropHidden;
    }
    if (window.moved) {
        return ScreenPictureVerdict::DropMoved;
    }
    if (window.black && elapsedMs + kScreenPictureRetryIntervalMs <= kScreenPictureRetryLimitMs) {
        return ScreenPictureVerdict::Retry;
    }
    return ScreenPictureVerdict::Keep;
}

const char* DropReasonName(ScreenPictureVerdict verdict) noexcept
{
    switch (verdict) {
    case ScreenPictureVerdict::DropDestroyed: return "destroyed";
    case ScreenPictureVerdict::DropHidden: return "hidden";
    case ScreenPictureVerdict::DropMoved: return "moved";
    default: return nullptr;
    }
}

} // namespace Morvane
