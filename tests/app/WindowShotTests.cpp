// The window shot folders, made by the real Morvane.exe from fixture windows of two other
// processes, and by Morvane::SaveWindowShot in this process where Wine paints window pictures.

#include "RunState.h"
#include "WindowInfo.h"
#include "WindowShot.h"
#include "logs/Trace.h"
#include "support/DebugCapture.h"
#include "support/MorvaneRun.h"
#include "support/FixtureProcess.h"
#include "support/FixtureWindows.h"
#include "support/JpegReader.h"
#include "support/TestPaths.h"
#include "system/HResult.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using TestSupport::FixtureWindow;
using TestSupport::FixtureWindowSpec;

constexpr COLORREF kRed = RGB(220, 30, 30);
constexpr COLORREF kGreen = RGB(30, 190, 60);
constexpr COLORREF kBlue = RGB(40, 70, 220);
constexpr COLORREF kHungFill = RGB(240, 150, 20);

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (const wchar_t character : text) {
        narrow += static_cast<char>(character < 0x80 ? character : '?');
    }
    return narrow;
}

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
    std::set<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            names.insert(name);
        }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    return names;
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
// test itself set up and reads back from the platform.
std::vector<std::string> ExpectedRecord(const FixtureWindow& window, const RECT& rect, const char* zone,
                                        const std::string& caption, const std::string& className,
                                        const std::wstring& program)
{
    const auto style = static_cast<unsigned>(::GetWindowLongPtrW(window.handle, GWL_STYLE));
    const auto exStyle = static_cast<unsigned>(::GetWindowLongPtrW(window.handle, GWL_EXSTYLE));
    const HMONITOR monitor = ::MonitorFromWindow(window.handle, MONITOR_DEFAULTTONEAREST);
    MONITORINFOEXW info{};
    info.cbSize = sizeof(info);
    ::GetMonitorInfoW(monitor, &info);
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
        "WindowClassName: " + className + "\r\n",
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

// One run of Morvane.exe over a prepared desktop, shared by the tests below (each Wine start of
// the tool costs seconds).
class WindowShotRun : public ::testing::Test {
protected:
    struct Window {
        FixtureWindow window;
        FixtureWindowSpec layout;
    };

    static void SetUpTestSuite()
    {
        sRun = std::make_unique<Run>();
        sRun->Prepare();
    }
    static void TearDownTestSuite() { sRun.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(sRun->mFailure.empty()) << sRun->mFailure;
        ASSERT_FALSE(sRun->mShotFolder.empty());
    }

    struct Run {
        TestSupport::FixtureProcess mFirst;
        TestSupport::FixtureProcess mSecond;
        Window mLeftTop;   // first process
        Window mCentre;    // first process
        Window mRightLow;  // second process, caption outside the ANSI code page
        Window mHidden;    // second process, not visible
        Window mThin;      // second process, 3 pixels wide
        Window mVanishing; // first process, closed while the tool waits on the hung window
        Window mHung;      // second process, its thread no longer pumps messages
        TestSupport::DebugCaptureResult mResult;
        std::wstring mOutputDirectory;
        std::wstring mShotFolder;
        std::string mFailure;
        std::atomic<bool> mVanishingClosed{false};
        DWORD mRunMilliseconds = 0;

        ~Run()
        {
            // A hung window's thread is released first; the processes then end by themselves.
            if (mHung.window) {
                (void)mSecond.Close(mHung.window.handle);
            }
            (void)mSecond.Quit();
            (void)mFirst.Quit();
            if (!mOutputDirectory.empty()) {
                TestSupport::RemoveTree(mOutputDirectory);
            }
        }

        bool Open(TestSupport::FixtureProcess& process, Window& into, RECT rect, const wchar_t* caption,
                  const wchar_t* className, COLORREF fill, DWORD style = WS_POPUP | WS_VISIBLE, bool hung = false)
        {
            into.layout.rect = rect;
            into.layout.caption = caption;
            into.layout.className = className;
            into.layout.fill = fill;
            into.layout.style = style;
            into.window = hung ? process.OpenHung(into.layout) : process.Open(into.layout);
            if (!into.window) {
                mFailure = "cannot open " + Narrow(caption) + ": " + into.window.failure;
                return false;
            }
            return true;
        }

        void Prepare()
        {
            if (!mFirst.Start() || !mSecond.Start()) {
                mFailure = "DesktopFixture.exe: " + mFirst.Failure() + mSecond.Failure();
                return;
            }
            // Opened first, so lowest: the tool reaches it after the hung window on top.
            if (!Open(mFirst, mVanishing, RECT{1300, 100, 1500, 250}, L"Vanishing", L"ShotVanishing", kGreen) ||
                !Open(mFirst, mLeftTop, RECT{100, 100, 400, 300}, L"Left top", L"ShotLeftTop", kRed) ||
                !Open(mFirst, mCentre, RECT{800, 400, 1120, 680}, L"Centre", L"ShotCentre", kGreen) ||
                !Open(mSecond, mRightLow, RECT{1600, 860, 1920, 1040}, L"Caf\x00E9 \x6F22\x5B57 \x20AC end",
                      L"ShotRightLow", kBlue) ||
                !Open(mSecond, mHidden, RECT{500, 700, 700, 900}, L"Hidden", L"ShotHidden", kRed, WS_POPUP) ||
                !Open(mSecond, mThin, RECT{50, 600, 53, 800}, L"Thin", L"ShotThin", kRed) ||
                !Open(mSecond, mHung, RECT{1300, 500, 1500, 700}, L"Hung", L"ShotHung", kHungFill,
                      WS_POPUP | WS_VISIBLE, true)) {
                return;
            }

            // While the tool waits on the hung window, close the vanishing one below it.
            std::atomic<bool> stop{false};
            std::thread closer([this, &stop] {
                const std::wstring hungFolder = FolderName(mHung.window, L"DesktopFixture.exe");
                const std::wstring outputRoot = TestSupport::ProgramDirectory() + L"\\Morvane\\Output";
                while (!stop) {
                    for (const std::wstring& run : ListFolder(outputRoot)) {
                        if (Exists(outputRoot + L"\\" + run + L"\\WindowShot\\" + hungFolder + L"\\Morvane.Info.txt") &&
                            !mVanishingClosed) {
                            mVanishingClosed = mFirst.Close(mVanishing.window.handle);
                        }
                    }
                    ::Sleep(5);
                }
            });
            const DWORD start = ::GetTickCount();
            mResult = TestSupport::RunMorvane();
            mRunMilliseconds = ::GetTickCount() - start;
            stop = true;
            closer.join();
            if (!mResult.failure.empty()) {
                mFailure = "Morvane.exe: " + mResult.failure;
                return;
            }
            mOutputDirectory = TestSupport::CompletionDirectory(mResult);
            if (!mOutputDirectory.empty()) {
                mShotFolder = mOutputDirectory + L"\\WindowShot";
            }
        }
    };

    static inline std::unique_ptr<Run> sRun;
};

} // namespace

