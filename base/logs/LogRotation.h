#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace TalvexBasic::Logs {

// One log file of the logger's folder, as the folder listing reported it.
struct LogFile {
    std::wstring mPath;
    unsigned long long mSize = 0;
    // FILETIME as one number.
    unsigned long long mLastWriteTime = 0;
};

// Newest first by last-write time; files of equal time keep the order in which they were listed.
void SortNewestFirst(std::vector<LogFile>& files);

// What one write does to the folder: first delete this many files from the old end of the
// newest-first list, then append to the newest remaining file or start a new one.
struct RotationPlan {
    size_t mDeleteOldest = 0;
    bool mAppendToNewest = false;
};

// The decision alone, from the newest-first list: files beyond the count limit go, oldest first.
// The block is appended to the newest file when it still fits within the size limit (reaching it
// exactly fits); otherwise a new file is started, and while the folder is at the count limit one
// more of the oldest goes to make room for it.
[[nodiscard]] RotationPlan PlanRotation(const std::vector<LogFile>& newestFirst, unsigned maxFileCount,
                                        unsigned long long maxFileSize, unsigned bytes) noexcept;

} // namespace TalvexBasic::Logs
