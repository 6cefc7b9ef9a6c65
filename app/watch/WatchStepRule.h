#pragma once

#include <cstddef>

namespace Morvane {

// What the watch's thread does next.
enum class WatchStep {
    SaveWindow,          // the next window seen, once its content has settled
    TakeMonitorPicture,  // the monitor picture of a window saved before
    Wait,                // for news, the worker, or a window to settle
};

// Monitor pictures waiting beyond this are taken before any window: windows that keep coming
// would otherwise leave them waiting, each with its window's entry, for as long as they come
// (a burst of thousands of windows kept thousands of them). Most are of windows gone by then,
// which cost no screen copy.
constexpr std::size_t kMonitorPicturesWaitingAtMost = 64;

// Windows first: a window may be gone soon. Below the bound, a monitor picture is taken once the
// worker has written everything queued, so that a window's picture queued next waits for no
// monitor picture's encode, and the screen copy does not run beside the worker's encodes.
[[nodiscard]] WatchStep ChooseWatchStep(bool windowDue, std::size_t monitorPicturesWaiting, bool workerIdle) noexcept;

} // namespace Morvane
