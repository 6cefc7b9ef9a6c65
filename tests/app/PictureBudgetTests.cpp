// A watch's disk budget: the pure decision over the bytes written, the limit and the free space,
// and the budget over a real folder, with the volume's free space given through the import slot
// of GetDiskFreeSpaceExW where Wine will not run short of space on demand.

#include "capture/PictureBudget.h"
#include "capture/PictureBudgetRule.h"
#include "record/RunRecord.h"
#include "support/ImportPatch.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

TEST_SUPPORT_IMPORT_SLOT(GetDiskFreeSpaceExW);

namespace {

using Morvane::PictureStop;

constexpr unsigned long long kGiB = 1ULL << 30;

TEST(PictureBudget, DecisionStopsAtTheLimitOrShortOfSpace)
{
    const struct {
        unsigned long long runBytes;
        unsigned long long maxRunBytes;
        std::optional<unsigned long long> freeBytes;
        PictureStop stop;
        const char* name;
    } cases[] = {
        {0, 2 * kGiB, 100 * kGiB, PictureStop::None, nullptr},
        {2 * kGiB - 1, 2 * kGiB, 100 * kGiB, PictureStop::None, nullptr},
        {2 * kGiB, 2 * kGiB, 100 * kGiB, PictureStop::MaxSize, "maxSize"},
        {5 * kGiB, 2 * kGiB, 100 * kGiB, PictureStop::MaxSize, "maxSize"},
        {500 << 10, 500 << 10, std::nullopt, PictureStop::MaxSize, "maxSize"},
        {0, 2 * kGiB, kGiB, PictureStop::None, nullptr},
        {0, 2 * kGiB, kGiB - 1, PictureStop::LowDiskSpace, "lowDiskSpace"},
        {0, 2 * kGiB, 0, PictureStop::LowDiskSpace, "lowDiskSpace"},
        // The limit is the run's own choice: it is named first when both hold.
        {3 * kGiB, 2 * kGiB, 0, PictureStop::MaxSize, "maxSize"},
        // Free space that cannot be read stops nothing.
        {1, 2 * kGiB, std::nullopt, PictureStop::None, nullptr},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(testing::Message() << example.runBytes << " of " << example.maxRunBytes << ", free "
                                        << (example.freeBytes ? static_cast<long long>(*example.freeBytes) : -1));
        const PictureStop stop = Morvane::DecidePictures(example.runBytes, example.maxRunBytes, example.freeBytes);
        EXPECT_EQ(stop, example.stop);
        const char* name = Morvane::PictureStopName(stop);
        EXPECT_EQ(name == nullptr ? std::string("null") : std::string(name),
                  example.name == nullptr ? std::string("null") : std::string(example.name));
    }
    EXPECT_EQ(Morvane::kDefaultMaxRunBytes, 2 * kGiB);
    EXPECT_EQ(Morvane::kLeastFreeBytes, kGiB);
}

// The free space the volume reports, or a failure.
struct Volume {
    static inline unsigned long long freeBytes = 0;
    static inline bool fails = false;
    static inline int asked = 0;
    static BOOL WINAPI FreeSpace(LPCWSTR, PULARGE_INTEGER available, PULARGE_INTEGER total, PULARGE_INTEGER free)
    {
        ++asked;
        if (fails) {
            ::SetLastError(ERROR_NOT_READY);
            return FALSE;
        }
        for (PULARGE_INTEGER value : {available, total, free}) {
            if (value != nullptr) {
                value->QuadPart = freeBytes;
            }
        }
        return TRUE;
    }
};

void WriteBytes(const std::wstring& path, size_t count)
{
    const std::string bytes(count, 'x');
    const HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ::CloseHandle(file);
}

// Real files counted as they are written; the record and page count as they are now, however
// often they were written.
TEST(PictureBudget, CountsTheFilesWrittenAndStopsOnceAtTheLimit)
{
    const std::wstring folder = TestSupport::MakeScratchDirectory(L"Budget");
    Morvane::RunClock clock;
    Morvane::PictureBudget budget(folder, 10000, clock);
    EXPECT_TRUE(budget.AllowsPictures()) << "the real volume has under 1 GiB free";
    WriteBytes(folder + L"\\first.jpg", 4000);
    budget.CountFile(folder + L"\\first.jpg");
    budget.CountFile(folder + L"\\missing.jpg");
    budget.Count(1000);
    WriteBytes(folder + L"\\record.json", 3000);
    WriteBytes(folder + L"\\page.html", 1500);
    budget.CountRewritten(folder + L"\\record.json", folder + L"\\page.html");
    WriteBytes(folder + L"\\record.json", 2000);
    budget.CountRewritten(folder + L"\\record.json", folder + L"\\page.html");
    EXPECT_EQ(budget.BytesWritten(), 4000u + 1000u + 2000u + 1500u);
    EXPECT_TRUE(budget.AllowsPictures());
    EXPECT_TRUE(budget.StoppedAt().empty());

    WriteBytes(folder + L"\\second.jpg", 1500);
    budget.CountFile(folder + L"\\second.jpg");
    EXPECT_FALSE(budget.AllowsPictures());
    EXPECT_EQ(budget.Stop(), PictureStop::MaxSize);
    long long stoppedAt = 0;
    EXPECT_TRUE(Morvane::ParseLocalTime(budget.StoppedAt(), stoppedAt)) << budget.StoppedAt();
    // Once stopped, pictures stay stopped, with the first time and reason.
    const std::string first = budget.StoppedAt();
    ::Sleep(20);
    budget.CountRewritten(folder + L"\\none.json", folder + L"\\none.html");
    EXPECT_FALSE(budget.AllowsPictures());
    EXPECT_EQ(budget.StoppedAt(), first);
    TestSupport::RemoveTree(folder);
}

TEST(PictureBudget, VolumeShortOfSpaceStopsPicturesAndAFailedQueryDoesNot)
{
    const std::wstring folder = TestSupport::MakeScratchDirectory(L"BudgetSpace");
    Morvane::RunClock clock;
    const TestSupport::ImportPatch<decltype(&::GetDiskFreeSpaceExW)> patch(__imp_GetDiskFreeSpaceExW,
                                                                           &Volume::FreeSpace);
    // Unreadable free space: the limit alone decides, as long as it lasts.
    Volume::fails = true;
    Volume::asked = 0;
    Morvane::PictureBudget unknown(folder, 4096, clock);
    EXPECT_TRUE(unknown.AllowsPictures());
    unknown.Count(4096);
    EXPECT_FALSE(unknown.AllowsPictures());
    EXPECT_EQ(unknown.Stop(), PictureStop::MaxSize);

    Volume::fails = false;
    Volume::freeBytes = 2 * kGiB;
    Volume::asked = 0;
    Morvane::PictureBudget budget(folder, Morvane::kDefaultMaxRunBytes, clock);
    EXPECT_TRUE(budget.AllowsPictures());
    // Within a second the space read last stands: windows one after another ask nothing of the
    // volume; after it the volume is asked again.
    Volume::freeBytes = kGiB - 4096;
    EXPECT_TRUE(budget.AllowsPictures());
    EXPECT_EQ(Volume::asked, 1);
    ::Sleep(1100);
    EXPECT_FALSE(budget.AllowsPictures());
    EXPECT_EQ(Volume::asked, 2);
    EXPECT_EQ(budget.Stop(), PictureStop::LowDiskSpace);
    EXPECT_FALSE(budget.StoppedAt().empty());
    // Space freed later does not bring pictures back within the run.
    Volume::freeBytes = 50 * kGiB;
    EXPECT_FALSE(budget.AllowsPictures());
    EXPECT_EQ(budget.Stop(), PictureStop::LowDiskSpace);
    TestSupport::RemoveTree(folder);
}

} // namespace
