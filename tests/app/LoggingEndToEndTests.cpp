// The real Morvane.exe writes its own trace lines into its log folder, and only there; the base
// library's lines and those of the logging itself go to the debugger output.

#include "EnvironmentOverride.h"

#include "support/DebugCapture.h"
#include "support/MorvaneRun.h"
#include "support/FixtureProcess.h"
#include "support/SharedMorvaneRun.h"
#include "support/TestPaths.h"
#include "support/TestText.h"
#include "system/HResult.h"
#include "system/UniqueResource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace TestSupport;

// One line of a log file, split into its header fields.
struct LogLine {
    unsigned processId = 0;
    std::string function;
    std::string message;
};

const std::regex kHeaderedLine(R"(\{[A-Z][a-z]{2} [ 1-3]\d \d{4}-\d\d:\d\d:\d\d\})"
                               R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} (\d+)-\d+ ([^,\]]+),\d+\]:(.*))");

[[maybe_unused]] const bool kUsesSharedRun = UsesSharedMorvaneRun("LoggingEndToEnd");

class LoggingEndToEnd : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const std::wstring& folder : mCleanUp) {
            RemoveTree(folder);
        }
    }
    std::vector<std::wstring> mCleanUp;
};

TEST_F(LoggingEndToEnd, ToolLinesGoIntoTheLogFileAndNeverToTheDebugger)
{
    const SharedMorvaneRun& run = TheSharedMorvaneRun();
    ASSERT_TRUE(run.failure.empty()) << run.failure;
    const DebugCaptureResult& result = run.result;
    ASSERT_TRUE(result.exited);
    EXPECT_EQ(result.exitCode, 0u);
    const std::wstring& output = run.outputDirectory;
    ASSERT_FALSE(output.empty());
    const FixtureWindow& plainWindow = run.desktop.plain.window;
    const FixtureWindow& wideWindow = run.desktop.wideCaption.window;
    // A window that stopped answering: the capture library reports it on the debugger output.
    const FixtureWindow& hungWindow = run.desktop.hung.window;

    const std::wstring& logFolder = run.logFolder;
    const std::vector<std::wstring>& files = run.logFiles;
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(std::regex_match(Narrow(files[0]), std::regex(R"(Morvane-\d{8}\.\d{9}\.\d+\.[0-9a-f]{1,8}\.log)")))
        << Narrow(files[0]);

    // Every line has the full header and a line end.
    const std::string content = ReadWholeFile(logFolder + L"\\" + files[0]);
    ASSERT_GE(content.size(), 2u);
    ASSERT_EQ(content.substr(content.size() - 2), "\r\n");
    std::vector<LogLine> lines;
    std::vector<std::string> rawLines;
    for (size_t start = 0; start < content.size();) {
        const size_t end = content.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        const std::string raw = content.substr(start, end - start);
        std::smatch match;
        ASSERT_TRUE(std::regex_match(raw, match, kHeaderedLine)) << raw;
        lines.push_back({static_cast<unsigned>(std::stoul(match[1])), match[2], match[3]});
        rawLines.push_back(raw + "\r\n");
        start = end + 2;
    }
    // The process id and the lines that frame the run: RunEndToEnd.StartUpAndShutDownLinesFrameTheRun.

    // Each fixture window: five report lines, then the three lines of its shot folder.
    for (const FixtureWindow* window : {&plainWindow, &wideWindow, &hungWindow}) {
        char handle[64];
        std::snprintf(handle, sizeof handle, "WindowHandle:0x%016llX,", TalvexBasic::PointerBits(window->handle));
        const auto report = std::find_if(lines.begin(), lines.end(), [&](const LogLine& line) {
            return line.message.find(handle) != std::string::npos;
        });
        ASSERT_NE(report, lines.end()) << handle;
        ASSERT_GE(report - lines.begin(), 2);
        ASSERT_GE(lines.end() - report, 7);
        const auto first = report - 2;
        EXPECT_EQ(first[0].message, "**********************************************************.");
        EXPECT_EQ(first[1].message.rfind("ZonePosition:", 0), 0u);
        EXPECT_EQ(first[3].message.rfind("DisplayMonitor Handle:", 0), 0u);
        EXPECT_EQ(first[4].message, "**********************************************************.");
        for (int index = 0; index < 5; ++index) {
            EXPECT_EQ(first[index].function, "Morvane::Log");
        }
        for (int index = 5; index < 8; ++index) {
            EXPECT_EQ(first[index].function, "Morvane::SaveWindowShot");
        }
    }
    // A caption outside the ANSI code page arrives with its default character in their place.
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const LogLine& line) {
                                return line.message.find("Caption:Logging ?? fixture, ClassName:LoggingFixtureWide,") !=
                                       std::string::npos;
                            }),
              1);

    // The debugger output holds the library's lines, and no line of the file.
    char hungHandle[64];
    std::snprintf(hungHandle, sizeof hungHandle, "SendMessageTimeoutW(0x%016llX, WM_NULL) failed",
                  TalvexBasic::PointerBits(hungWindow.handle));
    size_t libraryLines = 0;
    for (const DebugLine& line : result.lines) {
        const std::string text = line.wide ? Narrow(line.text) : line.narrow;
        EXPECT_EQ(std::find(rawLines.begin(), rawLines.end(), text), rawLines.end()) << text;
        std::smatch match;
        if (std::regex_search(text, match, kHeaderedLine)) {
            EXPECT_NE(match[2], "Initialize");
            EXPECT_NE(match[2], "Morvane::Log");
            EXPECT_NE(match[2], "Morvane::SaveWindowShot");
            if (match[2] == "TalvexBasic::Drawings::Screenshot::CaptureToBitmap$Static" &&
                text.find(hungHandle) != std::string::npos) {
                ++libraryLines;
            }
        }
    }
    EXPECT_EQ(libraryLines, 1u);
}

TEST_F(LoggingEndToEnd, BlockedOutputFolderTakesTheLogAlongToTheFallback)
{
    // A file named "Morvane" beside the program stands where the output tree would begin. The
    // output folder is made before the logger starts, so the log goes wherever the output goes.
    const std::wstring scratch = MakeScratchDirectory(L"LoggingBlocked");
    mCleanUp.push_back(scratch);
    const std::wstring local = MakeScratchDirectory(L"LoggingLocal");
    mCleanUp.push_back(local);
    const std::wstring program = scratch + L"\\Morvane.exe";
    ASSERT_TRUE(::CopyFileW((ProgramDirectory() + L"\\Morvane.exe").c_str(), program.c_str(), FALSE));
    ASSERT_TRUE(TalvexBasic::UniqueFileHandle(::CreateFileW((scratch + L"\\Morvane").c_str(), GENERIC_WRITE, 0, nullptr,
                                                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));

    const MorvaneTests::EnvironmentOverride override(L"LOCALAPPDATA", local.c_str());
    const DebugCaptureResult result = RunMorvane(program);
    ASSERT_TRUE(result.failure.empty()) << result.failure;
    ASSERT_TRUE(result.exited);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0u);
    const std::wstring output = CompletionDirectory(result);
    EXPECT_EQ(output.rfind(local + L"\\Morvane\\Output\\", 0), 0u);
    EXPECT_EQ(FilesIn(output + L"\\Log").size(), 1u);
    // No line is lost: the file logger has nothing to complain about.
    EXPECT_TRUE(result.LinesContaining(L"{TalvexBasic$FileLogger}[").empty());
}

} // namespace
