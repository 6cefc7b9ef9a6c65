#include "watch/IconRemovalWait.h"

namespace Morvane {

unsigned long IconRemovalWaitLeftMs(unsigned long long sinceAskedMs) noexcept
{
    constexpr unsigned long kRemovalWaitMs = 100;
    return sinceAskedMs >= kRemovalWaitMs ? 0 : kRemovalWaitMs - static_cast<unsigned long>(sinceAskedMs);
}

} // namespace Morvane
