#include "drawings/Screenshot.h"

#include "drawings/GdiHolders.h"
#include "system/LastErrorFailure.h"

namespace TalvexBasic::Drawings {
namespace {

using TalvexBasic::LastErrorRule;

constexpr const char* kCaptureToBitmap = "TalvexBasic::Drawings::Screenshot::CaptureToBitmap$Static";
constexpr const char* kCaptureWindowWithFlags =
    "TalvexBasic::Drawings::Screenshot::CaptureWindowWithFlagsToBitmap$Static";
constexpr const char* kCaptureWindowFromScreen =
    "TalvexBasic::Drawings::Screenshot::CaptureWindowFromScreenToBitmap$Static";
constexpr const char* kCaptureScreenArea = "TalvexBasic::Drawings::Screenshot::CaptureScreenAreaToBitmap$Static";
constexpr LastErrorRule kRule = LastErrorRule::Capture;

// A copy of the screen holds layered windows (translucent and shaped ones, many pop-ups among
// them) only when CAPTUREBLT asks for them; without it they are missing from the picture.
constexpr DWORD kScreenCopy = SRCCOPY | CAPTUREBLT;

// PrintWindow waits for the window's thread without any time limit, so a window whose thread
// stopped pumping messages would stop the caller for good. Ask it first, with a limit.
[[nodiscard]] HRESULT CheckWindowAnswers(HWND window, UINT answerMilliseconds, const char* function) noexcept
{
    DWORD_PTR answer = 0;
    if (::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, answerMilliseconds, &answer) != 0) {
        return S_OK;
    }
    const DWORD error = ::GetLastError();
    TALVEX_TRACE(function, "SendMessageTimeoutW(0x%016llX, WM_NULL) failed, last error:%u.", PointerBits(window),
                 static_cast<unsigned>(error));
    if (error == 0 || error == ERROR_TIMEOUT) {
        return HResultFromWin32(ERROR_TIMEOUT);
    }
    return CaptureHResultFromWin32(error);
}

// The memory DC and bitmap that a capture draws into, made on the DC it copies from so that the
// bitmap has the screen's colour format. The members end in reverse order: the selection first,
// so that the bitmap is no longer selected when it is deleted, and the DC last.
struct CaptureTarget {
    MemoryDcHolder dc;
    BitmapHolder bitmap;
    SelectionHolder selection;
    int width = 0;
    int height = 0;
};

[[nodiscard]] HRESULT MakeCaptureTarget(HDC sourceDc, int width, int height, const char* function,
                                        CaptureTarget& target) noexcept
{
    target.dc = MemoryDcHolder(::CreateCompatibleDC(sourceDc));
    if (!target.dc) {
        return TALVEX_FAIL_LAST_ERROR(function, kRule, "CreateCompatibleDC failed, last error:%u.");
    }
    target.bitmap = BitmapHolder(::CreateCompatibleBitmap(sourceDc, width, height));
    if (!target.bitmap) {
        return TALVEX_FAIL_LAST_ERROR(function, kRule, "CreateCompatibleBitmap(%d, %d) failed, last error:%u.", width,
                                      height);
    }
    target.selection = SelectInto(target.dc.get(), target.bitmap.get());
    target.width = width;
    target.height = height;
    return S_OK;
}

// Hands a finished capture to the caller: the bitmap stays selected into the memory DC.
void HandOver(CaptureTarget& target, HBITMAP* bitmap, HDC* memoryDc, SIZE* size) noexcept
{
    static_cast<void>(target.selection.release());
    *bitmap = target.bitmap.release();
    *memoryDc = target.dc.release();
    if (size != nullptr) {
        size->cx = target.width;
        size->cy = target.height;
    }
}

// Without a rectangle the window paints itself with the given PrintWindow flags; with one, that
// rectangle of the window's DC is copied. Lines go out under the calling operation's name.
[[nodiscard]] HRESULT CaptureFromWindowDc(HBITMAP* bitmap, HDC* memoryDc, HWND window, const RECT* rectangle,
                                          UINT printFlags, SIZE* size, UINT answerMilliseconds,
                                          const char* function) noexcept
{
    RECT windowRectangle{};
    const bool windowMode = rectangle == nullptr;
    if (windowMode) {
        if (!::GetWindowRect(window, &windowRectangle)) {
            return TALVEX_FAIL_LAST_ERROR(function, kRule, "GetWindowRect failed, last error:%u.");
        }
        rectangle = &windowRectangle;
    }
    const int width = rectangle->right - rectangle->left;
    const int height = rectangle->bottom - rectangle->top;

    const WindowDcHolder windowDc = GetWindowDcOf(window);
    if (!windowDc) {
        return TALVEX_FAIL_LAST_ERROR(function, kRule, "GetWindowDC failed, last error:%u.");
    }
    CaptureTarget target;
    const HRESULT made = MakeCaptureTarget(windowDc.get().dc, width, height, function, target);
    if (FAILED(made)) {
        return made;
    }

    if (windowMode) {
        const HRESULT answered = CheckWindowAnswers(window, answerMilliseconds, function);
        if (FAILED(answered)) {
            return answered;
        }
        if (!::PrintWindow(window, target.dc.get(), printFlags)) {
            return TALVEX_FAIL_LAST_ERROR(function, kRule, "PrintWindow failed, last error:%u.");
        }
    } else if (!::BitBlt(target.dc.get(), 0, 0, width, height, windowDc.get().dc, rectangle->left, rectangle->top,
                         kScreenCopy)) {
        return TALVEX_FAIL_LAST_ERROR(function, kRule, "BitBlt failed, last error:%u.");
    }
    HandOver(target, bitmap, memoryDc, size);
    return S_OK;
}

// The rectangles of the monitors, in the desktop's coordinates. More monitors than this are not
// met in practice; any beyond would stay black in a screen capture.
struct MonitorRectangles {
    static constexpr unsigned kMost = 64;
    RECT rectangles[kMost]{};
    unsigned count = 0;
};

BOOL CALLBACK CollectMonitorRectangle(HMONITOR, HDC, LPRECT rectangle, LPARAM collected)
{
    auto* monitors = reinterpret_cast<MonitorRectangles*>(collected);
    if (monitors->count < MonitorRectangles::kMost) {
        monitors->rectangles[monitors->count++] = *rectangle;
    }
    return TRUE;
}

// The area of the virtual screen as the monitors show it, at its size; parts that no monitor
// shows are black. Lines go out under the calling operation's name.
[[nodiscard]] HRESULT CopyScreenArea(HBITMAP* bitmap, HDC* memoryDc, const RECT& area, SIZE* size,
                                     const char* function) noexcept
{
    const WindowDcHolder desktopDc = GetWindowDcOf(::GetDesktopWindow());
    if (!desktopDc) {
        return TALVEX_FAIL_LAST_ERROR(function, kRule, "GetWindowDC failed, last error:%u.");
    }
    CaptureTarget target;
    const HRESULT made =
        MakeCaptureTarget(desktopDc.get().dc, area.right - area.left, area.bottom - area.top, function, target);
    if (FAILED(made)) {
        return made;
    }
    // What the desktop's DC gives beyond the monitors is not defined: start from black and copy
    // only the parts that some monitor shows.
    if (!::PatBlt(target.dc.get(), 0, 0, target.width, target.height, BLACKNESS)) {
        return TALVEX_FAIL_LAST_ERROR(function, kRule, "PatBlt(BLACKNESS) failed, last error:%u.");
    }
    MonitorRectangles monitors;
    if (!::EnumDisplayMonitors(nullptr, nullptr, &CollectMonitorRectangle, reinterpret_cast<LPARAM>(&monitors))) {
        return TALVEX_FAIL_LAST_ERROR(function, kRule, "EnumDisplayMonitors failed, last error:%u.");
    }
    for (unsigned index = 0; index < monitors.count; ++index) {
        RECT shown{};
        if (!::IntersectRect(&shown, &area, &monitors.rectangles[index])) {
            continue;
        }
        if (!::BitBlt(target.dc.get(), shown.left - area.left, shown.top - area.top, shown.right - shown.left,
                      shown.bottom - shown.top, desktopDc.get().dc, shown.left, shown.top, kScreenCopy)) {
            return TALVEX_FAIL_LAST_ERROR(function, kRule, "BitBlt(%ld, %ld, %ld, %ld) failed, last error:%u.",
                                          static_cast<long>(shown.left), static_cast<long>(shown.top),
                                          static_cast<long>(shown.right), static_cast<long>(shown.bottom));
        }
    }
    HandOver(target, bitmap, memoryDc, size);
    return S_OK;
}

} // namespace