TEST_F(WindowShotRun, RunEndsNormallyDespiteTheHungAndTheVanishedWindow)
{
    EXPECT_TRUE(sRun->mResult.exited);
    EXPECT_FALSE(sRun->mResult.timedOut);
    EXPECT_FALSE(sRun->mResult.unhandledException);
    EXPECT_EQ(sRun->mResult.exitCode, 0u);
    ASSERT_EQ(sRun->mResult.messageBoxTexts.size(), 1u);
    EXPECT_TRUE(sRun->mVanishingClosed) << "the vanishing window was not closed during the run";
    std::printf("Morvane.exe ran %lu ms\n", static_cast<unsigned long>(sRun->mRunMilliseconds));
}

TEST_F(WindowShotRun, OneFolderPerHandledWindowAndNoneForSkippedOnes)
{
    const std::set<std::wstring> folders = ListFolder(sRun->mShotFolder);
    std::set<std::wstring> ours;
    for (const std::wstring& name : folders) {
        if (name.rfind(L"[DesktopFixture.exe]-0x", 0) == 0) {
            ours.insert(name);
        }
    }
    const auto name = [](const Window& window) { return FolderName(window.window, L"DesktopFixture.exe"); };
    // Two windows of one process get two folders.
    EXPECT_EQ(ours, (std::set<std::wstring>{name(sRun->mLeftTop), name(sRun->mCentre), name(sRun->mRightLow),
                                            name(sRun->mHung)}));
    EXPECT_EQ(folders.count(name(sRun->mHidden)), 0u);
    EXPECT_EQ(folders.count(name(sRun->mThin)), 0u);
    EXPECT_EQ(folders.count(name(sRun->mVanishing)), 0u);
}

TEST_F(WindowShotRun, TextRecordsAreByteExact)
{
    const std::wstring program = TestSupport::DesktopFixturePath();
    const auto path = [](const Window& window) {
        return sRun->mShotFolder + L"\\" + FolderName(window.window, L"DesktopFixture.exe") + L"\\Morvane.Info.txt";
    };
    {
        SCOPED_TRACE("left top");
        ExpectRecord(path(sRun->mLeftTop), ExpectedRecord(sRun->mLeftTop.window, sRun->mLeftTop.layout.rect,
                                                          "LeftTopCornet", "Left top", "ShotLeftTop", program));
    }
    {
        SCOPED_TRACE("centre");
        ExpectRecord(path(sRun->mCentre), ExpectedRecord(sRun->mCentre.window, sRun->mCentre.layout.rect, "Center",
                                                         "Centre", "ShotCentre", program));
    }
    {
        SCOPED_TRACE("right low, caption outside the code page");
        // e acute and the euro sign exist in code page 1252; the two CJK characters do not.
        ExpectRecord(path(sRun->mRightLow),
                     ExpectedRecord(sRun->mRightLow.window, sRun->mRightLow.layout.rect, "RightBottomCorner",
                                    "Caf\xE9 ?? \x80 end", "ShotRightLow", program));
    }
    {
        SCOPED_TRACE("hung");
        ExpectRecord(path(sRun->mHung), ExpectedRecord(sRun->mHung.window, sRun->mHung.layout.rect, "RightBottomCorner",
                                                       "Hung", "ShotHung", program));
    }
}

