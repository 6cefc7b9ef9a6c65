#include "drawings/Screenshot.h"

#include "drawings/GdiHolders.h"
#include "logs/Trace.h"
#include "system/HResult.h"

namespace TalvexBasic::Drawings {
namespace {

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
    RECT windowRectangle{};
    const bool windowMode = rectangle == nullptr;
    if (windowMode) {
        if (!::GetWindowRect(window, &windowRectangle)) {
            const DWORD error = ::GetLastError();
            TALVEX_TRACE(kCaptureToBitmap, "GetWindowRect failed, last error:%u.", static_cast<unsigned>(error));
            return CaptureHResultFromWin32(error);
        }
        rectangle = &windowRectangle;
    }
    const int width = rectangle->right - rectangle->left;
    const int height = rectangle->bottom - rectangle->top;

    WindowDcHolder windowDc(window, ::GetWindowDC(window));
    if (windowDc.get() == nullptr) {
        const DWORD error = ::GetLastError();
        TALVEX_TRACE(kCaptureToBitmap, "GetWindowDC failed, last error:%u.", static_cast<unsigned>(error));
        return CaptureHResultFromWin32(error);
    }
    MemoryDcHolder captureDc(::CreateCompatibleDC(windowDc.get()));
    if (captureDc.get() == nullptr) {
        const DWORD error = ::GetLastError();
        TALVEX_TRACE(kCaptureToBitmap, "CreateCompatibleDC failed, last error:%u.", static_cast<unsigned>(error));
        return CaptureHResultFromWin32(error);
    }
    // Made on the window's DC, so it has the screen's colour format.
    BitmapHolder captureBitmap(::CreateCompatibleBitmap(windowDc.get(), width, height));
    if (captureBitmap.get() == nullptr) {
        const DWORD error = ::GetLastError();
        TALVEX_TRACE(kCaptureToBitmap, "CreateCompatibleBitmap(%d, %d) failed, last error:%u.", width, height,
                     static_cast<unsigned>(error));
        return CaptureHResultFromWin32(error);
    }
    // Declared after the bitmap: on a failure the old object goes back first, so that the
    // bitmap is no longer selected when it is deleted.
    SelectionHolder selection(captureDc.get(), captureBitmap.get());

    if (windowMode) {
        const HRESULT answered = CheckWindowAnswers(window);
        if (FAILED(answered)) {
            return answered;
        }
        if (!::PrintWindow(window, captureDc.get(), 0)) {
            const DWORD error = ::GetLastError();
            TALVEX_TRACE(kCaptureToBitmap, "PrintWindow failed, last error:%u.", static_cast<unsigned>(error));
            return CaptureHResultFromWin32(error);
        }
    } else if (!::BitBlt(captureDc.get(), 0, 0, width, height, windowDc.get(), rectangle->left, rectangle->top,
                         SRCCOPY)) {
        const DWORD error = ::GetLastError();
        TALVEX_TRACE(kCaptureToBitmap, "BitBlt failed, last error:%u.", static_cast<unsigned>(error));
        return CaptureHResultFromWin32(error);
    }

    selection.Release();
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
        const DWORD error = ::GetLastError();
        TALVEX_TRACE("TalvexBasic::Drawings::Screenshot::CaptureDisplayMonitorToBitmap$Static",
                     "GetMonitorInfoW failed, last error:%u.", static_cast<unsigned>(error));
        return CaptureHResultFromWin32(error);
    }
    // rcMonitor is the whole monitor, task bar included, in the desktop's coordinates.
    return CaptureToBitmap$Static(bitmap, memoryDc, ::GetDesktopWindow(), &info.rcMonitor, size);
}

} // namespace TalvexBasic::Drawings
