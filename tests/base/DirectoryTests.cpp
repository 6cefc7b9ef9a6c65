#include "system/Directory.h"
#include "system/File.h"

#include "support/DebugLineCapture.h"
#include "support/ImportPatch.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using TalvexBasic::Files::Directory;
using TalvexBasic::Files::File;

TEST_SUPPORT_IMPORT_SLOT(CreateDirectoryW);

namespace {

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

BOOL WINAPI FailingCreateDirectoryWithoutError(LPCWSTR, LPSECURITY_ATTRIBUTES)
{
    ::SetLastError(0);
    return FALSE;
}

class DirectoryLevels : public ::testing::Test {
protected:
    void SetUp() override { mRoot = TestSupport::MakeScratchDirectory(L"Directory"); }
    void TearDown() override { TestSupport::RemoveTree(mRoot); }

    std::wstring mRoot;
};

TEST_F(DirectoryLevels, FileInTheWayOfTheLastLevelIsAnError)
{
    // The platform's narrow routine took a file for an existing folder and reported success.
    ASSERT_EQ(File::WriteToFile$Static(mRoot + L"\\Morvane", "x", 1, CREATE_ALWAYS), S_OK);
    TestSupport::DebugLineCapture capture;
    EXPECT_EQ(Directory::MakeSureDirectoryPathExists$Static(mRoot + L"\\Morvane\\"),
              HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(Directory::MakeSureDirectoryPathExists$Static(mRoot + L"\\Morvane\\Output\\x\\"),
              HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(IsDirectory(mRoot + L"\\Morvane"));
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" TalvexBasic::Files::Directory::MakeSureDirectoryPathExists$Static,"), std::string::npos);
    EXPECT_NE(lines[0].find("\\Morvane\\) error:183.\r\n"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("\\Morvane\\Output\\x\\) error:183.\r\n"), std::string::npos) << lines[1];
}

TEST_F(DirectoryLevels, TraceLineShowsThePathInTheAnsiCodePage)
{
    // The folder itself keeps its wide name; only the line is narrow.
    ASSERT_EQ(File::WriteToFile$Static(mRoot + L"\\\x4E2D\xE9", "x", 1, CREATE_ALWAYS), S_OK);
    TestSupport::DebugLineCapture capture;
    EXPECT_EQ(Directory::MakeSureDirectoryPathExists$Static(mRoot + L"\\\x4E2D\xE9\\sub\\"),
              HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("\\?\xE9\\sub\\) error:183.\r\n"), std::string::npos) << lines[0];
}

TEST_F(DirectoryLevels, LongPathFormIsCreatedBelowItsDriveRoot)
{
    ASSERT_EQ(Directory::MakeSureDirectoryPathExists$Static(L"\\\\?\\" + mRoot + L"\\l1\\l2\\"), S_OK);
    EXPECT_TRUE(IsDirectory(mRoot + L"\\l1\\l2"));
    // Doubled backslashes and levels that exist already are fine.
    EXPECT_EQ(Directory::MakeSureDirectoryPathExists$Static(mRoot + L"\\l1\\\\l2\\l3\\"), S_OK);
    EXPECT_TRUE(IsDirectory(mRoot + L"\\l1\\l2\\l3"));
}

TEST_F(DirectoryLevels, FailedCreationWithoutLastErrorIsNoSuccess)
{
    TestSupport::ImportPatch<decltype(&::CreateDirectoryW)> patch(__imp_CreateDirectoryW,
                                                                  &FailingCreateDirectoryWithoutError);
    TestSupport::DebugLineCapture capture;
    EXPECT_EQ(Directory::MakeSureDirectoryPathExists$Static(mRoot + L"\\new\\"), E_FAIL);
    EXPECT_FALSE(IsDirectory(mRoot + L"\\new"));
    EXPECT_EQ(capture.CountContaining("\\new\\) error:0.\r\n"), 1u);
}

} // namespace
