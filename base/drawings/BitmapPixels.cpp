#include "drawings/BitmapPixels.h"

#include "drawings/BitmapBits.h"
#include "system/LastErrorFailure.h"

#include <cstring>

namespace TalvexBasic::Drawings {
namespace {

constexpr const char* kIsAllBlack = "TalvexBasic::Drawings::BitmapPixels::IsAllBlack$Static";
constexpr const char* kIsOneColour = "TalvexBasic::Drawings::BitmapPixels::IsOneColour$Static";

} // namespace

HRESULT BitmapPixels::IsAllBlack$Static(HBITMAP bitmap, bool* allBlack) noexcept
{
    BITMAP facts{};
    if (::GetObjectW(bitmap, sizeof(facts), &facts) != static_cast<int>(sizeof(facts))) {
        return TALVEX_FAIL_LAST_ERROR(kIsAllBlack, LastErrorRule::Capture, "GetObjectW failed, last error:%u.");
    }
    if (facts.bmWidth <= 0 || facts.bmHeight <= 0) {
        // No pixel to look at: nothing shows that the picture is black.
        *allBlack = false;
        return S_OK;
    }
    BitmapBits bits;
    const HRESULT read = bits.Read(bitmap, SIZE{facts.bmWidth, facts.bmHeight}, 32);
    if (FAILED(read)) {
        TALVEX_TRACE(kIsAllBlack, "Read(%d, %d) return:0x%x.", static_cast<int>(facts.bmWidth),
                     static_cast<int>(facts.bmHeight), static_cast<unsigned>(read));
        return read;
    }
    // 32-bit rows carry no padding; the top byte of each pixel is no colour.
    const unsigned char* pixel = bits.Data();
    for (size_t offset = 0; offset < bits.ByteCount(); offset += 4) {
        if (pixel[offset] != 0 || pixel[offset + 1] != 0 || pixel[offset + 2] != 0) {
            *allBlack = false;
            return S_OK;
        }
    }
    *allBlack = true;
    return S_OK;
}

HRESULT BitmapPixels::IsOneColour$Static(HBITMAP bitmap, bool* oneColour, COLORREF* colour) noexcept
{
    BITMAP facts{};
    if (::GetObjectW(bitmap, sizeof(facts), &facts) != static_cast<int>(sizeof(facts))) {
        return TALVEX_FAIL_LAST_ERROR(kIsOneColour, LastErrorRule::Capture, "GetObjectW failed, last error:%u.");
    }
    if (facts.bmWidth <= 0 || facts.bmHeight <= 0) {
        *oneColour = false;
        return S_OK;
    }
    BitmapBits bits;
    const HRESULT read = bits.Read(bitmap, SIZE{facts.bmWidth, facts.bmHeight}, 32);
    if (FAILED(read)) {
        TALVEX_TRACE(kIsOneColour, "Read(%d, %d) return:0x%x.", static_cast<int>(facts.bmWidth),
                     static_cast<int>(facts.bmHeight), static_cast<unsigned>(read));
        return read;
    }
    // Blue, green, red and a byte that is no colour, per pixel.
    const unsigned char* pixel = bits.Data();
    for (size_t offset = 4; offset < bits.ByteCount(); offset += 4) {
        if (std::memcmp(pixel + offset, pixel, 3) != 0) {
            *oneColour = false;
            return S_OK;
        }
    }
    *oneColour = true;
    *colour = RGB(pixel[2], pixel[1], pixel[0]);
    return S_OK;
}

} // namespace TalvexBasic::Drawings
