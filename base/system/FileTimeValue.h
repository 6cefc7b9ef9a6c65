#pragma once

#include <windows.h>

#include <cstdint>

namespace TalvexBasic {

// A 64-bit count that the platform hands out as two DWORD halves (file sizes, file times).
[[nodiscard]] constexpr std::uint64_t JoinHighLow(DWORD high, DWORD low) noexcept
{
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

// A FILETIME as one number of 100 ns steps, so that times compare and subtract as integers.
[[nodiscard]] constexpr std::uint64_t FileTimeValue(const FILETIME& time) noexcept
{
    return JoinHighLow(time.dwHighDateTime, time.dwLowDateTime);
}

} // namespace TalvexBasic
