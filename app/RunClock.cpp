#include "RunClock.h"

#include "system/FileTimeValue.h"

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
    const long long difference = static_cast<long long>(TalvexBasic::FileTimeValue(localFile) -
                                                        TalvexBasic::FileTimeValue(utcFile));
    local.offsetMinutes = static_cast<int>(difference / (10000000LL * 60));
    return local;
}

} // namespace Morvane
