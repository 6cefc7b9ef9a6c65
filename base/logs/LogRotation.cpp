#include "logs/LogRotation.h"

#include <algorithm>

namespace TalvexBasic::Logs {

void SortNewestFirst(std::vector<LogFile>& files)
{
    std::stable_sort(files.begin(), files.end(), [](const LogFile& left, const LogFile& right) {
        return left.mLastWriteTime > right.mLastWriteTime;
    });
}

RotationPlan PlanRotation(const std::vector<LogFile>& newestFirst, unsigned maxFileCount,
                          unsigned long long maxFileSize, unsigned bytes) noexcept
{
    RotationPlan plan;
    const size_t count = newestFirst.size();
    if (count > maxFileCount) {
        plan.mDeleteOldest = count - maxFileCount;
    }
    const size_t kept = count - plan.mDeleteOldest;
    if (kept == 0) {
        return plan;
    }
    // A 64-bit unsigned sum, as the sizes are.
    if (newestFirst.front().mSize + bytes <= maxFileSize) {
        plan.mAppendToNewest = true;
        return plan;
    }
    if (kept >= maxFileCount) {
        ++plan.mDeleteOldest;
    }
    return plan;
}

} // namespace TalvexBasic::Logs
