// The text record of one window, made from a record built here: every line, in order.

#include "capture/WindowRecordText.h"

#include "support/TestText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace Morvane;

// A window on a monitor left of the primary one, with a caption far beyond 255 characters.
WindowInfo SyntheticRecord()
{
    WindowInfo record;
    record.mWindowHandle = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0xA0B2C));
    record.mStyle = 0x94000000;
    record.mExtendedStyle = 0x80;
    record.mProcessId = 4312;
    record.mThreadId = 4316;
    record.mWindowRectangle = RECT{-8, 10, 300, 200};
    record.mDisplayMonitorHandle = reinterpret_cast<HMONITOR>(static_cast<ULONG_PTR>(0x10001));
    record.mDisplayMonitorInfo.dwFlags = MONITORINFOF_PRIMARY;
    record.mDisplayMonitorInfo.rcWork = RECT{-1920, 0, 0, 1040};
    record.mDisplayMonitorInfo.rcMonitor = RECT{-1920, 0, 0, 1080};
    // All 32 characters used, no terminating null.
    const std::wstring device = L"\\\\.\\DISPLAY1" + std::wstring(20, L'D');
    device.copy(record.mDisplayMonitorInfo.szDevice, 32);
    record.mZonePosition = LeftTopCornet;
    record.mCaption = L"Caf\x00E9 " + std::wstring(300, L'x') + L" \x6F22 end";
    record.mClassName = L"Edit";
    record.mProcessDosPath = L"C:\\Windows\\notepad.exe";
    return record;
}

constexpr SYSTEMTIME kNow{2024, 3, 2, 5, 8, 7, 9, 70};

TEST(WindowRecordText, ThirtyFourLinesInTheirOrderWithTheWholeCaption)
{
    const std::vector<std::string> expected = {
        "DateTime: 2024-03-05 08:07:09:70",
        "ZonePosition: LeftTopCornet",
        "",
        "WindowHandle: 0x00000000000A0B2C",
        "WindowStyle: 0x94000000, 2483027968",
        "WindowExtendedStyle: 0x80, 128",
        "ProcessId: 4312",
        "ThreadId: 4316",
        "WindowRectangle.left: -8",
        "WindowRectangle.right: 300",
        "WindowRectangle.top: 10",
        "WindowRectangle.bottom: 200",
        "WindowWidth: 308",
        "WindowHeight: 190",
        // e acute is in code page 1252, the CJK character becomes its default character.
        "WindowCaption: Caf\xE9 " + std::string(300, 'x') + " ? end",
        "WindowClassName: Edit",
        "ProcessDosPath: C:\\Windows\\notepad.exe",
        "",
        "DisplayMonitorHandle: 0x0000000000010001",
        "DisplayMonitorFlags: 0x1",
        "DisplayMonitorWorkRectangle.left: -1920",
        "DisplayMonitorWorkRectangle.right: 0",
        "DisplayMonitorWorkRectangle.top: 0",
        "DisplayMonitorWorkRectangle.bottom: 1040",
        "DisplayMonitorWorkWidth: 1920",
        "DisplayMonitorWorkHeight: 1040",
        "DisplayMonitorRectangle.left: -1920",
        "DisplayMonitorRectangle.right: 0",
        "DisplayMonitorRectangle.top: 0",
        "DisplayMonitorRectangle.bottom: 1080",
        "DisplayMonitorWidth: 1920",
        "DisplayMonitorHeight: 1080",
        "DisplayMonitorName: \\\\.\\DISPLAY1" + std::string(20, 'D'),
        "",
    };
    const std::vector<std::string> lines = TestSupport::CrLfLines(MakeInfoText(SyntheticRecord(), kNow));
    ASSERT_EQ(lines.size(), 34u);
    for (size_t index = 0; index < expected.size(); ++index) {
        EXPECT_EQ(lines[index], expected[index]) << "line " << index + 1;
    }
}

TEST(WindowRecordText, ZoneLineNamesEveryZoneInTheToolsOwnSpelling)
{
    const std::pair<int, const char*> zones[] = {
        {InvalidRectangle, "InvalidRectangle"},
        {OverRight, "OverRight"},
        {FullHouse, "FullHouse"},
        {LeftTopCornet, "LeftTopCornet"},
        {LeftBottomCornet, "LeftBottomCornet"},
        {Center, "Center"},
        {RightTopCorner, "RightTopCorner"},
        {RightBottomCorner, "RightBottomCorner"},
        {6, "InvalidPosition"},
        {-3, "InvalidPosition"},
    };
    WindowInfo record = SyntheticRecord();
    for (const auto& [zone, name] : zones) {
        record.mZonePosition = static_cast<ZonePosition>(zone);
        const std::vector<std::string> lines = TestSupport::CrLfLines(MakeInfoText(record, kNow));
        ASSERT_EQ(lines.size(), 34u);
        EXPECT_EQ(lines[1], std::string("ZonePosition: ") + name);
    }
}

TEST(WindowRecordText, MillisecondsAreNotPaddedButTheDateIs)
{
    SYSTEMTIME now{1999, 12, 5, 31, 23, 59, 5, 0};
    EXPECT_EQ(MakeInfoText(SyntheticRecord(), now).rfind("DateTime: 1999-12-31 23:59:05:0\r\n", 0), 0u);
    now = SYSTEMTIME{2030, 1, 2, 1, 0, 0, 0, 999};
    EXPECT_EQ(MakeInfoText(SyntheticRecord(), now).rfind("DateTime: 2030-01-01 00:00:00:999\r\n", 0), 0u);
}

} // namespace
