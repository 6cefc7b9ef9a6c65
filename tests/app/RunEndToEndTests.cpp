// The real Morvane.exe on a desktop of fixture windows from two processes: which windows it
// reports, what each report says, the completion message and the exit code.

#include "support/DebugCapture.h"
#include "support/FixtureProcess.h"
#include "support/SharedMorvaneRun.h"
#include "support/TestPaths.h"
#include "support/TestText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace TestSupport;

std::wstring Format(const wchar_t* format, ...)
{
    std::vector<wchar_t> buffer(8192);
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vswprintf(buffer.data(), buffer.size(), format, arguments);
    va_end(arguments);
    return length < 0 ? std::wstring() : std::wstring(buffer.data(), static_cast<size_t>(length));
}

[[maybe_unused]] const bool kUsesSharedRun = UsesSharedMorvaneRun("RunEndToEnd");

// A window of the shared run and the zone its report must name; null: it must not be reported.
struct Sample {
    const SharedRunWindow* shared;
    const char* zone;
};

class RunEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sRun = &TheSharedMorvaneRun(); }

    void SetUp() override
    {
        ASSERT_TRUE(sRun->failure.empty()) << sRun->failure;
        ASSERT_TRUE(sRun->result.exited);
        ASSERT_FALSE(sRun->result.timedOut);
    }

    static std::vector<Sample> Samples()
    {
        const SharedRunDesktop& desktop = sRun->desktop;
        return {{&desktop.framed, "LeftTopCornet"},
                {&desktop.tiny, "Center"},
                {&desktop.hidden, nullptr},
                {&desktop.thin, nullptr},
                {&desktop.topmost, "RightBottomCorner"},
                {&desktop.untitled, "RightTopCorner"},
                {&desktop.leftTop, "LeftTopCornet"},
                {&desktop.centre, "Center"},
                {&desktop.rightLow, "RightBottomCorner"},
                {&desktop.hung, "RightBottomCorner"},
                {&desktop.plain, "LeftTopCornet"},
                {&desktop.wideCaption, "Center"},
                {&desktop.vanishing, nullptr}};
    }

    static std::wstring OutputDirectory() { return sRun->outputDirectory; }

    // The run's trace lines of the tool, from its log file.
    static std::vector<std::string> LogLines()
    {
        if (sRun->logFiles.size() != 1) {
            return {};
        }
        return TestSupport::CrLfLines(ReadWholeFile(sRun->logFolder + L"\\" + sRun->logFiles.front()));
    }

    static inline const SharedMorvaneRun* sRun = nullptr;
};

TEST_F(RunEndToEnd, EndsWithTheCompletionMessageAndExitCodeZero)
{
    EXPECT_EQ(sRun->result.exitCode, 0u);
    ASSERT_EQ(sRun->result.messageBoxTexts.size(), 1u);
    const std::wstring directory = OutputDirectory();
    EXPECT_EQ(sRun->result.messageBoxTexts.front(), L"Success Save All Window To \r\n\"" + directory + L"\".");
    const std::wstring base = ProgramDirectory() + L"\\Morvane\\Output\\";
    ASSERT_EQ(directory.compare(0, base.size(), base), 0) << Narrow(directory);
    EXPECT_TRUE(std::regex_match(Narrow(directory.substr(base.size())), std::regex(R"(\d{8}-\d{6}-\d{1,3}-\d+-\d+)")))
        << Narrow(directory);
}

TEST_F(RunEndToEnd, StartUpAndShutDownLinesFrameTheRun)
{
    const std::vector<std::string> lines = LogLines();
    ASSERT_GE(lines.size(), 4u);
    const std::regex header(
        R"(\{[A-Z][a-z]{2} [ 123]\d \d{4}-\d\d:\d\d:\d\d\}\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} )" +
        std::to_string(sRun->result.processId) + R"(-\d+ ([A-Za-z:$]+),\d+\]:(.*))");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, header)) << lines[0];
    EXPECT_EQ(match[1], "Initialize");
    EXPECT_EQ(match[2], "begin~.");
    ASSERT_TRUE(std::regex_match(lines[1], match, header)) << lines[1];
    EXPECT_EQ(match[1], "Initialize");
    EXPECT_EQ(match[2], "gOutputDirectory:" + Narrow(OutputDirectory()) + ".");
    ASSERT_TRUE(std::regex_match(lines[2], match, header)) << lines[2];
    EXPECT_EQ(match[2], "GdiplusStartup return:0.");
    ASSERT_TRUE(std::regex_match(lines.back(), match, header)) << lines.back();
    EXPECT_EQ(match[1], "Finalize");
    EXPECT_EQ(match[2], "end..");
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, header)) << line;
    }
}

