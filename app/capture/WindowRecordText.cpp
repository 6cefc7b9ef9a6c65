#include "capture/WindowRecordText.h"

#include "capture/ZonePosition.h"
#include "basic/EscapeLineBreaks.h"
#include "basic/StringFormat.h"
#include "system/HResult.h"
#include "system/TextConversion.h"

#include <cwchar>
#include <string_view>

namespace Morvane {
namespace {

using Basic::Text::AppendFormat;

// "Label: text\r\n" with the text in the thread's ANSI code page; captions may be long. A line
// break inside the value is written as "\r" or "\n", so that no value can end its line early and
// forge the lines after it. It is escaped after the conversion, which may itself turn a
// character into a line break.
void AppendTextLine(std::string& text, const char* label, std::wstring_view value)
{
    text += label;
    text += Basic::Text::EscapeLineBreaks(TalvexBasic::ToThreadAnsi(value));
    text += "\r\n";
}

void AppendRectangleLines(std::string& text, const char* name, const RECT& rectangle)
{
    // Left, right, top, bottom: the record's own order.
    AppendFormat(text, "%s.left: %d\r\n", name, static_cast<int>(rectangle.left));
    AppendFormat(text, "%s.right: %d\r\n", name, static_cast<int>(rectangle.right));
    AppendFormat(text, "%s.top: %d\r\n", name, static_cast<int>(rectangle.top));
    AppendFormat(text, "%s.bottom: %d\r\n", name, static_cast<int>(rectangle.bottom));
}

} // namespace

std::string MakeInfoText(const WindowInfo& record, const SYSTEMTIME& now)
{
    const RECT& window = record.mWindowRectangle;
    const MONITORINFOEXW& monitor = record.mDisplayMonitorInfo;
    std::string text;
    AppendFormat(text, "DateTime: %04d-%02d-%02d %02d:%02d:%02d:%d\r\n", now.wYear, now.wMonth, now.wDay, now.wHour,
                 now.wMinute, now.wSecond, now.wMilliseconds);
    AppendTextLine(text, "ZonePosition: ", GetZonePositionName(record.mZonePosition));
    text += "\r\n";
    AppendFormat(text, "WindowHandle: 0x%016llX\r\n", TalvexBasic::PointerBits(record.mWindowHandle));
    AppendFormat(text, "WindowStyle: 0x%x, %u\r\n", static_cast<unsigned>(record.mStyle),
                 static_cast<unsigned>(record.mStyle));
    AppendFormat(text, "WindowExtendedStyle: 0x%x, %u\r\n", static_cast<unsigned>(record.mExtendedStyle),
                 static_cast<unsigned>(record.mExtendedStyle));
    AppendFormat(text, "ProcessId: %u\r\n", static_cast<unsigned>(record.mProcessId));
    AppendFormat(text, "ThreadId: %u\r\n", static_cast<unsigned>(record.mThreadId));
    AppendRectangleLines(text, "WindowRectangle", window);
    AppendFormat(text, "WindowWidth: %d\r\n", static_cast<int>(window.right - window.left));
    AppendFormat(text, "WindowHeight: %d\r\n", static_cast<int>(window.bottom - window.top));
    AppendTextLine(text, "WindowCaption: ", record.mCaption);
    AppendTextLine(text, "WindowClassName: ", record.mClassName);
    AppendTextLine(text, "ProcessDosPath: ", record.mProcessDosPath);
    text += "\r\n";
    AppendFormat(text, "DisplayMonitorHandle: 0x%016llX\r\n", TalvexBasic::PointerBits(record.mDisplayMonitorHandle));
    AppendFormat(text, "DisplayMonitorFlags: 0x%x\r\n", static_cast<unsigned>(monitor.dwFlags));
    AppendRectangleLines(text, "DisplayMonitorWorkRectangle", monitor.rcWork);
    AppendFormat(text, "DisplayMonitorWorkWidth: %d\r\n", static_cast<int>(monitor.rcWork.right - monitor.rcWork.left));
    AppendFormat(text, "DisplayMonitorWorkHeight: %d\r\n",
                 static_cast<int>(monitor.rcWork.bottom - monitor.rcWork.top));
    AppendRectangleLines(text, "DisplayMonitorRectangle", monitor.rcMonitor);
    AppendFormat(text, "DisplayMonitorWidth: %d\r\n",
                 static_cast<int>(monitor.rcMonitor.right - monitor.rcMonitor.left));
    AppendFormat(text, "DisplayMonitorHeight: %d\r\n",
                 static_cast<int>(monitor.rcMonitor.bottom - monitor.rcMonitor.top));
    // szDevice may fill all its characters without a terminating null.
    const size_t deviceCapacity = sizeof(monitor.szDevice) / sizeof(monitor.szDevice[0]);
    AppendTextLine(
        text, "DisplayMonitorName: ", std::wstring_view(monitor.szDevice, wcsnlen(monitor.szDevice, deviceCapacity)));
    text += "\r\n";
    return text;
}

} // namespace Morvane
