#include "capture/WindowReport.h"

#include "MorvaneTrace.h"
#include "system/HResult.h"

namespace Morvane {

using TalvexBasic::PointerBits;

void Log(const WindowInfo& record)
{
    const RECT& window = record.mWindowRectangle;
    const RECT& work = record.mDisplayMonitorInfo.rcWork;

    MORVANE_TRACE("Morvane::Log", "**********************************************************.");
    MORVANE_TRACE_W("Morvane::Log", L"ZonePosition:%ls.", GetZonePositionName(record.mZonePosition));
    MORVANE_TRACE_W("Morvane::Log",
                    L"WindowHandle:0x%016llX, Style:0x%x, %u, ExtendedStyle:0x%x, %u, ProcessId:%u, ThreadId:%u, "
                    L"Left:%d, Right:%d, Top:%d, Bottom:%d, Width:%u, Height:%u, Caption:%ls, ClassName:%ls, "
                    L"ProcessPath:%ls.",
                    PointerBits(record.mWindowHandle), record.mStyle, record.mStyle, record.mExtendedStyle,
                    record.mExtendedStyle, record.mProcessId, record.mThreadId, static_cast<int>(window.left),
                    static_cast<int>(window.right), static_cast<int>(window.top), static_cast<int>(window.bottom),
                    static_cast<unsigned>(window.right - window.left),
                    static_cast<unsigned>(window.bottom - window.top), record.mCaption.c_str(),
                    record.mClassName.c_str(), record.mProcessDosPath.c_str());
    MORVANE_TRACE_W("Morvane::Log",
                    L"DisplayMonitor Handle:0x%016llX, Left:%d, Right:%d, Top:%d, Bottom:%d, Width:%u, Height:%u, "
                    L"Flags:0x%x, DeviceName:%ls.",
                    PointerBits(record.mDisplayMonitorHandle), static_cast<int>(work.left),
                    static_cast<int>(work.right), static_cast<int>(work.top), static_cast<int>(work.bottom),
                    static_cast<unsigned>(work.right - work.left), static_cast<unsigned>(work.bottom - work.top),
                    static_cast<unsigned>(record.mDisplayMonitorInfo.dwFlags), record.mDisplayMonitorInfo.szDevice);
    MORVANE_TRACE("Morvane::Log", "**********************************************************.");
}

} // namespace Morvane
