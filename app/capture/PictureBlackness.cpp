#include "capture/PictureBlackness.h"

#include <cstddef>

namespace Morvane {
namespace {

bool IsAreaBlack(const unsigned char* pixels, const SIZE& size, const RECT& area) noexcept
{
    for (LONG y = area.top; y < area.bottom; ++y) {
        const unsigned char* pixel = pixels + (static_cast<std::size_t>(y) * size.cx + area.left) * 4;
        for (LONG x = area.left; x < area.right; ++x, pixel += 4) {
            if (pixel[0] != 0 || pixel[1] != 0 || pixel[2] != 0) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

PictureBlackness JudgePictureBlackness(const unsigned char* pixels, const SIZE& size, const RECT& client) noexcept
{
    if (pixels == nullptr || size.cx <= 0 || size.cy <= 0) {
        return PictureBlackness::NotBlack;
    }
    const RECT whole{0, 0, size.cx, size.cy};
    RECT shownClient{};
    if (!::IntersectRect(&shownClient, &whole, &client)) {
        return IsAreaBlack(pixels, size, whole) ? PictureBlackness::Black : PictureBlackness::NotBlack;
    }
    // The client area first: it is where a picture that is not black shows it soonest.
    if (!IsAreaBlack(pixels, size, shownClient)) {
        return PictureBlackness::NotBlack;
    }
    return IsAreaBlack(pixels, size, whole) ? PictureBlackness::Black : PictureBlackness::ClientAreaBlack;
}

} // namespace Morvane
