#include "RunClock.h"

namespace Morvane {

SYSTEMTIME RunClock::LocalTime() const noexcept
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return now;
}

LocalInstant RunClock::Now() const noexcept
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    SYSTEMTIME utc{};
    LocalInstant local;
    ::FileTimeToSystemTime(&now, &utc);
    if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local.time)) {
        return {utc, 0};
    }
    FILETIME utcFile{};
    FILETIME localFile{};
    ::SystemTimeToFileTime(&utc, &utcFile);
    ::SystemTimeToFileTime(&local.time, &localFile);
    const auto ticks = [](const FILETIME& time) {
        return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                      time.dwLowDateTime);
    };
    const long long difference = ticks(localFile) - ticks(utcFile);
    local.offsetMinutes = static_cast<int>(difference / (10000000LL * 60));
    return local;
}

} // namespace Morvane
