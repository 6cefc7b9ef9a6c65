#include "WindowShot.h"

#include "RunState.h"
#include "ZonePosition.h"
#include "drawings/Bitmap.h"
#include "drawings/GdiHolders.h"
#include "drawings/Screenshot.h"
#include "logs/Trace.h"
#include "system/File.h"
#include "system/HResult.h"
#include "system/TextConversion.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

namespace Morvane {
namespace {

constexpr const char* kSaveWindowShot = "Morvane::SaveWindowShot";

// Appends printf-formatted narrow text; only numbers and short names go through here.
void AppendFormat(std::string& text, const char* format, ...) TALVEX_PRINTF_CHECK(2, 3);
void AppendFormat(std::string& text, const char* format, ...)
{
    char line[256];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(line, sizeof(line), format, arguments);
    va_end(arguments);
    if (length > 0) {
        text.append(line, static_cast<size_t>(length) < sizeof(line) ? static_cast<size_t>(length) : sizeof(line) - 1);
    }
}

// "Label: text\r\n" with the text in the thread's ANSI code page; captions may be long.
void AppendTextLine(std::string& text, const char* label, std::wstring_view value)
{
    text += label;
    text += TalvexBasic::ToThreadAnsi(value);
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

std::wstring ImageName(const std::wstring& path)
{
    const size_t backslash = path.find_last_of(L'\\');
    return backslash == std::wstring::npos ? path : path.substr(backslash + 1);
}

std::wstring MakeFolderPath(const WindowInfo& record)
{
    wchar_t numbers[80];
    std::swprintf(numbers, sizeof(numbers) / sizeof(numbers[0]), L"]-0x%016llX-%u-%u\\",
                  TalvexBasic::PointerBits(record.mWindowHandle), static_cast<unsigned>(record.mProcessId),
                  static_cast<unsigned>(record.mThreadId));
    return gOutputDirectory + L"\\WindowShot\\[" + ImageName(record.mProcessDosPath) + numbers;
}

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

// Encodes a capture that the caller owned and frees it whatever the encoding gives.
HRESULT SaveCaptureToJpegFile(const std::wstring& path, HBITMAP bitmap, HDC memoryDc, const SIZE& size) noexcept
{
    // The DC goes first, so that the bitmap is no longer selected when it is deleted.
    TalvexBasic::Drawings::BitmapHolder bitmapOwner(bitmap);
    TalvexBasic::Drawings::MemoryDcHolder dcOwner(memoryDc);
    return TalvexBasic::Drawings::Bitmap::SaveSaveBitmapToJepgFile$Static(path.c_str(), bitmap, &size, 1.0f, 1.0f);
}

HRESULT CaptureWindowToJpegFile$Static(const std::wstring& path, HWND window) noexcept
{
    HBITMAP bitmap = nullptr;
    HDC memoryDc = nullptr;
    SIZE size{};
    HRESULT result =
        TalvexBasic::Drawings::Screenshot::CaptureToBitmap$Static(&bitmap, &memoryDc, window, nullptr, &size);
    if (SUCCEEDED(result)) {
        result = SaveCaptureToJpegFile(path, bitmap, memoryDc, size);
    }
    MORVANE_TRACE_W(kSaveWindowShot, L"CaptureWindowToJpegFile$Static(%ls) return:0x%x.", path.c_str(),
                    static_cast<unsigned>(result));
    return result;
}

HRESULT CaptureDisplayMonitorToJpegFile$Static(const std::wstring& path, HMONITOR monitor) noexcept
{
    HBITMAP bitmap = nullptr;
    HDC memoryDc = nullptr;
    SIZE size{};
    HRESULT result =
        TalvexBasic::Drawings::Screenshot::CaptureDisplayMonitorToBitmap$Static(&bitmap, &memoryDc, monitor, &size);
    if (SUCCEEDED(result)) {
        result = SaveCaptureToJpegFile(path, bitmap, memoryDc, size);
    }
    MORVANE_TRACE_W(kSaveWindowShot, L"CaptureDisplayMonitorToJpegFile$Static(%ls) return:0x%x.", path.c_str(),
                    static_cast<unsigned>(result));
    return result;
}

} // namespace

HRESULT SaveWindowShot(const WindowInfo& record)
{
    const std::wstring folder = MakeFolderPath(record);
    const std::wstring infoPath = folder + L"Morvane.Info.txt";
    const std::wstring windowPicturePath = folder + L"Morvane.Window.jpg";
    const std::wstring monitorPicturePath = folder + L"Morvane.DisplayMonitor.jpg";

    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const std::string info = MakeInfoText(record, now);
    const HRESULT infoResult = TalvexBasic::Files::File::WriteToFile$Static(
        infoPath, info.data(), static_cast<unsigned>(info.size()), CREATE_ALWAYS);
    MORVANE_TRACE_W(kSaveWindowShot, L"WriteToFile$Static(%ls) return:0x%x.", infoPath.c_str(),
                    static_cast<unsigned>(infoResult));

    // Each step stands on its own: a failure of one does not stop the next.
    CaptureWindowToJpegFile$Static(windowPicturePath, record.mWindowHandle);
    return CaptureDisplayMonitorToJpegFile$Static(monitorPicturePath, record.mDisplayMonitorHandle);
}

} // namespace Morvane
