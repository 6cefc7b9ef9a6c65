// Where a run's output goes: below the executable when a folder can be made there, else below
// the local application data, and never at the root of a drive.

#include "OutputDirectory.h"

#include "support/ImportPatch.h"
#include "support/TestPaths.h"
#include "system/File.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

TEST_SUPPORT_IMPORT_SLOT(GetModuleFileNameW);

namespace {

using Morvane::CreateOutputDirectory;
using Morvane::IsFullPath;
using Morvane::OutputDirectoryChoice;

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

DWORD WINAPI SilentGetModuleFileNameW(HMODULE, LPWSTR, DWORD)
{
    ::SetLastError(0);
    return 0;
}

DWORD WINAPI RootedGetModuleFileNameW(HMODULE, LPWSTR buffer, DWORD size)
{
    const std::wstring path = L"\\Morvane.exe";
    if (size <= path.size()) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = L'\0';
    return static_cast<DWORD>(path.size());
}

// Sets LOCALAPPDATA (null: removes it) for the life of the object.
class LocalAppDataOverride {
public:
    explicit LocalAppDataOverride(const wchar_t* value)
    {
        wchar_t saved[32768];
        const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", saved, 32768);
        mHadValue = length > 0 && length < 32768;
        if (mHadValue) {
            mSaved.assign(saved, length);
        }
        ::SetEnvironmentVariableW(L"LOCALAPPDATA", value);
    }
    ~LocalAppDataOverride() { ::SetEnvironmentVariableW(L"LOCALAPPDATA", mHadValue ? mSaved.c_str() : nullptr); }

private:
    std::wstring mSaved;
    bool mHadValue = false;
};

class OutputDirectoryChoosing : public ::testing::Test {
protected:
    void SetUp() override { mRoot = TestSupport::MakeScratchDirectory(L"Output"); }
    void TearDown() override { TestSupport::RemoveTree(mRoot); }

    // A file where the folder "name" would go, as a read-only place does for any user.
    void Block(const std::wstring& name)
    {
        ASSERT_EQ(TalvexBasic::Files::File::WriteToFile$Static(mRoot + L"\\" + name, "x", 1, CREATE_ALWAYS), S_OK);
    }

    std::wstring mRoot;
};

TEST_F(OutputDirectoryChoosing, PreferredFolderIsCreatedAndTheFallbackNotAskedFor)
{
    int asked = 0;
    const OutputDirectoryChoice choice = CreateOutputDirectory(mRoot + L"\\Morvane\\Output\\run", [&] {
        ++asked;
        return mRoot + L"\\fallback";
    });
    EXPECT_TRUE(choice.created);
    EXPECT_EQ(choice.directory, mRoot + L"\\Morvane\\Output\\run");
    EXPECT_TRUE(IsDirectory(choice.directory));
    EXPECT_TRUE(choice.failures.empty());
    EXPECT_FALSE(choice.noFallback);
    EXPECT_EQ(asked, 0);
}

TEST_F(OutputDirectoryChoosing, BlockedPreferredFolderFallsBack)
{
    Block(L"Morvane");
    const OutputDirectoryChoice choice = CreateOutputDirectory(
        mRoot + L"\\Morvane\\Output\\run", [&] { return mRoot + L"\\Local\\Morvane\\Output\\run"; });
    EXPECT_TRUE(choice.created);
    EXPECT_EQ(choice.directory, mRoot + L"\\Local\\Morvane\\Output\\run");
    EXPECT_TRUE(IsDirectory(choice.directory));
    ASSERT_EQ(choice.failures.size(), 1u);
    EXPECT_EQ(choice.failures[0].folder, mRoot + L"\\Morvane\\Output\\run");
    EXPECT_EQ(choice.failures[0].result, HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
}

TEST_F(OutputDirectoryChoosing, NoFolderAtAllKeepsThePreferredNameAndCreatesNothing)
{
    Block(L"Morvane");
    Block(L"Local");
    OutputDirectoryChoice choice = CreateOutputDirectory(mRoot + L"\\Morvane\\Output\\run",
                                                         [&] { return mRoot + L"\\Local\\Morvane\\Output\\run"; });
    EXPECT_FALSE(choice.created);
    EXPECT_EQ(choice.directory, mRoot + L"\\Morvane\\Output\\run");
    ASSERT_EQ(choice.failures.size(), 2u);
    EXPECT_EQ(choice.failures[1].folder, mRoot + L"\\Local\\Morvane\\Output\\run");
    EXPECT_FALSE(choice.noFallback);

    choice = CreateOutputDirectory(mRoot + L"\\Morvane\\Output\\run", [] { return std::wstring(); });
    EXPECT_FALSE(choice.created);
    EXPECT_EQ(choice.failures.size(), 1u);
    EXPECT_TRUE(choice.noFallback);
    EXPECT_EQ(TestSupport::FilesIn(mRoot), (std::vector<std::wstring>{L"Local", L"Morvane"}));
}

TEST(OutputDirectoryPlaces, ExecutableFolderNeverLeadsToADriveRoot)
{
    EXPECT_EQ(Morvane::ExecutableFolder(), TestSupport::ProgramDirectory());
    {
        SCOPED_TRACE("module path fails without a last error");
        TestSupport::ImportPatch<decltype(&::GetModuleFileNameW)> patch(__imp_GetModuleFileNameW,
                                                                        &SilentGetModuleFileNameW);
        EXPECT_EQ(Morvane::ExecutableFolder(), L".");
    }
    {
        SCOPED_TRACE("module path at the root of the current drive");
        TestSupport::ImportPatch<decltype(&::GetModuleFileNameW)> patch(__imp_GetModuleFileNameW,
                                                                        &RootedGetModuleFileNameW);
        EXPECT_EQ(Morvane::ExecutableFolder(), L".");
    }
}

TEST(OutputDirectoryPlaces, LocalApplicationDataMustBeAFullPath)
{
    EXPECT_TRUE(IsFullPath(L"C:\\"));
    EXPECT_TRUE(IsFullPath(L"c:\\x"));
    EXPECT_TRUE(IsFullPath(L"\\\\server\\share"));
    EXPECT_FALSE(IsFullPath(L""));
    EXPECT_FALSE(IsFullPath(L"\\x"));
    EXPECT_FALSE(IsFullPath(L"C:x"));
    EXPECT_FALSE(IsFullPath(L"x\\y"));
    EXPECT_FALSE(IsFullPath(L"%LOCALAPPDATA%"));

    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\Users\\me\\AppData\\Local\\", L"C:\\Users\\me\\AppData\\Local"},
        {L"D:\\", L"D:"},
        {L"\\\\server\\share\\", L"\\\\server\\share"},
        {L"", L""},
        {L"relative\\place", L""},
        {L"\\rooted", L""},
        {nullptr, L""}, // undefined: the reference stays unexpanded
    };
    for (const auto& [value, expected] : cases) {
        SCOPED_TRACE(value == nullptr ? L"(undefined)" : value);
        LocalAppDataOverride override(value);
        EXPECT_EQ(Morvane::LocalApplicationDataFolder(), expected);
    }
}

} // namespace
