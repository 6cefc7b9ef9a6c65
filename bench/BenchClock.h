#pragma once

#include <windows.h>

namespace MorvaneBench {

// Milliseconds of the performance counter, which is system-wide under Wine.
inline double Now()
{
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

} // namespace MorvaneBench
