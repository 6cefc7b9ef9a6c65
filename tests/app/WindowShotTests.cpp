// The window shot folders, made by the real Morvane.exe from fixture windows of two other
// processes, and by Morvane::SaveWindowShot in this process where Wine paints window pictures.

#include "capture/OutputFileNames.h"
#include "capture/WindowInfo.h"
#include "capture/WindowShot.h"
#include "logs/Trace.h"
#include "support/DebugCapture.h"
#include "support/FixtureProcess.h"
#include "support/FixtureWindows.h"
#include "support/JpegReader.h"
#include "support/SharedMorvaneRun.h"
#include "support/TestPaths.h"
#include "support/TestText.h"
#include "system/HResult.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

using TestSupport::FixtureWindow;
using TestSupport::FixtureWindowSpec;

using TestSupport::Narrow;

std::string Format(const char* format, ...) TALVEX_PRINTF_CHECK(1, 2);
std::string Format(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    return text;
}

std::wstring FolderName(const FixtureWindow& window, const std::wstring& image)
{
    wchar_t numbers[80];
    std::swprintf(numbers, 80, L"]-0x%016llX-%lu-%lu", TalvexBasic::PointerBits(window.handle),
                  static_cast<unsigned long>(window.processId), static_cast<unsigned long>(window.threadId));
    return L"[" + image + numbers;
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::set<std::wstring> ListFolder(const std::wstring& folder)
{
    const std::vector<std::wstring> names = TestSupport::NamesIn(folder);
    return {names.begin(), names.end()};
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end + 2 - start));
        start = end + 2;
    }
    return lines;
}

// The record the tool must write for a window, apart from its DateTime line, built from what the
// test itself set up and what the platform said of the window while it was open.
std::vector<std::string> ExpectedRecord(const TestSupport::SharedRunWindow& shared, const char* zone,
                                        const std::string& caption, const std::wstring& program)
{
    const FixtureWindow& window = shared.window;
    const RECT& rect = shared.layout.rect;
    const unsigned style = shared.style;
    const unsigned exStyle = shared.exStyle;
    const HMONITOR monitor = shared.monitor;
    const MONITORINFOEXW& info = shared.monitorInfo;
    const RECT& work = info.rcWork;
    const RECT& whole = info.rcMonitor;
    return {
        "DateTime line",
        Format("ZonePosition: %s\r\n", zone),
        "\r\n",
        Format("WindowHandle: 0x%016llX\r\n", TalvexBasic::PointerBits(window.handle)),
        Format("WindowStyle: 0x%x, %u\r\n", style, style),
        Format("WindowExtendedStyle: 0x%x, %u\r\n", exStyle, exStyle),
        Format("ProcessId: %lu\r\n", static_cast<unsigned long>(window.processId)),
        Format("ThreadId: %lu\r\n", static_cast<unsigned long>(window.threadId)),
        Format("WindowRectangle.left: %ld\r\n", static_cast<long>(rect.left)),
        Format("WindowRectangle.right: %ld\r\n", static_cast<long>(rect.right)),
        Format("WindowRectangle.top: %ld\r\n", static_cast<long>(rect.top)),
        Format("WindowRectangle.bottom: %ld\r\n", static_cast<long>(rect.bottom)),
        Format("WindowWidth: %ld\r\n", static_cast<long>(rect.right - rect.left)),
        Format("WindowHeight: %ld\r\n", static_cast<long>(rect.bottom - rect.top)),
        "WindowCaption: " + caption + "\r\n",
        "WindowClassName: " + Narrow(shared.layout.className) + "\r\n",
        "ProcessDosPath: " + Narrow(program) + "\r\n",
        "\r\n",
        Format("DisplayMonitorHandle: 0x%016llX\r\n", TalvexBasic::PointerBits(monitor)),
        Format("DisplayMonitorFlags: 0x%lx\r\n", static_cast<unsigned long>(info.dwFlags)),
        Format("DisplayMonitorWorkRectangle.left: %ld\r\n", static_cast<long>(work.left)),
        Format("DisplayMonitorWorkRectangle.right: %ld\r\n", static_cast<long>(work.right)),
        Format("DisplayMonitorWorkRectangle.top: %ld\r\n", static_cast<long>(work.top)),
        Format("DisplayMonitorWorkRectangle.bottom: %ld\r\n", static_cast<long>(work.bottom)),
        Format("DisplayMonitorWorkWidth: %ld\r\n", static_cast<long>(work.right - work.left)),
        Format("DisplayMonitorWorkHeight: %ld\r\n", static_cast<long>(work.bottom - work.top)),
        Format("DisplayMonitorRectangle.left: %ld\r\n", static_cast<long>(whole.left)),
        Format("DisplayMonitorRectangle.right: %ld\r\n", static_cast<long>(whole.right)),
        Format("DisplayMonitorRectangle.top: %ld\r\n", static_cast<long>(whole.top)),
        Format("DisplayMonitorRectangle.bottom: %ld\r\n", static_cast<long>(whole.bottom)),
        Format("DisplayMonitorWidth: %ld\r\n", static_cast<long>(whole.right - whole.left)),
        Format("DisplayMonitorHeight: %ld\r\n", static_cast<long>(whole.bottom - whole.top)),
        "DisplayMonitorName: " + Narrow(info.szDevice) + "\r\n",
        "\r\n",
    };
}

