#pragma once

#include <windows.h>

namespace MorvaneBench {

// Milliseconds on the performance counter.
[[nodiscard]] inline double Now()
{
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

} // namespace MorvaneBench
