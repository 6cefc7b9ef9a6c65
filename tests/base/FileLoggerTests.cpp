#include "support/DebugLineCapture.h"
#include "logs/FileLogger.h"
#include "support/ImportPatch.h"
#include "support/TestPaths.h"
#include "support/TestText.h"
#include "system/HResultError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

TEST_SUPPORT_IMPORT_SLOT(WriteFile);

namespace {

using Level = Basic::Logs::Logger::Level;
using TalvexBasic::Logs::FileLogger;

constexpr HRESULT kNotSupported = static_cast<HRESULT>(0xD00000BBu);

// A file logger whose folder is a fresh scratch folder's "Log" subfolder (not yet created).
class ScratchLogger : public FileLogger {
public:
    explicit ScratchLogger(std::wstring directory) : mScratch(std::move(directory)) {}
    HRESULT GetDefaultDirectory(std::wstring& directory) override
    {
        directory = mScratch;
        return S_OK;
    }
    std::wstring mScratch;
};

class FileLoggerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mScratch = TestSupport::MakeScratchDirectory(L"FileLogger");
        mFolder = mScratch + L"\\Log";
        mLogger.mScratch = mFolder;
        ASSERT_EQ(mLogger.Initialize(), S_OK);
        ASSERT_EQ(mLogger.SetName(L"Trial"), S_OK);
    }
    void TearDown() override { TestSupport::RemoveTree(mScratch); }

    HRESULT Write(const std::string& text)
    {
        return mLogger.Write(text.data(), static_cast<unsigned>(text.size()), Level::Trace);
    }

    // Names of the plain files in the log folder, sorted.
    std::vector<std::wstring> Files() const { return TestSupport::FilesIn(mFolder); }

    std::string Content(const std::wstring& name) const { return TestSupport::ReadWholeFile(mFolder + L"\\" + name); }

    // Writes a file with the given last-write time, hours before now.
    void MakeFile(const std::wstring& name, const std::string& content, int hoursAgo) const
    {
        HANDLE file = ::CreateFileW((mFolder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        ::CloseHandle(file);
        Age(name, hoursAgo);
    }

    void Age(const std::wstring& name, int hoursAgo) const
    {
        FILETIME now{};
        ::GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER time{};
        time.LowPart = now.dwLowDateTime;
        time.HighPart = now.dwHighDateTime;
        time.QuadPart -= static_cast<ULONGLONG>(hoursAgo) * 3600ull * 10000000ull;
        const FILETIME stamp{time.LowPart, time.HighPart};
        HANDLE file = ::CreateFileW((mFolder + L"\\" + name).c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        ::SetFileTime(file, nullptr, nullptr, &stamp);
        ::CloseHandle(file);
    }

    std::wstring mScratch;
    std::wstring mFolder;
    ScratchLogger mLogger{L""};
};

using TestSupport::Narrow;

TEST_F(FileLoggerTest, FirstWriteCreatesTheFolderAndANamedFile)
{
    ASSERT_EQ(::GetFileAttributesW(mFolder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Write("first line\r\n"), S_OK);
    const std::vector<std::wstring> files = Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(std::regex_match(Narrow(files[0]), std::regex(R"(Trial-\d{8}\.\d{9}\.\d+\.[0-9a-f]+\.log)")))
        << Narrow(files[0]);
    EXPECT_EQ(Content(files[0]), "first line\r\n");
}

TEST_F(FileLoggerTest, WriteThatReachesTheSizeExactlyAppendsAndOneByteMoreStartsANewFile)
{
    mLogger.SetMaxFileSize(10);
    ASSERT_EQ(Write("AAAAAA"), S_OK);
    ASSERT_EQ(Write("BBBB"), S_OK);
    std::vector<std::wstring> files = Files();
    ASSERT_EQ(files.size(), 1u);
    const std::wstring first = files[0];
    EXPECT_EQ(Content(first), "AAAAAABBBB");

    // The full file is kept while the count allows more files.
    Age(first, 2);
    ASSERT_EQ(Write("C"), S_OK);
    files = Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(Content(first), "AAAAAABBBB");
    const std::wstring second = files[0] == first ? files[1] : files[0];
    EXPECT_EQ(Content(second), "C");

    // At the count, the oldest file makes room for the new one.
    mLogger.SetMaxFileCount(2);
    Age(second, 1);
    TestSupport::DebugLineCapture debug;
    ASSERT_EQ(Write("DDDDDDDDDD"), S_OK);
    files = Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(std::count(files.begin(), files.end(), first), 0);
    EXPECT_EQ(Content(second), "C");
    EXPECT_EQ(debug.CountContaining("too many files, Delete:" + Narrow(mFolder + L"\\" + first) + ".\r\n"), 1u);
    EXPECT_EQ(debug.CountContaining("{TalvexBasic$FileLogger}["), 1u);
}

TEST_F(FileLoggerTest, SevenMatchingFilesLoseTheTwoOldestAndOthersAreLeftAlone)
{
    ASSERT_TRUE(::CreateDirectoryW(mFolder.c_str(), nullptr));
    for (int index = 1; index <= 7; ++index) {
        MakeFile(L"Trial-" + std::to_wstring(index) + L".log", "old" + std::to_string(index) + "\r\n", 10 - index);
    }
    // Older than all of them, but without the name in their paths: neither counted nor deleted.
    MakeFile(L"Other-1.log", "x", 20);
    MakeFile(L"Other-2.log", "y", 21);
    ASSERT_TRUE(::CreateDirectoryW((mFolder + L"\\Trial-folder").c_str(), nullptr));

    TestSupport::DebugLineCapture debug;
    ASSERT_EQ(Write("new\r\n"), S_OK);
    EXPECT_EQ(Files(), (std::vector<std::wstring>{L"Other-1.log", L"Other-2.log", L"Trial-3.log", L"Trial-4.log",
                                                  L"Trial-5.log", L"Trial-6.log", L"Trial-7.log"}));
    EXPECT_EQ(Content(L"Trial-7.log"), "old7\r\nnew\r\n");
    EXPECT_EQ(debug.CountContaining("too many files, Delete:"), 2u);
    EXPECT_EQ(debug.CountContaining("Delete:" + Narrow(mFolder) + "\\Trial-1.log.\r\n"), 1u);
    EXPECT_EQ(debug.CountContaining("Delete:" + Narrow(mFolder) + "\\Trial-2.log.\r\n"), 1u);
    EXPECT_EQ(debug.CountContaining(" TalvexBasic::Logs::FileLogger::Write,"), 2u);
}

TEST_F(FileLoggerTest, EveryFileCountsWhenTheFolderPathHoldsTheName)
{
    ASSERT_TRUE(::CreateDirectoryW(mFolder.c_str(), nullptr));
    MakeFile(L"unrelated.txt", "u", 5);
    ASSERT_EQ(mLogger.SetName(L"\\lOG"), S_OK); // the folder is ...\Log
    mLogger.SetMaxFileCount(1);
    ASSERT_EQ(Write("x"), S_OK);
    EXPECT_EQ(Files(), (std::vector<std::wstring>{L"unrelated.txt"}));
    EXPECT_EQ(Content(L"unrelated.txt"), "ux");
}

// Between listings the logger goes by what it learnt and by its own appends; these writes come
// after the folder has settled, so that they take that way.
constexpr DWORD kSettle = 250;

TEST_F(FileLoggerTest, SettledFolderKeepsTheSizeRuleAcrossWrites)
{
    mLogger.SetMaxFileSize(10);
    ASSERT_EQ(Write("AAAAAA"), S_OK);
    ::Sleep(kSettle);
    ASSERT_EQ(Write("BB"), S_OK);
    ASSERT_EQ(Write("BB"), S_OK); // exactly full
    ASSERT_EQ(Files().size(), 1u);
    const std::wstring first = Files()[0];
    EXPECT_EQ(Content(first), "AAAAAABBBB");
    ASSERT_EQ(Write("C"), S_OK);
    std::vector<std::wstring> files = Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(Content(first), "AAAAAABBBB");
    EXPECT_EQ(Content(files[0] == first ? files[1] : files[0]), "C");
}

TEST_F(FileLoggerTest, SettledFolderStillSeesFilesThatOthersCreateDeleteOrAppendTo)
{
    mLogger.SetMaxFileSize(10);
    ASSERT_EQ(Write("AAAA"), S_OK);
    ::Sleep(kSettle);
    ASSERT_EQ(Write("B"), S_OK);
    ASSERT_EQ(Files().size(), 1u);
    const std::wstring first = Files()[0];

    // Another writer appends to the newest file: the size after this logger's next append counts.
    {
        HANDLE file = ::CreateFileW((mFolder + L"\\" + first).c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file, "XXXX", 4, &written, nullptr));
        ::CloseHandle(file);
    }
    ASSERT_EQ(Write("C"), S_OK);
    EXPECT_EQ(Content(first), "AAAABXXXXC");
    ASSERT_EQ(Write("D"), S_OK);
    ASSERT_EQ(Files().size(), 2u);
    EXPECT_EQ(Content(first), "AAAABXXXXC");

    // Another writer starts a newer file: it is the newest from then on.
    ::Sleep(kSettle);
    ASSERT_EQ(Write("E"), S_OK);
    MakeFile(L"Trial-other.log", "o", 0);
    ASSERT_EQ(Write("F"), S_OK);
    EXPECT_EQ(Content(L"Trial-other.log"), "oF");

    // Another writer deletes the newest file: the next write goes by what is left.
    ::Sleep(kSettle);
    ASSERT_EQ(Write("G"), S_OK);
    EXPECT_EQ(Content(L"Trial-other.log"), "oFG");
    ASSERT_TRUE(::DeleteFileW((mFolder + L"\\Trial-other.log").c_str()));
    mLogger.SetMaxFileCount(1);
    TestSupport::DebugLineCapture debug;
    ASSERT_EQ(Write("H"), S_OK);
    const std::vector<std::wstring> files = Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Content(files[0]), "DEH");
    EXPECT_EQ(debug.CountContaining("too many files, Delete:" + Narrow(mFolder + L"\\" + first) + ".\r\n"), 1u);
}

TEST_F(FileLoggerTest, RefusesEveryWriteWhenNotInitializedOrNotAcceptingTheLevel)
{
    TestSupport::DebugLineCapture debug;
    mLogger.Finalize();
    EXPECT_EQ(Write("x"), kNotSupported);
    EXPECT_EQ(debug.CountContaining("{TalvexBasic$FileLogger}["), 1u);
    EXPECT_EQ(debug.CountContaining(" TalvexBasic::Logs::FileLogger::Write,"), 1u);
    EXPECT_EQ(debug.CountContaining("]:mIsInitialized is False.\r\n"), 1u);

    ASSERT_EQ(mLogger.Initialize(), S_OK);
    mLogger.mLevelMask = Level::Information;
    EXPECT_EQ(Write("x"), kNotSupported);
    EXPECT_EQ(debug.CountContaining("]:is can not log.\r\n"), 1u);
    EXPECT_TRUE(Files().empty());

    ScratchLogger fresh(mFolder);
    EXPECT_EQ(fresh.Write("x", 1, Level::Trace), kNotSupported);
    EXPECT_EQ(debug.CountContaining("]:mIsInitialized is False.\r\n"), 2u);
}

TEST_F(FileLoggerTest, FolderThatCannotBeMadeFailsTheWrite)
{
    ASSERT_TRUE(::CreateDirectoryW(mFolder.c_str(), nullptr));
    MakeFile(L"blocker", "", 0);
    const std::wstring blocked = mFolder + L"\\blocker\\sub\\Log";
    ASSERT_EQ(mLogger.SetDirectory(blocked.c_str()), S_OK);
    TestSupport::DebugLineCapture debug;
    const HRESULT result = Write("x");
    ASSERT_LT(result, 0);
    ASSERT_EQ(HRESULT_FACILITY(result), FACILITY_WIN32);
    EXPECT_EQ(debug.CountContaining("{TalvexBasic$FileLogger}["), 1u);
    // The logger's own line names the wide folder and the Win32 error number that it returns.
    EXPECT_EQ(debug.CountContaining(" TalvexBasic::Logs::FileLogger::Write,"), 1u);
    EXPECT_EQ(debug.CountContaining("]:MakeSureDirectoryPathExists(" + Narrow(blocked) + ") error" +
                                    std::to_string(HRESULT_CODE(result)) + ".\r\n"),
              1u);
    EXPECT_EQ(Files(), (std::vector<std::wstring>{L"blocker"}));
}

// Needs Directory::MakeSureDirectoryPathExists$Static to make the folders from the wide path;
// while it still goes through the narrow platform routine the name turns into '?' and fails.
TEST_F(FileLoggerTest, FolderNamesOutsideTheCodePageAreMadeAsTheyAre)
{
    const std::wstring folder = mScratch + L"\\\x4E2D\x0416\\Log";
    ASSERT_EQ(mLogger.SetDirectory(folder.c_str()), S_OK);
    ASSERT_EQ(Write("x\r\n"), S_OK);
    const std::vector<std::wstring> files = TestSupport::FilesIn(folder);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(TestSupport::ReadWholeFile(folder + L"\\" + files[0]), "x\r\n");
}

// A failed WriteFile whose last error reads 0 must still fail.
BOOL WINAPI WriteFileFailingWithoutError(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED)
{
    ::SetLastError(0);
    return FALSE;
}

TEST_F(FileLoggerTest, FailedWriteWithoutALastErrorIsNotSuccess)
{
    TestSupport::DebugLineCapture debug;
    {
        TestSupport::ImportPatch<decltype(&::WriteFile)> patch(__imp_WriteFile, &WriteFileFailingWithoutError);
        EXPECT_EQ(Write("new file"), E_FAIL);
    }
    EXPECT_EQ(debug.CountContaining(" TalvexBasic::Logs::FileLogger::CreateWriteClose,"), 1u);
    EXPECT_EQ(debug.CountContaining("]:WriteFile return:0x80004005.\r\n"), 1u);
    const std::vector<std::wstring> files = Files();
    ASSERT_EQ(files.size(), 1u);
    {
        TestSupport::ImportPatch<decltype(&::WriteFile)> patch(__imp_WriteFile, &WriteFileFailingWithoutError);
        EXPECT_EQ(Write("append"), E_FAIL);
    }
    EXPECT_EQ(debug.CountContaining(" TalvexBasic::Logs::FileLogger::OpenWriteClose,"), 1u);
    EXPECT_EQ(debug.CountContaining("]:WriteFile(" + Narrow(mFolder + L"\\" + files[0]) + ") error:0x80004005.\r\n"),
              1u);
}

// A write that takes fewer bytes than it was given: half of them reach the file.
decltype(&::WriteFile) gRealWriteFile = nullptr;
BOOL WINAPI WriteFileWritingHalf(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written, LPOVERLAPPED overlapped)
{
    return gRealWriteFile(file, data, bytes / 2, written, overlapped);
}

TEST_F(FileLoggerTest, ShortWriteIsAWriteFault)
{
    constexpr HRESULT kWriteFault = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    TestSupport::DebugLineCapture debug;
    {
        TestSupport::ImportPatch<decltype(&::WriteFile)> patch(__imp_WriteFile, &WriteFileWritingHalf);
        gRealWriteFile = patch.Original();
        EXPECT_EQ(Write("new file"), kWriteFault);
    }
    EXPECT_EQ(debug.CountContaining(" TalvexBasic::Logs::FileLogger::CreateWriteClose,"), 1u);
    EXPECT_EQ(debug.CountContaining("]:WriteFile return:0x8007001d.\r\n"), 1u);
    const std::vector<std::wstring> files = Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Content(files[0]), "new ");
    {
        TestSupport::ImportPatch<decltype(&::WriteFile)> patch(__imp_WriteFile, &WriteFileWritingHalf);
        gRealWriteFile = patch.Original();
        EXPECT_EQ(Write("append"), kWriteFault);
    }
    EXPECT_EQ(debug.CountContaining(" TalvexBasic::Logs::FileLogger::OpenWriteClose,"), 1u);
    EXPECT_EQ(debug.CountContaining("]:WriteFile(" + Narrow(mFolder + L"\\" + files[0]) + ") error:0x8007001d.\r\n"),
              1u);
    EXPECT_EQ(Content(files[0]), "new app");
    // A whole write of the same file still succeeds.
    EXPECT_EQ(Write("!"), S_OK);
    EXPECT_EQ(Content(files[0]), "new app!");
}