void ExpectRecord(const std::wstring& path, const std::vector<std::string>& expected)
{
    const std::string text = TestSupport::ReadWholeFile(path);
    ASSERT_FALSE(text.empty()) << Narrow(path);
    const std::vector<std::string> lines = SplitLines(text);
    ASSERT_EQ(lines.size(), 34u) << text;
    // The milliseconds are not padded.
    static const std::regex dateTime(
        R"(DateTime: \d{4}-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01]) ([01]\d|2[0-3]):[0-5]\d:[0-5]\d:(0|[1-9]\d{0,2})\r\n)");
    EXPECT_TRUE(std::regex_match(lines[0], dateTime)) << lines[0];
    for (size_t index = 1; index < expected.size(); ++index) {
        EXPECT_EQ(lines[index], expected[index]) << "line " << index + 1;
    }
}

void ExpectJpeg(const std::wstring& path, int width, int height, TestSupport::DecodedImage& image)
{
    std::string reason;
    ASSERT_TRUE(TestSupport::DecodeJpegFile(path, image, reason)) << Narrow(path) << ": " << reason;
    EXPECT_EQ(image.width, width);
    EXPECT_EQ(image.height, height);
}

::testing::AssertionResult ShowsColour(const TestSupport::DecodedImage& image, const RECT& rect, COLORREF colour)
{
    const TestSupport::Rgb found = image.MeanAround((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2, 5);
    if (TestSupport::IsNear(found, GetRValue(colour), GetGValue(colour), GetBValue(colour))) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "found " << TestSupport::Describe(found);
}

[[maybe_unused]] const bool kUsesSharedRun = TestSupport::UsesSharedMorvaneRun("WindowShotRun");

// The shared run of Morvane.exe (each Wine start of the tool costs seconds).
class WindowShotRun : public ::testing::Test {
protected:
    using Window = TestSupport::SharedRunWindow;

    static void SetUpTestSuite() { sRun = &TestSupport::TheSharedMorvaneRun(); }

    void SetUp() override
    {
        ASSERT_TRUE(sRun->failure.empty()) << sRun->failure;
        ASSERT_FALSE(sRun->shotFolder.empty());
    }

    static const TestSupport::SharedRunDesktop& Desktop() { return sRun->desktop; }

    static inline const TestSupport::SharedMorvaneRun* sRun = nullptr;
};

} // namespace

TEST_F(WindowShotRun, RunEndsNormallyDespiteTheHungAndTheVanishedWindow)
{
    EXPECT_TRUE(sRun->result.exited);
    EXPECT_FALSE(sRun->result.timedOut);
    EXPECT_FALSE(sRun->result.unhandledException);
    EXPECT_EQ(sRun->result.exitCode, 0u);
    ASSERT_EQ(sRun->result.messageBoxTexts.size(), 1u);
    EXPECT_TRUE(sRun->vanishingClosed) << "the vanishing window was not closed during the run";
    std::printf("Morvane.exe ran %lu ms\n", static_cast<unsigned long>(sRun->runMilliseconds));
}

