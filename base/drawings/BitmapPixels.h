#pragma once

#include <windows.h>

namespace TalvexBasic::Drawings {

// Questions about the pixels of a device-dependent bitmap.
class BitmapPixels {
public:
    // Whether every pixel of the bitmap is black (red, green and blue all 0). The bitmap may stay
    // selected into its memory DC. The answer is written only on success.
    [[nodiscard]] static HRESULT IsAllBlack$Static(HBITMAP bitmap, bool* allBlack) noexcept;

    // Whether every pixel of the bitmap has one colour, and which (red, green, blue). A bitmap
    // without pixels has none. The answers are written only on success.
    [[nodiscard]] static HRESULT IsOneColour$Static(HBITMAP bitmap, bool* oneColour, COLORREF* colour) noexcept;
};

} // namespace TalvexBasic::Drawings
