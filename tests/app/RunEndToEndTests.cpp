// The real Morvane.exe on a desktop of fixture windows from two processes: which windows it
// reports, what each report says, the completion message and the exit code.

#include "support/DebugCapture.h"
#include "support/MorvaneRun.h"
#include "support/FixtureProcess.h"
#include "support/TestPaths.h"
#include "system/TextConversion.h"

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
using TalvexBasic::ToThreadAnsi;

std::wstring Format(const wchar_t* format, ...)
{
    std::vector<wchar_t> buffer(8192);
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vswprintf(buffer.data(), buffer.size(), format, arguments);
    va_end(arguments);
    return length < 0 ? std::wstring() : std::wstring(buffer.data(), static_cast<size_t>(length));
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start) + "<no line end>");
    }
    return lines;
}

struct Sample {
    FixtureWindowSpec layout;
    FixtureWindow window;
    const char* zone = nullptr; // null: the tool must not report it
};

class RunEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sFirst = new FixtureProcess();
        sSecond = new FixtureProcess();
        ASSERT_TRUE(sFirst->Start()) << sFirst->Failure();
        ASSERT_TRUE(sSecond->Start()) << sSecond->Failure();

        sSamples = {
            {{{100, 100, 700, 500},
              L"Fixture main window",
              L"MorvaneRunMain",
              WS_OVERLAPPEDWINDOW | WS_VISIBLE,
              0,
              RGB(200, 30, 30)},
             {},
             "LeftTopCornet"},
            {{{1000, 50, 1004, 54}, L"Four by four", L"MorvaneRunTiny", WS_POPUP | WS_VISIBLE, 0, RGB(0, 0, 255)},
             {},
             "Center"},
            {{{200, 600, 400, 700}, L"Hidden", L"MorvaneRunHidden", WS_POPUP, 0, RGB(0, 255, 0)}, {}, nullptr},
            {{{900, 100, 903, 300}, L"Three wide", L"MorvaneRunNarrow", WS_POPUP | WS_VISIBLE, 0, RGB(0, 255, 0)},
             {},
             nullptr},
            {{{1500, 800, 1800, 1000},
              L"\x6F22\x5B57 pop-up",
              L"MorvaneRunPopup",
              WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
              WS_EX_TOPMOST | WS_EX_DLGMODALFRAME,
              RGB(230, 230, 0)},
             {},
             "RightBottomCorner"},
            {{{1300, 100, 1500, 300}, L"", L"MorvaneRunUntitled", WS_POPUP | WS_VISIBLE, 0, RGB(9, 9, 9)},
             {},
             "RightTopCorner"},
        };
        for (size_t index = 0; index < sSamples.size(); ++index) {
            FixtureProcess& owner = index < 4 ? *sFirst : *sSecond;
            sSamples[index].window = owner.Open(sSamples[index].layout);
            ASSERT_TRUE(sSamples[index].window) << sSamples[index].window.failure;
        }

        sRun = new DebugCaptureResult(RunMorvane());
    }

    static void TearDownTestSuite()
    {
        delete sRun;
        delete sFirst;
        delete sSecond;
        sRun = nullptr;
        sFirst = sSecond = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(sRun, nullptr);
        ASSERT_TRUE(sRun->failure.empty()) << sRun->failure;
        ASSERT_TRUE(sRun->exited);
        ASSERT_FALSE(sRun->timedOut);
    }

    static std::wstring OutputDirectory() { return CompletionDirectory(*sRun); }

    // The run's trace lines of the tool, from its log file.
    static std::vector<std::string> LogLines()
    {
        const std::wstring folder = OutputDirectory() + L"\\Log";
        const std::vector<std::wstring> names = FilesIn(folder);
        if (names.size() != 1) {
            return {};
        }
        return SplitLines(ReadWholeFile(folder + L"\\" + names.front()));
    }

    static inline FixtureProcess* sFirst = nullptr;
    static inline FixtureProcess* sSecond = nullptr;
    static inline std::vector<Sample> sSamples;
    static inline DebugCaptureResult* sRun = nullptr;
};

