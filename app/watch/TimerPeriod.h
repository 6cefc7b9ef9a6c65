#pragma once

#include "system/UniqueResource.h"

#include <windows.h>

namespace Morvane {

// A timer resolution asked of the system with timeBeginPeriod, given back with timeEndPeriod.
struct TimerPeriodTraits {
    using Type = UINT; // milliseconds
    static Type Invalid() noexcept { return 0; }
    static void Close(Type milliseconds) noexcept;
};
using UniqueTimerPeriod = TalvexBasic::UniqueResource<TimerPeriodTraits>;

// Waits of 1 ms for as long as the holder lives: Windows otherwise wakes waiting threads in steps
// of its clock tick (15.6 ms by default), which turns a check every millisecond into one every
// 16. The process also asks to keep the request when it has no visible window (Windows 11 may
// otherwise ignore it then). A refusal costs a trace line and leaves the holder empty: the watch
// runs with coarser waits.
[[nodiscard]] UniqueTimerPeriod BeginMillisecondTimer() noexcept;

} // namespace Morvane