TEST_F(WindowShotRun, MonitorWorkAreaDiffersFromTheMonitor)
{
    const std::string text = TestSupport::ReadWholeFile(
        sRun->mShotFolder + L"\\" + FolderName(sRun->mCentre.window, L"DesktopFixture.exe") + L"\\Morvane.Info.txt");
    EXPECT_NE(text.find("\r\nDisplayMonitorWorkRectangle.bottom: 1040\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nDisplayMonitorWorkHeight: 1040\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nDisplayMonitorRectangle.bottom: 1080\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nDisplayMonitorHeight: 1080\r\n"), std::string::npos);
}

TEST_F(WindowShotRun, PicturesHaveTheWindowSizeAndTheMonitorShowsEachWindowAtItsPlace)
{
    for (const Window* window : {&sRun->mLeftTop, &sRun->mCentre, &sRun->mRightLow}) {
        SCOPED_TRACE(Narrow(window->layout.className));
        const std::wstring folder = sRun->mShotFolder + L"\\" + FolderName(window->window, L"DesktopFixture.exe");
        const RECT& rect = window->layout.rect;
        TestSupport::DecodedImage picture;
        // Wine paints no window of another process into a picture: only the size is checked.
        ExpectJpeg(folder + L"\\Morvane.Window.jpg", rect.right - rect.left, rect.bottom - rect.top, picture);
        TestSupport::DecodedImage monitor;
        ExpectJpeg(folder + L"\\Morvane.DisplayMonitor.jpg", 1920, 1080, monitor);
        if (monitor.width == 1920) {
            EXPECT_TRUE(ShowsColour(monitor, rect, window->layout.fill));
        }
    }
}

TEST_F(WindowShotRun, HungWindowIsGivenUpOnButKeepsAllThreeFiles)
{
    const std::wstring folder = sRun->mShotFolder + L"\\" + FolderName(sRun->mHung.window, L"DesktopFixture.exe");
    EXPECT_EQ(ListFolder(folder),
              (std::set<std::wstring>{L"Morvane.Info.txt", L"Morvane.Window.jpg", L"Morvane.DisplayMonitor.jpg"}));
    TestSupport::DecodedImage monitor;
    ExpectJpeg(folder + L"\\Morvane.DisplayMonitor.jpg", 1920, 1080, monitor);
    if (monitor.width == 1920) {
        EXPECT_TRUE(ShowsColour(monitor, sRun->mHung.layout.rect, kHungFill));
    }
    // The capture names the window and the time-out in its line.
    const std::string handle = Format("0x%016llX", TalvexBasic::PointerBits(sRun->mHung.window.handle));
    size_t found = 0;
    for (const auto& line : sRun->mResult.lines) {
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
    const std::wstring logFolder = sRun->mOutputDirectory + L"\\Log";
    for (const std::wstring& name : ListFolder(logFolder)) {
        lines += TestSupport::ReadWholeFile(logFolder + L"\\" + name);
    }
    for (const auto& line : sRun->mResult.lines) {
        lines += line.wide ? Narrow(line.text) : line.narrow;
    }
    EXPECT_NE(lines.find(" Morvane::SaveWindowShot,"), std::string::npos);
    for (const Window* window : {&sRun->mLeftTop, &sRun->mHung}) {
        const std::string folder =
            Narrow(sRun->mShotFolder + L"\\" + FolderName(window->window, L"DesktopFixture.exe")) + "\\";
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
    const std::wstring saved = gOutputDirectory;
    gOutputDirectory = TestSupport::MakeScratchDirectory(L"Shot");
    EXPECT_EQ(Morvane::SaveWindowShot(record), S_OK);

    const size_t slash = record.mProcessDosPath.find_last_of(L'\\');
    const std::wstring folder =
        gOutputDirectory + L"\\WindowShot\\" + FolderName(window, record.mProcessDosPath.substr(slash + 1)) + L"\\";
    TestSupport::DecodedImage picture;
    ExpectJpeg(folder + L"Morvane.Window.jpg", 250, 180, picture);
    if (picture.width == 250) {
        EXPECT_TRUE(ShowsColour(picture, RECT{0, 0, 250, 180}, layout.fill));
        EXPECT_TRUE(ShowsColour(picture, RECT{0, 0, 10, 10}, layout.fill));
    }
    EXPECT_TRUE(Exists(folder + L"Morvane.Info.txt"));
    EXPECT_TRUE(Exists(folder + L"Morvane.DisplayMonitor.jpg"));
    TestSupport::RemoveTree(gOutputDirectory);
    gOutputDirectory = saved;
}