TEST_F(RunEndToEnd, EndsWithTheCompletionMessageAndExitCodeZero)
{
    EXPECT_EQ(sRun->exitCode, 0u);
    ASSERT_EQ(sRun->messageBoxTexts.size(), 1u);
    const std::wstring directory = OutputDirectory();
    EXPECT_EQ(sRun->messageBoxTexts.front(), L"Success Save All Window To \r\n\"" + directory + L"\".");
    const std::wstring base = ProgramDirectory() + L"\\Morvane\\Output\\";
    ASSERT_EQ(directory.compare(0, base.size(), base), 0) << ToThreadAnsi(directory);
    EXPECT_TRUE(
        std::regex_match(ToThreadAnsi(directory.substr(base.size())), std::regex(R"(\d{8}-\d{6}-\d{1,3}-\d+-\d+)")))
        << ToThreadAnsi(directory);
}

TEST_F(RunEndToEnd, StartUpAndShutDownLinesFrameTheRun)
{
    const std::vector<std::string> lines = LogLines();
    ASSERT_GE(lines.size(), 4u);
    const std::regex header(
        R"(\{[A-Z][a-z]{2} [ 123]\d \d{4}-\d\d:\d\d:\d\d\}\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} )" +
        std::to_string(sRun->processId) + R"(-\d+ ([A-Za-z:$]+),\d+\]:(.*))");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, header)) << lines[0];
    EXPECT_EQ(match[1], "Initialize");
    EXPECT_EQ(match[2], "begin~.");
    ASSERT_TRUE(std::regex_match(lines[1], match, header)) << lines[1];
    EXPECT_EQ(match[2], "gOutputDirectory:" + ToThreadAnsi(OutputDirectory()) + ".");
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
    for (const Sample& sample : sSamples) {
        const HWND window = sample.window.handle;
        const std::string handle = ToThreadAnsi(
            Format(L"WindowHandle:0x%016llX,", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window))));
        std::vector<size_t> found;
        for (size_t index = 0; index < lines.size(); ++index) {
            if (lines[index].find("]:" + handle) != std::string::npos) {
                found.push_back(index);
            }
        }
        if (sample.zone == nullptr) {
            EXPECT_TRUE(found.empty()) << ToThreadAnsi(sample.layout.caption) << " must not be reported";
            continue;
        }
        ASSERT_EQ(found.size(), 1u) << ToThreadAnsi(sample.layout.caption);
        const size_t at = found.front();
        ASSERT_GE(at, 2u);
        ASSERT_LT(at + 2, lines.size());

        const RECT& r = sample.layout.rect;
        const auto style = static_cast<unsigned>(::GetWindowLongPtrW(window, GWL_STYLE));
        const auto exStyle = static_cast<unsigned>(::GetWindowLongPtrW(window, GWL_EXSTYLE));
        MONITORINFOEXW monitor{};
        monitor.cbSize = sizeof monitor;
        const HMONITOR monitorHandle = ::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
        ASSERT_TRUE(::GetMonitorInfoW(monitorHandle, &monitor));
        const RECT& work = monitor.rcWork;

        const std::string expected[5] = {
            stars + ".",
            std::string("ZonePosition:") + sample.zone + ".",
            ToThreadAnsi(Format(L"WindowHandle:0x%016llX, Style:0x%x, %u, ExtendedStyle:0x%x, %u, ProcessId:%u, "
                                L"ThreadId:%u, Left:%d, Right:%d, Top:%d, Bottom:%d, Width:%u, Height:%u, "
                                L"Caption:%ls, ClassName:%ls, ProcessPath:%ls.",
                                static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window)), style, style,
                                exStyle, exStyle, static_cast<unsigned>(sample.window.processId),
                                static_cast<unsigned>(sample.window.threadId), static_cast<int>(r.left),
                                static_cast<int>(r.right), static_cast<int>(r.top), static_cast<int>(r.bottom),
                                static_cast<unsigned>(r.right - r.left), static_cast<unsigned>(r.bottom - r.top),
                                sample.layout.caption.c_str(), sample.layout.className.c_str(), processPath.c_str())),
            ToThreadAnsi(Format(L"DisplayMonitor Handle:0x%016llX, Left:%d, Right:%d, Top:%d, Bottom:%d, Width:%u, "
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
    for (const DebugLine& line : sRun->lines) {
        EXPECT_EQ(line.text.find(L" Morvane::Log,"), std::wstring::npos) << line.narrow;
        EXPECT_EQ(line.text.find(L"]:begin~."), std::wstring::npos);
        EXPECT_EQ(line.text.find(L"]:end.."), std::wstring::npos);
    }
}

} // namespace
