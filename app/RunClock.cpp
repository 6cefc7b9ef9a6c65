#include "RunClock.h"

#include "system/FileTimeValue.h"

namespace Morvane {

SYSTEMTIME RunClock::LocalTime() const noexcept
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return now;
}

LocalInstant LocalInstantOf(std::uint64_t fileTime) noexcept
{
    const FILETIME instant{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    SYSTEMTIME utc{};
    LocalInstant local;
    ::FileTimeToSystemTime(&instant, &utc);
    if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local.time)) {
        return {utc, 0};
    }
    FILETIME utcFile{};
    FILETIME localFile{};
    ::SystemTimeToFileTime(&utc, &utcFile);
    ::SystemTimeToFileTime(&local.time, &localFile);
    const long long difference = static_cast<long long>(TalvexBasic::FileTimeValue(localFile) -
                                                        TalvexBasic::FileTimeValue(utcFile));
    local.offsetMinutes = static_cast<int>(difference / (10000000LL * 60));
    return local;
}

LocalInstant RunClock::Now() const noexcept
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return At(now);
}

LocalInstant RunClock::At(const FILETIME& utcInstant) const noexcept
{
    return LocalInstantOf(TalvexBasic::FileTimeValue(utcInstant));
}

} // namespace Morvane