TEST_F(RunEndToEnd, EachUsableVisibleWindowGetsExactlyFiveReportLines)
{
    const std::vector<std::string> lines = LogLines();
    const std::wstring processPath = DesktopFixturePath();
    const std::string stars(58, '*');
    for (const Sample& sample : Samples()) {
        const SharedRunWindow& shared = *sample.shared;
        const HWND window = shared.window.handle;
        const std::string handle = Narrow(
            Format(L"WindowHandle:0x%016llX,", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window))));
        std::vector<size_t> found;
        for (size_t index = 0; index < lines.size(); ++index) {
            if (lines[index].find("]:" + handle) != std::string::npos) {
                found.push_back(index);
            }
        }
        if (sample.zone == nullptr) {
            EXPECT_TRUE(found.empty()) << Narrow(shared.layout.caption) << " must not be reported";
            continue;
        }
        ASSERT_EQ(found.size(), 1u) << Narrow(shared.layout.caption);
        const size_t at = found.front();
        ASSERT_GE(at, 2u);
        ASSERT_LT(at + 2, lines.size());

        const RECT& r = shared.layout.rect;
        const unsigned style = shared.style;
        const unsigned exStyle = shared.exStyle;
        const MONITORINFOEXW& monitor = shared.monitorInfo;
        const HMONITOR monitorHandle = shared.monitor;
        const RECT& work = monitor.rcWork;

        const std::string expected[5] = {
            stars + ".",
            std::string("ZonePosition:") + sample.zone + ".",
            Narrow(Format(L"WindowHandle:0x%016llX, Style:0x%x, %u, ExtendedStyle:0x%x, %u, ProcessId:%u, "
                          L"ThreadId:%u, Left:%d, Right:%d, Top:%d, Bottom:%d, Width:%u, Height:%u, "
                          L"Caption:%ls, ClassName:%ls, ProcessPath:%ls.",
                          static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window)), style, style, exStyle,
                          exStyle, static_cast<unsigned>(shared.window.processId),
                          static_cast<unsigned>(shared.window.threadId), static_cast<int>(r.left),
                          static_cast<int>(r.right), static_cast<int>(r.top), static_cast<int>(r.bottom),
                          static_cast<unsigned>(r.right - r.left), static_cast<unsigned>(r.bottom - r.top),
                          shared.layout.caption.c_str(), shared.layout.className.c_str(), processPath.c_str())),
            Narrow(Format(L"DisplayMonitor Handle:0x%016llX, Left:%d, Right:%d, Top:%d, Bottom:%d, Width:%u, "
                          L"Height:%u, Flags:0x%x, DeviceName:%ls.",
                          static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(monitorHandle)),
                          static_cast<int>(work.left), static_cast<int>(work.right), static_cast<int>(work.top),
                          static_cast<int>(work.bottom), static_cast<unsigned>(work.right - work.left),
                          static_cast<unsigned>(work.bottom - work.top), static_cast<unsigned>(monitor.dwFlags),
                          monitor.szDevice)),
            stars + ".",
        };
        for (size_t line = 0; line < 5; ++line) {
            const std::string& actual = lines[at - 2 + line];
            EXPECT_NE(actual.find(" Morvane::Log,"), std::string::npos) << actual;
            const size_t message = actual.find("]:");
            ASSERT_NE(message, std::string::npos) << actual;
            EXPECT_EQ(actual.substr(message + 2), expected[line]);
        }
    }
    // The work area is not the monitor: the report shows the work area.
    EXPECT_NE(lines.end(), std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
                  return line.find("]:DisplayMonitor Handle:0x") != std::string::npos &&
                         line.find(", Bottom:1040, Width:1920, Height:1040, ") != std::string::npos;
              }));
}

TEST_F(RunEndToEnd, ToolLinesGoToTheLogFileNotToTheDebugger)
{
    for (const DebugLine& line : sRun->result.lines) {
        EXPECT_EQ(line.text.find(L" Morvane::Log,"), std::wstring::npos) << line.narrow;
        EXPECT_EQ(line.text.find(L"]:begin~."), std::wstring::npos);
        EXPECT_EQ(line.text.find(L"]:end.."), std::wstring::npos);
    }
}

} // namespace
