#pragma once

#include <windows.h>

namespace Morvane {

// The watch's clock: microseconds of the performance counter, which is system-wide, so times
// taken in two processes compare directly.
[[nodiscard]] inline long long WatchMicroseconds() noexcept
{
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    const long long perSecond = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
    return counter.QuadPart / perSecond * 1'000'000 + counter.QuadPart % perSecond * 1'000'000 / perSecond;
}

} // namespace Morvane