HRESULT Screenshot::CaptureToBitmap$Static(HBITMAP* bitmap, HDC* memoryDc, HWND window, const RECT* rectangle,
                                           SIZE* size, UINT answerMilliseconds) noexcept
{
    return CaptureFromWindowDc(bitmap, memoryDc, window, rectangle, 0, size, answerMilliseconds, kCaptureToBitmap);
}

HRESULT Screenshot::CaptureWindowWithFlagsToBitmap$Static(HBITMAP* bitmap, HDC* memoryDc, HWND window, UINT printFlags,
                                                          SIZE* size, UINT answerMilliseconds) noexcept
{
    return CaptureFromWindowDc(bitmap, memoryDc, window, nullptr, printFlags, size, answerMilliseconds,
                               kCaptureWindowWithFlags);
}

HRESULT Screenshot::CaptureWindowFromScreenToBitmap$Static(HBITMAP* bitmap, HDC* memoryDc, HWND window,
                                                           SIZE* size) noexcept
{
    RECT windowRectangle{};
    if (!::GetWindowRect(window, &windowRectangle)) {
        return TALVEX_FAIL_LAST_ERROR(kCaptureWindowFromScreen, kRule, "GetWindowRect failed, last error:%u.");
    }
    return CopyScreenArea(bitmap, memoryDc, windowRectangle, size, kCaptureWindowFromScreen);
}

HRESULT Screenshot::CaptureScreenAreaToBitmap$Static(HBITMAP* bitmap, HDC* memoryDc, const RECT& area,
                                                     SIZE* size) noexcept
{
    return CopyScreenArea(bitmap, memoryDc, area, size, kCaptureScreenArea);
}

HRESULT Screenshot::CaptureDisplayMonitorToBitmap$Static(HBITMAP* bitmap, HDC* memoryDc, HMONITOR monitor,
                                                         SIZE* size) noexcept
{
    MONITORINFOEXW info{};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoW(monitor, &info)) {
        return TALVEX_FAIL_LAST_ERROR("TalvexBasic::Drawings::Screenshot::CaptureDisplayMonitorToBitmap$Static",
                                      LastErrorRule::Capture, "GetMonitorInfoW failed, last error:%u.");
    }
    // rcMonitor is the whole monitor, task bar included, in the desktop's coordinates.
    return CaptureToBitmap$Static(bitmap, memoryDc, ::GetDesktopWindow(), &info.rcMonitor, size);
}

} // namespace TalvexBasic::Drawings