TEST_F(WindowShotRun, OneFolderPerHandledWindowAndNoneForSkippedOnes)
{
    const std::set<std::wstring> folders = ListFolder(sRun->shotFolder);
    std::set<std::wstring> ours;
    for (const std::wstring& name : folders) {
        if (name.rfind(L"[DesktopFixture.exe]-0x", 0) == 0) {
            ours.insert(name);
        }
    }
    const auto name = [](const Window& window) { return FolderName(window.window, L"DesktopFixture.exe"); };
    // Every visible window of usable size gets one; two windows of one process get two.
    const TestSupport::SharedRunDesktop& desktop = Desktop();
    EXPECT_EQ(ours, (std::set<std::wstring>{name(desktop.framed), name(desktop.leftTop), name(desktop.plain),
                                            name(desktop.tiny), name(desktop.wideCaption), name(desktop.centre),
                                            name(desktop.untitled), name(desktop.hung), name(desktop.topmost),
                                            name(desktop.rightLow)}));
    EXPECT_EQ(folders.count(name(Desktop().hidden)), 0u);
    EXPECT_EQ(folders.count(name(Desktop().thin)), 0u);
    EXPECT_EQ(folders.count(name(Desktop().vanishing)), 0u);
}

TEST_F(WindowShotRun, TextRecordsAreByteExact)
{
    const std::wstring program = TestSupport::DesktopFixturePath();
    const auto path = [](const Window& window) {
        return sRun->shotFolder + L"\\" + FolderName(window.window, L"DesktopFixture.exe") + L"\\" + Morvane::kInfoFileName;
    };
    {
        SCOPED_TRACE("left top");
        ExpectRecord(path(Desktop().leftTop), ExpectedRecord(Desktop().leftTop, "LeftTopCornet", "Left top", program));
    }
    {
        SCOPED_TRACE("centre");
        ExpectRecord(path(Desktop().centre), ExpectedRecord(Desktop().centre, "Center", "Centre", program));
    }
    {
        SCOPED_TRACE("right low, caption outside the code page");
        // e acute and the euro sign exist in code page 1252; the two CJK characters do not.
        ExpectRecord(path(Desktop().rightLow),
                     ExpectedRecord(Desktop().rightLow, "RightBottomCorner", "Caf\xE9 ?? \x80 end", program));
    }
    {
        SCOPED_TRACE("hung");
        ExpectRecord(path(Desktop().hung), ExpectedRecord(Desktop().hung, "RightBottomCorner", "Hung", program));
    }
}

TEST_F(WindowShotRun, MonitorWorkAreaDiffersFromTheMonitor)
{
    const std::string text = TestSupport::ReadWholeFile(
        sRun->shotFolder + L"\\" + FolderName(Desktop().centre.window, L"DesktopFixture.exe") + L"\\" + Morvane::kInfoFileName);
    EXPECT_NE(text.find("\r\nDisplayMonitorWorkRectangle.bottom: 1040\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nDisplayMonitorWorkHeight: 1040\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nDisplayMonitorRectangle.bottom: 1080\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nDisplayMonitorHeight: 1080\r\n"), std::string::npos);
}

TEST_F(WindowShotRun, PicturesHaveTheWindowSizeAndTheMonitorShowsEachWindowAtItsPlace)
{
    for (const Window* window : {&Desktop().leftTop, &Desktop().centre, &Desktop().rightLow}) {
        SCOPED_TRACE(Narrow(window->layout.className));
        const std::wstring folder = sRun->shotFolder + L"\\" + FolderName(window->window, L"DesktopFixture.exe");
        const RECT& rect = window->layout.rect;
        TestSupport::DecodedImage picture;
        // Wine paints no window of another process into a picture, so these come from the screen
        // and still show the window's own colour.
        const LONG width = rect.right - rect.left;
        const LONG height = rect.bottom - rect.top;
        ExpectJpeg(folder + L"\\" + Morvane::kWindowPictureFileName, width, height, picture);
        if (picture.width == width) {
            EXPECT_TRUE(ShowsColour(picture, RECT{0, 0, width, height}, window->layout.fill));
        }
        TestSupport::DecodedImage monitor;
        ExpectJpeg(folder + L"\\" + Morvane::kMonitorPictureFileName, 1920, 1080, monitor);
        if (monitor.width == 1920) {
            EXPECT_TRUE(ShowsColour(monitor, rect, window->layout.fill));
        }
    }
}

