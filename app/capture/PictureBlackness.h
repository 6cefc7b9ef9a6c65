#pragma once

#include <windows.h>

namespace Morvane {

// How black a window picture from PrintWindow is. Windows that draw with the GPU (DirectX,
// browsers, Store apps) often give their frame and a black client area: such a picture is as
// wrong as a black one.
enum class PictureBlackness {
    NotBlack,
    Black,           // every pixel
    ClientAreaBlack, // every pixel of the client area, not of the frame
};

// pixels: the picture's 32-bit rows, top down, without padding (blue, green, red, unused byte);
// the picture is of the window rectangle, and client is the client area in the picture's
// coordinates (its top left is the window rectangle's). A picture without pixels is not black,
// nor is a client area that lies outside the picture or is empty.
[[nodiscard]] PictureBlackness JudgePictureBlackness(const unsigned char* pixels, const SIZE& size,
                                                     const RECT& client) noexcept;

} // namespace Morvane
