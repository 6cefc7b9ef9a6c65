#include "system/Directory.h"
#include "system/File.h"

#include "support/DebugLineCapture.h"
#include "support/ImportPatch.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using TalvexBasic::Files::Directory;
using TalvexBasic::Files::File;
using TalvexBasic::Files::Transaction;

TEST_SUPPORT_IMPORT_SLOT(WriteFile);
TEST_SUPPORT_IMPORT_SLOT(GetProcAddress);

namespace {

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

decltype(&::WriteFile) gRealWriteFile = nullptr;

// Writes all but the last byte and reports success, as a full disk or a network share may.
BOOL WINAPI ShortWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    return gRealWriteFile(file, data, size > 0 ? size - 1 : 0, written, overlapped);
}

BOOL WINAPI FailingWriteFileWithoutError(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED)
{
    *written = 0;
    ::SetLastError(0);
    return FALSE;
}

FARPROC WINAPI MissingProcAddress(HMODULE, LPCSTR)
{
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

class FileOutput : public ::testing::Test {
protected:
    void SetUp() override { mRoot = TestSupport::MakeScratchDirectory(L"File"); }
    void TearDown() override { TestSupport::RemoveTree(mRoot); }

    std::wstring mRoot;
};

} // namespace

TEST_F(FileOutput, ParentFolderOfAFilePathIsCreatedButNotTheFile)
{
    const std::wstring path = mRoot + L"\\out\\w1\\Info.txt";
    ASSERT_EQ(File::MakeSureParentDirectoryExists$Static(path), S_OK);
    EXPECT_TRUE(IsDirectory(mRoot + L"\\out\\w1"));
    EXPECT_FALSE(Exists(path));
}

TEST_F(FileOutput, PathEndingInABackslashHasOnlyItsParentCreated)
{
    ASSERT_EQ(File::MakeSureParentDirectoryExists$Static(mRoot + L"\\out\\w1\\"), S_OK);
    EXPECT_TRUE(IsDirectory(mRoot + L"\\out"));
    EXPECT_FALSE(Exists(mRoot + L"\\out\\w1"));
}

TEST_F(FileOutput, PathsWithoutAParentFolderAreRefused)
{
    for (const wchar_t* path : {L"", L"\\", L"C:\\", L"Info.txt", L"w1\\", L"C:/out/Info.txt"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(path)));
        EXPECT_EQ(File::MakeSureParentDirectoryExists$Static(path), E_INVALIDARG);
    }
}

TEST_F(FileOutput, WriteCreatesEveryMissingFolderLevelAndWritesTheBlock)
{
    const std::wstring path = mRoot + L"\\a\\b\\c\\block.bin";
    const std::string block("\0\x01\x02 binary \xFF tail", 17);
    ASSERT_EQ(File::WriteToFile$Static(path, block.data(), static_cast<unsigned>(block.size()), CREATE_ALWAYS), S_OK);
    EXPECT_EQ(TestSupport::ReadWholeFile(path), block);
    // A folder that exists already is no error.
    ASSERT_EQ(File::WriteToFile$Static(mRoot + L"\\a\\b\\c\\second.bin", "x", 1, CREATE_ALWAYS), S_OK);
    EXPECT_EQ(TestSupport::ReadWholeFile(mRoot + L"\\a\\b\\c\\second.bin"), "x");
}

TEST_F(FileOutput, ExistingFileIsReplacedByExactlyTheNewBlock)
{
    const std::wstring path = mRoot + L"\\replace.txt";
    const std::string longer(5000, 'L');
    ASSERT_EQ(File::WriteToFile$Static(path, longer.data(), static_cast<unsigned>(longer.size()), CREATE_ALWAYS), S_OK);
    ASSERT_EQ(File::WriteToFile$Static(path, "short", 5, CREATE_ALWAYS), S_OK);
    EXPECT_EQ(TestSupport::ReadWholeFile(path), "short");
    ASSERT_EQ(File::WriteToFile$Static(path, "", 0, CREATE_ALWAYS), S_OK);
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(TestSupport::ReadWholeFile(path), "");
}

TEST_F(FileOutput, ZeroByteBlockGivesAnEmptyFile)
{
    const std::wstring path = mRoot + L"\\new\\empty.bin";
    ASSERT_EQ(File::WriteToFile$Static(path, nullptr, 0, CREATE_ALWAYS), S_OK);
    WIN32_FILE_ATTRIBUTE_DATA facts{};
    ASSERT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &facts));
    EXPECT_EQ(facts.nFileSizeLow, 0u);
    EXPECT_EQ(facts.nFileSizeHigh, 0u);
}

