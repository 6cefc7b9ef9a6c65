#pragma once

#include <windows.h>

namespace TalvexBasic::Drawings {

// Copies screen pixels into a device-dependent bitmap. On success the caller owns the bitmap
// and the memory DC it stays selected into: delete the DC first, then the bitmap. On failure
// the caller's variables are left as they were.
class Screenshot {
public:
    // Without a rectangle the window paints itself with PrintWindow; with one, that rectangle
    // of the window's DC is copied with BitBlt, layered windows included. answerMilliseconds:
    // see below.
    [[nodiscard]] static HRESULT CaptureToBitmap$Static(HBITMAP* bitmap, HDC* memoryDc, HWND window,
                                                        const RECT* rectangle, SIZE* size,
                                                        UINT answerMilliseconds = kAnswerTimeoutMilliseconds) noexcept;

    // The window paints itself with PrintWindow and the given PW_* flags, at its window size.
    // A window whose thread does not answer within answerMilliseconds fails with the time-out's
    // code and is not asked.
    [[nodiscard]] static HRESULT CaptureWindowWithFlagsToBitmap$Static(
        HBITMAP* bitmap, HDC* memoryDc, HWND window, UINT printFlags, SIZE* size,
        UINT answerMilliseconds = kAnswerTimeoutMilliseconds) noexcept;

    // The window's rectangle as the screen shows it, at the window's size: the window's own
    // pixels where nothing covers it. Parts outside every monitor are black. The window's
    // thread is never asked, so a hung window gets its picture too.
    [[nodiscard]] static HRESULT CaptureWindowFromScreenToBitmap$Static(HBITMAP* bitmap, HDC* memoryDc, HWND window,
                                                                        SIZE* size) noexcept;

    // An area of the virtual screen as the monitors show it, at its size, black where no monitor
    // shows it: the window's visible frame where it differs from the window's rectangle.
    [[nodiscard]] static HRESULT CaptureScreenAreaToBitmap$Static(HBITMAP* bitmap, HDC* memoryDc, const RECT& area,
                                                                  SIZE* size) noexcept;

    // The monitor's whole rectangle, copied out of the desktop window's DC.
    [[nodiscard]] static HRESULT CaptureDisplayMonitorToBitmap$Static(HBITMAP* bitmap, HDC* memoryDc, HMONITOR monitor,
                                                                      SIZE* size) noexcept;

    // How long a window's thread may take to answer before its window counts as hung. The
    // platform itself calls a thread hung only once it has not looked for messages for 5 s; a
    // thread that it reports hung already is given up on at once.
    static constexpr UINT kAnswerTimeoutMilliseconds = 5000;
};

} // namespace TalvexBasic::Drawings
