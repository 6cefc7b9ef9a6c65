#include "watch/TimerPeriod.h"

#include "MorvaneTrace.h"
#include "system/HResult.h"

#include <timeapi.h>

namespace Morvane {
namespace {

constexpr const char* kBeginMillisecondTimer = "Morvane::BeginMillisecondTimer";

// Power throttling may drop the timer resolution of a process whose windows are hidden or
// minimised; the control bit set with the state bit clear says "never for this process".
void KeepTimerResolutionWhenHidden() noexcept
{
    PROCESS_POWER_THROTTLING_STATE state{};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask = PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
    state.StateMask = 0;
    if (!::SetProcessInformation(::GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state)) {
        // Systems before Windows 11 do not know the bit, and do not ignore the request either.
        (void)MORVANE_FAIL_LAST_ERROR(kBeginMillisecondTimer, TalvexBasic::LastErrorRule::Standard,
                                      "SetProcessInformation(ProcessPowerThrottling) error:%u.");
    }
}

} // namespace

void TimerPeriodTraits::Close(Type milliseconds) noexcept
{
    (void)::timeEndPeriod(milliseconds);
}

UniqueTimerPeriod BeginMillisecondTimer() noexcept
{
    KeepTimerResolutionWhenHidden();
    constexpr UINT kMillisecond = 1;
    const MMRESULT result = ::timeBeginPeriod(kMillisecond);
    if (result != TIMERR_NOERROR) {
        MORVANE_TRACE(kBeginMillisecondTimer, "timeBeginPeriod(1) return:%u.", static_cast<unsigned>(result));
        return UniqueTimerPeriod{};
    }
    return UniqueTimerPeriod(kMillisecond);
}

} // namespace Morvane