TEST_F(WindowShotRun, HungWindowIsGivenUpOnButKeepsAllThreeFiles)
{
    const std::wstring folder = sRun->shotFolder + L"\\" + FolderName(Desktop().hung.window, L"DesktopFixture.exe");
    EXPECT_EQ(ListFolder(folder),
              (std::set<std::wstring>{Morvane::kInfoFileName, Morvane::kWindowPictureFileName, Morvane::kMonitorPictureFileName}));
    TestSupport::DecodedImage monitor;
    ExpectJpeg(folder + L"\\" + Morvane::kMonitorPictureFileName, 1920, 1080, monitor);
    if (monitor.width == 1920) {
        EXPECT_TRUE(ShowsColour(monitor, Desktop().hung.layout.rect, Desktop().hung.layout.fill));
    }
    // The capture names the window and the time-out in its line.
    const std::string handle = Format("0x%016llX", TalvexBasic::PointerBits(Desktop().hung.window.handle));
    size_t found = 0;
    for (const auto& line : sRun->result.lines) {
        if (line.narrow.find("CaptureToBitmap$Static") != std::string::npos &&
            line.narrow.find(handle) != std::string::npos && line.narrow.find("1460") != std::string::npos) {
            ++found;
        }
    }
    EXPECT_EQ(found, 1u);
}

TEST_F(WindowShotRun, EachFolderLeavesThreeTraceLines)
{
    // The tool's lines reach its log file while its logger is installed, the debugger otherwise.
    std::string lines;
    const std::wstring logFolder = sRun->outputDirectory + L"\\Log";
    for (const std::wstring& name : ListFolder(logFolder)) {
        lines += TestSupport::ReadWholeFile(logFolder + L"\\" + name);
    }
    for (const auto& line : sRun->result.lines) {
        lines += line.wide ? Narrow(line.text) : line.narrow;
    }
    EXPECT_NE(lines.find(" Morvane::SaveWindowShot,"), std::string::npos);
    for (const Window* window : {&Desktop().leftTop, &Desktop().hung}) {
        const std::string folder =
            Narrow(sRun->shotFolder + L"\\" + FolderName(window->window, L"DesktopFixture.exe")) + "\\";
        EXPECT_NE(lines.find("]:WriteToFile$Static(" + folder + "Morvane.Info.txt) return:0x0.\r\n"), std::string::npos)
            << folder;
        // The hung window's picture comes from the screen.
        EXPECT_NE(lines.find("]:CaptureWindowToJpegFile$Static(" + folder + "Morvane.Window.jpg) return:0x0.\r\n"),
                  std::string::npos)
            << folder;
        EXPECT_NE(lines.find("]:CaptureDisplayMonitorToJpegFile$Static(" + folder +
                             "Morvane.DisplayMonitor.jpg) return:0x0.\r\n"),
                  std::string::npos)
            << folder;
    }
}

// In this process Wine's PrintWindow does paint the window, so the window picture's colour can be
// checked; the record is sampled by the tool's own code.
TEST(WindowShotInProcess, WindowPictureShowsTheWindowsOwnPixels)
{
    TestSupport::GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.Started());
    TestSupport::FixtureWindows windows;
    FixtureWindowSpec layout;
    layout.rect = RECT{700, 150, 950, 330};
    layout.caption = L"In process";
    layout.className = L"ShotInProcess";
    layout.fill = RGB(150, 20, 200);
    const FixtureWindow window = windows.Open(layout);
    ASSERT_TRUE(window) << window.failure;

    Morvane::WindowInfo record;
    ASSERT_EQ(record.SampleInitialize(window.handle), S_OK);
    record.mCaption = layout.caption;
    record.mClassName = layout.className;
    Morvane::CaptureContext context;
    context.outputDirectory = TestSupport::MakeScratchDirectory(L"Shot");
    EXPECT_EQ(Morvane::SaveWindowShot(context, record), S_OK);

    const size_t slash = record.mProcessDosPath.find_last_of(L'\\');
    const std::wstring folder =
        context.outputDirectory + L"\\WindowShot\\" + FolderName(window, record.mProcessDosPath.substr(slash + 1)) + L"\\";
    TestSupport::DecodedImage picture;
    ExpectJpeg(folder + Morvane::kWindowPictureFileName, 250, 180, picture);
    if (picture.width == 250) {
        EXPECT_TRUE(ShowsColour(picture, RECT{0, 0, 250, 180}, layout.fill));
        EXPECT_TRUE(ShowsColour(picture, RECT{0, 0, 10, 10}, layout.fill));
    }
    EXPECT_TRUE(Exists(folder + Morvane::kInfoFileName));
    EXPECT_TRUE(Exists(folder + Morvane::kMonitorPictureFileName));
    TestSupport::RemoveTree(context.outputDirectory);
}