TEST(FileLoggerNames, DefaultFolderIsBelowAppdataAndNamedAfterTheProgram)
{
    wchar_t appData[4096] = {};
    ASSERT_GT(::GetEnvironmentVariableW(L"APPDATA", appData, 4096), 0u);
    wchar_t program[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameW(nullptr, program, MAX_PATH), 0u);
    const std::wstring programPath = program;
    FileLogger logger;
    ASSERT_EQ(logger.Initialize(), S_OK);
    EXPECT_EQ(logger.mDirectory,
              std::wstring(appData) + L"\\TalvexBasicLog" + programPath.substr(programPath.find_last_of(L'\\')));
}

TEST(FileLoggerNames, FileNameCarriesPrefixTimeTickRandomAndSuffix)
{
    FileLogger logger;
    std::wstring name = L"replaced";
    const wchar_t prefix[] = L"Morvane-and-more";
    ASSERT_EQ(logger.CreateFileName(name, prefix, 7, L"log", 3), S_OK);
    EXPECT_TRUE(std::regex_match(Narrow(name), std::regex(R"(Morvane-\d{8}\.\d{9}\.\d+\.[0-9a-f]{1,8}\.log)")))
        << Narrow(name);
    EXPECT_THROW(static_cast<void>(logger.CreateFileName(name, nullptr, 1, L"log", 3)), TalvexBasic::HResultError);
}

} // namespace
