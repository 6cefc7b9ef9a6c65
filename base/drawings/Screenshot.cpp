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
constexpr LastErrorRule kRule = LastErrorRule::Capture;

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

// Hands a finished capture to the caller: the bitmap stays selected into the memory DC.
void HandOver(MemoryDcHolder& captureDc, BitmapHolder& captureBitmap, SelectionHolder& selection, int width, int height,
              HBITMAP* bitmap, HDC* memoryDc, SIZE* size) noexcept
{
    static_cast<void>(selection.release());
    *bitmap = captureBitmap.release();
    *memoryDc = captureDc.release();
    if (size != nullptr) {
        size->cx = width;
        size->cy = height;
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
    MemoryDcHolder captureDc(::CreateCompatibleDC(windowDc.get().dc));
    if (!captureDc) {
        return TALVEX_FAIL_LAST_ERROR(function, kRule, "CreateCompatibleDC failed, last error:%u.");
    }
    // Made on the window's DC, so it has the screen's colour format.
    BitmapHolder captureBitmap(::CreateCompatibleBitmap(windowDc.get().dc, width, height));
    if (!captureBitmap) {
        return TALVEX_FAIL_LAST_ERROR(function, kRule, "CreateCompatibleBitmap(%d, %d) failed, last error:%u.", width,
                                      height);
    }
    // Declared after the bitmap: on a failure the old object goes back first, so that the
    // bitmap is no longer selected when it is deleted.
    SelectionHolder selection = SelectInto(captureDc.get(), captureBitmap.get());

    if (windowMode) {
        const HRESULT answered = CheckWindowAnswers(window, answerMilliseconds, function);
        if (FAILED(answered)) {
            return answered;
        }
        if (!::PrintWindow(window, captureDc.get(), printFlags)) {
            return TALVEX_FAIL_LAST_ERROR(function, kRule, "PrintWindow failed, last error:%u.");
        }
    } else if (!::BitBlt(captureDc.get(), 0, 0, width, height, windowDc.get().dc, rectangle->left, rectangle->top,
                         SRCCOPY)) {
        return TALVEX_FAIL_LAST_ERROR(function, kRule, "BitBlt failed, last error:%u.");
    }
    HandOver(captureDc, captureBitmap, selection, width, height, bitmap, memoryDc, size);
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
    const int width = windowRectangle.right - windowRectangle.left;
    const int height = windowRectangle.bottom - windowRectangle.top;

    const WindowDcHolder desktopDc = GetWindowDcOf(::GetDesktopWindow());
    if (!desktopDc) {
        return TALVEX_FAIL_LAST_ERROR(kCaptureWindowFromScreen, kRule, "GetWindowDC failed, last error:%u.");
    }
    MemoryDcHolder captureDc(::CreateCompatibleDC(desktopDc.get().dc));
    if (!captureDc) {
        return TALVEX_FAIL_LAST_ERROR(kCaptureWindowFromScreen, kRule, "CreateCompatibleDC failed, last error:%u.");
    }
    BitmapHolder captureBitmap(::CreateCompatibleBitmap(desktopDc.get().dc, width, height));
    if (!captureBitmap) {
        return TALVEX_FAIL_LAST_ERROR(kCaptureWindowFromScreen, kRule,
                                      "CreateCompatibleBitmap(%d, %d) failed, last error:%u.", width, height);
    }
    SelectionHolder selection = SelectInto(captureDc.get(), captureBitmap.get());

    // What the desktop's DC gives beyond the monitors is not defined: start from black and copy
    // only the parts that some monitor shows.
    if (!::PatBlt(captureDc.get(), 0, 0, width, height, BLACKNESS)) {
        return TALVEX_FAIL_LAST_ERROR(kCaptureWindowFromScreen, kRule, "PatBlt(BLACKNESS) failed, last error:%u.");
    }
    MonitorRectangles monitors;
    if (!::EnumDisplayMonitors(nullptr, nullptr, &CollectMonitorRectangle, reinterpret_cast<LPARAM>(&monitors))) {
        return TALVEX_FAIL_LAST_ERROR(kCaptureWindowFromScreen, kRule, "EnumDisplayMonitors failed, last error:%u.");
    }
    for (unsigned index = 0; index < monitors.count; ++index) {
        RECT shown{};
        if (!::IntersectRect(&shown, &windowRectangle, &monitors.rectangles[index])) {
            continue;
        }
        if (!::BitBlt(captureDc.get(), shown.left - windowRectangle.left, shown.top - windowRectangle.top,
                      shown.right - shown.left, shown.bottom - shown.top, desktopDc.get().dc, shown.left, shown.top,
                      SRCCOPY)) {
            return TALVEX_FAIL_LAST_ERROR(kCaptureWindowFromScreen, kRule,
                                          "BitBlt(%ld, %ld, %ld, %ld) failed, last error:%u.",
                                          static_cast<long>(shown.left), static_cast<long>(shown.top),
                                          static_cast<long>(shown.right), static_cast<long>(shown.bottom));
        }
    }
    HandOver(captureDc, captureBitmap, selection, width, height, bitmap, memoryDc, size);
    return S_OK;
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