TEST_F(FileOutput, WriteFailuresComeBackAsTheirCodes)
{
    EXPECT_EQ(File::WriteToFile$Static(L"NoFolder.txt", "x", 1, CREATE_ALWAYS), E_INVALIDARG);
    EXPECT_FALSE(Exists(L"NoFolder.txt"));

    // The path names a folder: the create is refused.
    ASSERT_TRUE(::CreateDirectoryW((mRoot + L"\\folder").c_str(), nullptr));
    const HRESULT onFolder = File::WriteToFile$Static(mRoot + L"\\folder", "x", 1, CREATE_ALWAYS);
    EXPECT_EQ(onFolder, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(IsDirectory(mRoot + L"\\folder"));

    // CREATE_NEW on an existing file: the old content stays.
    ASSERT_EQ(File::WriteToFile$Static(mRoot + L"\\kept.txt", "old", 3, CREATE_ALWAYS), S_OK);
    EXPECT_EQ(File::WriteToFile$Static(mRoot + L"\\kept.txt", "new", 3, CREATE_NEW),
              HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
    EXPECT_EQ(TestSupport::ReadWholeFile(mRoot + L"\\kept.txt"), "old");
}

TEST_F(FileOutput, DirectoryPathCreatesLevelsUpToTheLastBackslashOnly)
{
    ASSERT_EQ(Directory::MakeSureDirectoryPathExists$Static(mRoot + L"\\d1\\d2\\"), S_OK);
    EXPECT_TRUE(IsDirectory(mRoot + L"\\d1\\d2"));
    ASSERT_EQ(Directory::MakeSureDirectoryPathExists$Static(mRoot + L"\\e1\\e2\\name"), S_OK);
    EXPECT_TRUE(IsDirectory(mRoot + L"\\e1\\e2"));
    EXPECT_FALSE(Exists(mRoot + L"\\e1\\e2\\name"));
    // Again, now that they exist.
    EXPECT_EQ(Directory::MakeSureDirectoryPathExists$Static(mRoot + L"\\d1\\d2\\"), S_OK);
}

TEST_F(FileOutput, FolderNamesOutsideTheAnsiCodePageAreMadeExactly)
{
    // U+4E2D has no place in code page 1252 (it would become '?', which no name may hold).
    ASSERT_EQ(Directory::MakeSureDirectoryPathExists$Static(mRoot + L"\\\x4E2D\\\x5B57.exe\\"), S_OK);
    EXPECT_TRUE(IsDirectory(mRoot + L"\\\x4E2D\\\x5B57.exe"));

    // U+FF3C (fullwidth reverse solidus) would turn into a real backslash through the code page
    // and take the last level two folders up, beside "a".
    ASSERT_EQ(Directory::MakeSureDirectoryPathExists$Static(mRoot + L"\\a\\b\\..\xFF3C..\xFF3Cx\\"), S_OK);
    EXPECT_TRUE(IsDirectory(mRoot + L"\\a\\b\\..\xFF3C..\xFF3Cx"));
    EXPECT_FALSE(Exists(mRoot + L"\\x"));
    EXPECT_FALSE(Exists(mRoot + L"\\a\\x"));
}

TEST_F(FileOutput, CreateKeepsItsHandleUntilTheFileEnds)
{
    const std::wstring path = mRoot + L"\\held.txt";
    {
        File file;
        EXPECT_FALSE(file.mHandle);
        ASSERT_EQ(file.Create(path, FILE_SHARE_READ, CREATE_ALWAYS), S_OK);
        ASSERT_TRUE(file.mHandle);
        ASSERT_NE(file.mHandle.get(), INVALID_HANDLE_VALUE);
        // Opened for writing with reading shared only: a second writer is refused.
        HANDLE second = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(second, INVALID_HANDLE_VALUE);
        if (second != INVALID_HANDLE_VALUE) {
            ::CloseHandle(second);
        }
    }
    HANDLE after =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(after, INVALID_HANDLE_VALUE) << "the File did not close its handle";
    if (after != INVALID_HANDLE_VALUE) {
        ::CloseHandle(after);
    }
}

TEST_F(FileOutput, FailedCreateLeavesTheHandleAsItWas)
{
    File file;
    EXPECT_EQ(file.Create(mRoot + L"\\missing\\x.txt", FILE_SHARE_READ, CREATE_ALWAYS),
              HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(file.mHandle);
}

TEST_F(FileOutput, TransactionWithoutHandleCreatesPlainlyOnlyWhenAllowed)
{
    const std::wstring path = mRoot + L"\\plain.txt";
    File refused;
    refused.mTransaction = std::make_shared<Transaction>();
    EXPECT_EQ(refused.Create(path, FILE_SHARE_READ, CREATE_ALWAYS), E_INVALIDARG);
    EXPECT_FALSE(refused.mHandle);
    EXPECT_FALSE(Exists(path));

    File allowed;
    allowed.mTransaction = std::make_shared<Transaction>(Transaction{nullptr, true});
    ASSERT_EQ(allowed.Create(path, FILE_SHARE_READ, CREATE_ALWAYS), S_OK);
    EXPECT_TRUE(allowed.mHandle);
    EXPECT_TRUE(Exists(path));
}

TEST_F(FileOutput, ShortWriteIsAFailureWithItsLine)
{
    const std::wstring path = mRoot + L"\\short.bin";
    TestSupport::ImportPatch<decltype(&::WriteFile)> patch(__imp_WriteFile, &ShortWriteFile);
    gRealWriteFile = patch.Original();
    TestSupport::DebugLineCapture capture;
    EXPECT_EQ(File::WriteToFile$Static(path, "0123456789", 10, CREATE_ALWAYS), HRESULT_FROM_WIN32(ERROR_WRITE_FAULT));
    EXPECT_EQ(capture.CountContaining("short.bin, 10) return:0x8007001d.\r\n"), 1u);
    EXPECT_EQ(capture.CountContaining(" TalvexBasic::Files::File::WriteToFile$Static,"), 1u);
}

TEST_F(FileOutput, FailedWriteWithoutLastErrorIsNoSuccess)
{
    TestSupport::ImportPatch<decltype(&::WriteFile)> patch(__imp_WriteFile, &FailingWriteFileWithoutError);
    EXPECT_EQ(File::WriteToFile$Static(mRoot + L"\\silent.bin", "x", 1, CREATE_ALWAYS), E_FAIL);
}

TEST_F(FileOutput, FailuresGiveOneLinePerLevel)
{
    {
        SCOPED_TRACE("no backslash: only the line of the write");
        TestSupport::DebugLineCapture capture;
        EXPECT_EQ(File::WriteToFile$Static(L"Info.txt", "x", 1, CREATE_ALWAYS), E_INVALIDARG);
        const std::vector<std::string> lines = capture.Lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find(" TalvexBasic::Files::File::WriteToFile$Static,"), std::string::npos);
        EXPECT_NE(lines[0].find("]:MakeSureParentDirectoryExists$Static(Info.txt) return:0x80070057.\r\n"),
                  std::string::npos)
            << lines[0];
    }
    {
        SCOPED_TRACE("folder that cannot be made: the narrow line of the folder, then the write's");
        ASSERT_EQ(File::WriteToFile$Static(mRoot + L"\\blocker", "b", 1, CREATE_ALWAYS), S_OK);
        TestSupport::DebugLineCapture capture;
        const HRESULT result = File::WriteToFile$Static(mRoot + L"\\blocker\\sub\\file.txt", "x", 1, CREATE_ALWAYS);
        EXPECT_EQ(HRESULT_FACILITY(result), FACILITY_WIN32) << std::hex << result;
        EXPECT_FALSE(IsDirectory(mRoot + L"\\blocker\\sub"));
        const std::vector<std::string> lines = capture.Lines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[0].find(" TalvexBasic::Files::Directory::MakeSureDirectoryPathExists$Static,"),
                  std::string::npos);
        EXPECT_NE(lines[0].find("\\blocker\\sub\\) error:"), std::string::npos) << lines[0];
        char code[16];
        std::snprintf(code, sizeof(code), "0x%x.", static_cast<unsigned>(result));
        EXPECT_NE(lines[1].find(std::string("\\blocker\\sub\\file.txt) return:") + code), std::string::npos)
            << lines[1];
    }
}

TEST_F(FileOutput, TransactedCreateLooksItsRoutineUpAtRunTime)
{
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    File file;
    file.mTransaction = std::make_shared<Transaction>(Transaction{event, false});
    {
        TestSupport::ImportPatch<decltype(&::GetProcAddress)> patch(__imp_GetProcAddress, &MissingProcAddress);
        EXPECT_EQ(file.Create(mRoot + L"\\transacted.txt", FILE_SHARE_READ, CREATE_ALWAYS),
                  HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
    }
    EXPECT_FALSE(file.mHandle);
    ::CloseHandle(event);
}
