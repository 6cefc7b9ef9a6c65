#include "capture/WindowReport.h"
#include "support/DebugLineCapture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Outside any log manager the report takes the debugger path: narrow frame lines, wide lines for
// everything that carries text, so a caption outside the ANSI code page stays whole.
TEST(WindowReport, FiveLinesOnTheDebuggerPathKeepWideTextWhole)
{
    Morvane::WindowInfo record;
    record.mWindowHandle = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0xA0B2C));
    record.mStyle = 0x14cf0000;
    record.mExtendedStyle = 0x100;
    record.mProcessId = 4312;
    record.mThreadId = 4316;
    record.mWindowRectangle = RECT{-8, 10, 300, 200};
    record.mDisplayMonitorHandle = reinterpret_cast<HMONITOR>(static_cast<ULONG_PTR>(0x10001));
    record.mDisplayMonitorInfo.rcMonitor = RECT{0, 0, 1920, 1080};
    record.mDisplayMonitorInfo.rcWork = RECT{0, 0, 1920, 1040};
    record.mDisplayMonitorInfo.dwFlags = MONITORINFOF_PRIMARY;
    wcscpy_s(record.mDisplayMonitorInfo.szDevice, L"\\\\.\\DISPLAY1");
    record.mZonePosition = Morvane::LeftTopCornet;
    record.mCaption = L"\x6F22\x5B57 caption";
    record.mClassName = L"";
    record.mProcessDosPath = L"C:\\Windows\\notepad.exe";

    TestSupport::DebugLineCapture capture;
    Morvane::Log(record);
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 5u);
    const std::string expected[5] = {
        std::string(58, '*') + ".",
        "ZonePosition:LeftTopCornet.",
        "WindowHandle:0x00000000000A0B2C, Style:0x14cf0000, 349110272, ExtendedStyle:0x100, 256, ProcessId:4312, "
        "ThreadId:4316, Left:-8, Right:300, Top:10, Bottom:200, Width:308, Height:190, "
        "Caption:\xE6\xBC\xA2\xE5\xAD\x97 caption, ClassName:, ProcessPath:C:\\Windows\\notepad.exe.",
        "DisplayMonitor Handle:0x0000000000010001, Left:0, Right:1920, Top:0, Bottom:1040, Width:1920, Height:1040, "
        "Flags:0x1, DeviceName:\\\\.\\DISPLAY1.",
        std::string(58, '*') + ".",
    };
    for (size_t index = 0; index < 5; ++index) {
        EXPECT_NE(lines[index].find(" Morvane::Log,"), std::string::npos) << lines[index];
        const size_t message = lines[index].find("]:");
        ASSERT_NE(message, std::string::npos);
        EXPECT_EQ(lines[index].substr(message + 2), expected[index] + "\r\n");
    }
}

} // namespace
