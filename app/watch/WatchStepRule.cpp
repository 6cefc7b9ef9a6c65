#include "watch/WatchStepRule.h"

namespace Morvane {

WatchStep ChooseWatchStep(bool windowDue, std::size_t monitorPicturesWaiting, bool workerIdle) noexcept
{
    if (monitorPicturesWaiting > kMonitorPicturesWaitingAtMost) {
        return WatchStep::TakeMonitorPicture;
    }
    if (windowDue) {
        return WatchStep::SaveWindow;
    }
    if (monitorPicturesWaiting > 0 && workerIdle) {
        return WatchStep::TakeMonitorPicture;
    }
    return WatchStep::Wait;
}

} // namespace Morvane
