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
    ASSERT_EQ(mLogger.SetDirectory((mFolder + L"\\blocker\\Log").c_str()), S_OK);
    TestSupport::DebugLineCapture debug;
    EXPECT_LT(Write("x"), 0);
    EXPECT_EQ(debug.CountContaining("{TalvexBasic$FileLogger}["), 1u);
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
