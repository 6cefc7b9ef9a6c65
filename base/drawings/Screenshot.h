#pragma once

#include <windows.h>

namespace TalvexBasic::Drawings {

// Copies screen pixels into a device-dependent bitmap. On success the caller owns the bitmap
// and the memory DC it stays selected into: delete the DC first, then the bitmap. On failure
// the caller's variables are left as they were.
class Screenshot {
public:
    // Without a rectangle the window paints itself with PrintWindow; with one, that rectangle
    // of the window's DC is copied with BitBlt.
    [[nodiscard]] static HRESULT CaptureToBitmap$Static(HBITMAP* bitmap, HDC* memoryDc, HWND window,
                                                        const RECT* rectangle, SIZE* size) noexcept;

    // The monitor's whole rectangle, copied out of the desktop window's DC.
    [[nodiscard]] static HRESULT CaptureDisplayMonitorToBitmap$Static(HBITMAP* bitmap, HDC* memoryDc, HMONITOR monitor,
                                                                      SIZE* size) noexcept;

    // How long a window's thread may take to answer before its window counts as hung.
    static constexpr UINT kAnswerTimeoutMilliseconds = 2000;
};

} // namespace TalvexBasic::Drawings
