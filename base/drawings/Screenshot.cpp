#include "drawings/Screenshot.h"

#include "drawings/GdiHolders.h"
#include "system/LastErrorFailure.h"

namespace TalvexBasic::Drawings {
namespace {

using TalvexBasic::LastErrorRule;

constexpr const char* kCaptureToBitmap = "TalvexBasic::Drawings::Screenshot::CaptureToBitmap$Static";

// PrintWindow waits for the window's thread without any time limit, so a window whose thread
// stopped pumping messages would stop the caller for good. Ask it first, with a limit.
[[nodiscard]] HRESULT CheckWindowAnswers(HWND window) noexcept
{
    DWORD_PTR answer = 0;
    if (::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, Screenshot::kAnswerTimeoutMilliseconds,
                              &answer) != 0) {
        return S_OK;
    }
    const DWORD error = ::GetLastError();
    TALVEX_TRACE(kCaptureToBitmap, "SendMessageTimeoutW(0x%016llX, WM_NULL) failed, last error:%u.",
                 PointerBits(window), static_cast<unsigned>(error));
    if (error == 0 || error == ERROR_TIMEOUT) {
        return HResultFromWin32(ERROR_TIMEOUT);
    }
    return CaptureHResultFromWin32(error);
}

} // namespace

HRESULT Screenshot::CaptureToBitmap$Static(HBITMAP* bitmap, HDC* memoryDc, HWND window, const RECT* rectangle,
                                           SIZE* size) noexcept
{
    constexpr LastErrorRule kRule = LastErrorRule::Capture;
    RECT windowRectangle{};
    const bool windowMode = rectangle == nullptr;
    if (windowMode) {
        if (!::GetWindowRect(window, &windowRectangle)) {
            return TALVEX_FAIL_LAST_ERROR(kCaptureToBitmap, kRule, "GetWindowRect failed, last error:%u.");
        }
        rectangle = &windowRectangle;
    }
    const int width = rectangle->right - rectangle->left;
    const int height = rectangle->bottom - rectangle->top;

    const WindowDcHolder windowDc = GetWindowDcOf(window);
    if (!windowDc) {
        return TALVEX_FAIL_LAST_ERROR(kCaptureToBitmap, kRule, "GetWindowDC failed, last error:%u.");
    }
    MemoryDcHolder captureDc(::CreateCompatibleDC(windowDc.get().dc));
    if (!captureDc) {
        return TALVEX_FAIL_LAST_ERROR(kCaptureToBitmap, kRule, "CreateCompatibleDC failed, last error:%u.");
    }
    // Made on the window's DC, so it has the screen's colour format.
    BitmapHolder captureBitmap(::CreateCompatibleBitmap(windowDc.get().dc, width, height));
    if (!captureBitmap) {
        return TALVEX_FAIL_LAST_ERROR(kCaptureToBitmap, kRule, "CreateCompatibleBitmap(%d, %d) failed, last error:%u.",
                                      width, height);
    }
    // Declared after the bitmap: on a failure the old object goes back first, so that the
    // bitmap is no longer selected when it is deleted.
    SelectionHolder selection = SelectInto(captureDc.get(), captureBitmap.get());

    if (windowMode) {
        const HRESULT answered = CheckWindowAnswers(window);
        if (FAILED(answered)) {
            return answered;
        }
        if (!::PrintWindow(window, captureDc.get(), 0)) {
            return TALVEX_FAIL_LAST_ERROR(kCaptureToBitmap, kRule, "PrintWindow failed, last error:%u.");
        }
    } else if (!::BitBlt(captureDc.get(), 0, 0, width, height, windowDc.get().dc, rectangle->left, rectangle->top,
                         SRCCOPY)) {
        return TALVEX_FAIL_LAST_ERROR(kCaptureToBitmap, kRule, "BitBlt failed, last error:%u.");
    }

    static_cast<void>(selection.release());
    *bitmap = captureBitmap.release();
    *memoryDc = captureDc.release();
    if (size != nullptr) {
        size->cx = width;
        size->cy = height;
    }
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
