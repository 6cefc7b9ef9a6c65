#include "support/TestPaths.h"
#include "system/FolderListing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using TalvexBasic::Files::FolderEntry;
using TalvexBasic::Files::ListFolder;

class FolderListingTest : public ::testing::Test {
protected:
    void SetUp() override { mFolder = TestSupport::MakeScratchDirectory(L"FolderListing"); }
    void TearDown() override { TestSupport::RemoveTree(mFolder); }

    void MakeFile(const std::wstring& name, size_t bytes, unsigned long long lastWriteTime) const
    {
        HANDLE file = ::CreateFileW((mFolder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const std::string content(bytes, 'x');
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
        const FILETIME stamp{static_cast<DWORD>(lastWriteTime), static_cast<DWORD>(lastWriteTime >> 32)};
        ASSERT_TRUE(::SetFileTime(file, nullptr, nullptr, &stamp));
        ::CloseHandle(file);
    }

    // The entries sorted by name, for comparison.
    static std::vector<FolderEntry> ByName(std::vector<FolderEntry> entries)
    {
        std::sort(entries.begin(), entries.end(),
                  [](const FolderEntry& left, const FolderEntry& right) { return left.mName < right.mName; });
        return entries;
    }

    std::wstring mFolder;
};

// 2020-09-09 15:42:10 UTC, a second and a day later.
constexpr unsigned long long kTime = 132441613300000000ull;
constexpr unsigned long long kSecond = 10000000ull;

TEST_F(FolderListingTest, ListsFilesAndFoldersWithSizeAndTimeButNotWhatIsBelow)
{
    MakeFile(L"Trial-1.log", 0, kTime);
    MakeFile(L"Trial-2.log", 70000, kTime + kSecond);
    MakeFile(L"no dot", 3, kTime + 86400 * kSecond);
    MakeFile(L"caption \x4E2D.txt", 5, kTime);
    ASSERT_TRUE(::CreateDirectoryW((mFolder + L"\\sub").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((mFolder + L"\\sub\\deeper").c_str(), nullptr));
    HANDLE below = ::CreateFileW((mFolder + L"\\sub\\below.log").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(below, INVALID_HANDLE_VALUE);
    ::CloseHandle(below);

    for (const std::wstring& folder : {mFolder, mFolder + L"\\"}) {
        std::vector<FolderEntry> entries;
        ASSERT_EQ(ListFolder(folder, entries), S_OK);
        entries = ByName(entries);
        ASSERT_EQ(entries.size(), 5u);
        EXPECT_EQ(entries[0].mName, L"Trial-1.log");
        EXPECT_EQ(entries[0].mSize, 0u);
        EXPECT_EQ(entries[0].mLastWriteTime, kTime);
        EXPECT_FALSE(entries[0].IsFolder());
        EXPECT_EQ(entries[1].mName, L"Trial-2.log");
        EXPECT_EQ(entries[1].mSize, 70000u);
        EXPECT_EQ(entries[1].mLastWriteTime, kTime + kSecond);
        EXPECT_EQ(entries[2].mName, L"caption \x4E2D.txt");
        EXPECT_EQ(entries[3].mName, L"no dot");
        EXPECT_EQ(entries[3].mLastWriteTime, kTime + 86400 * kSecond);
        EXPECT_EQ(entries[4].mName, L"sub");
        EXPECT_TRUE(entries[4].IsFolder());
    }
}

TEST_F(FolderListingTest, EmptyFolderGivesNoEntriesAndAMissingOneAFailureThatLeavesTheListAlone)
{
    std::vector<FolderEntry> entries{FolderEntry{L"left over"}};
    ASSERT_EQ(ListFolder(mFolder, entries), S_OK);
    EXPECT_TRUE(entries.empty());

    entries.push_back(FolderEntry{L"left over"});
    EXPECT_EQ(ListFolder(mFolder + L"\\missing", entries), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(ListFolder(mFolder + L"\\missing\\deeper", entries), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].mName, L"left over");
}

TEST_F(FolderListingTest, AFileIsNotAFolder)
{
    MakeFile(L"plain", 1, kTime);
    std::vector<FolderEntry> entries;
    EXPECT_LT(ListFolder(mFolder + L"\\plain", entries), 0);
    EXPECT_TRUE(entries.empty());
}

} // namespace
