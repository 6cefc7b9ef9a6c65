#pragma once

#include <windows.h>

namespace Morvane {

// A local time and its distance from UTC.
struct LocalInstant {
    SYSTEMTIME time{};
    int offsetMinutes = 0;
};

// The run's clock: the local time for the text records, and the instants of the run record.
class RunClock {
public:
    [[nodiscard]] SYSTEMTIME LocalTime() const noexcept;

    // Local time with its offset from UTC; UTC itself, offset 0, where the time zone cannot be
    // applied.
    [[nodiscard]] LocalInstant Now() const noexcept;
};

} // namespace Morvane
