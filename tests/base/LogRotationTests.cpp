#include "logs/LogRotation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using TalvexBasic::Logs::LogFile;
using TalvexBasic::Logs::PlanRotation;
using TalvexBasic::Logs::RotationPlan;

struct RotationCase {
    const char* what;
    std::vector<unsigned long long> sizesNewestFirst;
    unsigned maxFileCount;
    unsigned long long maxFileSize;
    unsigned bytes;
    RotationPlan expected;
};

std::ostream& operator<<(std::ostream& stream, const RotationCase& rotation)
{
    return stream << rotation.what;
}

class LogRotationPlan : public ::testing::TestWithParam<RotationCase> {};

TEST_P(LogRotationPlan, DecidesDeletionsAndTarget)
{
    std::vector<LogFile> files;
    for (const unsigned long long size : GetParam().sizesNewestFirst) {
        files.push_back({L"C:\\Log\\Trial-" + std::to_wstring(files.size()) + L".log", size, 100 - files.size()});
    }
    const RotationPlan plan = PlanRotation(files, GetParam().maxFileCount, GetParam().maxFileSize, GetParam().bytes);
    EXPECT_EQ(plan.mDeleteOldest, GetParam().expected.mDeleteOldest);
    EXPECT_EQ(plan.mAppendToNewest, GetParam().expected.mAppendToNewest);
}

constexpr RotationPlan kCreate{0, false};
constexpr RotationPlan kAppend{0, true};

INSTANTIATE_TEST_SUITE_P(
    Cases, LogRotationPlan,
    ::testing::Values(
        RotationCase{"no file yet: a new one", {}, 5, 10, 4, kCreate},
        RotationCase{"no file and a limit of 0 files: a new one", {}, 0, 10, 4, kCreate},
        RotationCase{"room left: append", {3}, 5, 10, 4, kAppend},
        RotationCase{"reaching the size exactly: append", {6}, 5, 10, 4, kAppend},
        RotationCase{"an empty block into a full file: append", {10}, 5, 10, 0, kAppend},
        RotationCase{"one byte more, below the count: a new file, nothing deleted", {7}, 5, 10, 4, kCreate},
        RotationCase{"one byte more, at the count: the oldest goes", {7, 1, 1, 1, 1}, 5, 10, 4, {1, false}},
        RotationCase{"one full file, a limit of one: that file goes", {10}, 1, 10, 1, {1, false}},
        RotationCase{"only the newest file's size counts", {0, 10, 10}, 3, 10, 10, kAppend},
        RotationCase{"seven files, five kept, room left: two go, append", {1, 1, 1, 1, 1, 1, 1}, 5, 10, 4, {2, true}},
        RotationCase{"seven files, five kept, full: three go, a new file", {9, 1, 1, 1, 1, 1, 1}, 5, 10, 4, {3, false}},
        RotationCase{"a limit of 0 files: all go, a new file", {1, 1, 1}, 0, 10, 1, {3, false}},
        RotationCase{"sizes above 4 GiB", {0x1'0000'0000ull}, 5, 0x1'0000'0004ull, 4, kAppend},
        RotationCase{"sizes above 4 GiB, one byte over", {0x1'0000'0001ull}, 5, 0x1'0000'0004ull, 4, kCreate}),
    [](const ::testing::TestParamInfo<RotationCase>& info) { return "Case" + std::to_string(info.index); });

TEST(LogRotationOrder, NewestFirstAndEqualTimesKeepTheListingOrder)
{
    std::vector<LogFile> files{{L"a", 1, 20}, {L"b", 2, 30}, {L"c", 3, 20}, {L"d", 4, 10}, {L"e", 5, 30}};
    TalvexBasic::Logs::SortNewestFirst(files);
    std::wstring order;
    for (const LogFile& file : files) {
        order += file.mPath;
    }
    EXPECT_EQ(order, L"beacd");
}

} // namespace
