#pragma once

#include <windows.h>

#include <cstdint>

namespace Morvane {

// A local time and its distance from UTC.
struct LocalInstant {
    SYSTEMTIME time{};
    int offsetMinutes = 0;
};

// The local time of an instant in FILETIME ticks, with its offset from UTC; UTC itself, offset 0,
// where the time zone cannot be applied.
[[nodiscard]] LocalInstant LocalInstantOf(std::uint64_t fileTime) noexcept;

// The run's clock: the local time for the text records, and the instants of the run record.
class RunClock {
public:
    [[nodiscard]] SYSTEMTIME LocalTime() const noexcept;

    // Local time with its offset from UTC; UTC itself, offset 0, where the time zone cannot be
    // applied.
    [[nodiscard]] LocalInstant Now() const noexcept;

    // The same for a given UTC instant.
    [[nodiscard]] LocalInstant At(const FILETIME& utcInstant) const noexcept;
};

} // namespace Morvane
