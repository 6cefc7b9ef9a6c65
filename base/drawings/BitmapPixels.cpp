#include "drawings/BitmapPixels.h"

#include "drawings/BitmapBits.h"
#include "system/LastErrorFailure.h"

#include <cstring>

namespace TalvexBasic::Drawings {
namespace {

constexpr const char* kIsAllBlack = "TalvexBasic::Drawings::BitmapPixels::IsAllBlack$Static";
constexpr const char* kIsOneColour = "TalvexBasic::Drawings::BitmapPixels::IsOneColour$Static";

} // namespace

namespace {

// Whether every pixel has the first one's colour, and which; failures are reported under the
// caller's name. A bitmap without pixels has no colour.
HRESULT TestOneColour(const char* function, HBITMAP bitmap, bool& oneColour, COLORREF& colour) noexcept
{
    BITMAP facts{};
    if (::GetObjectW(bitmap, sizeof(facts), &facts) != static_cast<int>(sizeof(facts))) {
        return TALVEX_FAIL_LAST_ERROR(function, LastErrorRule::Capture, "GetObjectW failed, last error:%u.");
    }
    if (facts.bmWidth <= 0 || facts.bmHeight <= 0) {
        oneColour = false;
        return S_OK;
    }
    BitmapBits bits;
    const HRESULT read = bits.Read(bitmap, SIZE{facts.bmWidth, facts.bmHeight}, 32);
    if (FAILED(read)) {
        TALVEX_TRACE(function, "Read(%d, %d) return:0x%x.", static_cast<int>(facts.bmWidth),
                     static_cast<int>(facts.bmHeight), static_cast<unsigned>(read));
        return read;
    }
    // 32-bit rows carry no padding: blue, green, red and a byte that is no colour, per pixel.
    const unsigned char* pixel = bits.Data();
    for (size_t offset = 4; offset < bits.ByteCount(); offset += 4) {
        if (std::memcmp(pixel + offset, pixel, 3) != 0) {
            oneColour = false;
            return S_OK;
        }
    }
    oneColour = true;
    colour = RGB(pixel[2], pixel[1], pixel[0]);
    return S_OK;
}

} // namespace

HRESULT BitmapPixels::IsAllBlack$Static(HBITMAP bitmap, bool* allBlack) noexcept
{
    // No pixel to look at: nothing shows that the picture is black.
    bool oneColour = false;
    COLORREF colour = 0;
    const HRESULT tested = TestOneColour(kIsAllBlack, bitmap, oneColour, colour);
    if (SUCCEEDED(tested)) {
        *allBlack = oneColour && colour == RGB(0, 0, 0);
    }
    return tested;
}

HRESULT BitmapPixels::IsOneColour$Static(HBITMAP bitmap, bool* oneColour, COLORREF* colour) noexcept
{
    bool uniform = false;
    COLORREF found = 0;
    const HRESULT tested = TestOneColour(kIsOneColour, bitmap, uniform, found);
    if (SUCCEEDED(tested)) {
        *oneColour = uniform;
        *colour = found;
    }
    return tested;
}

} // namespace TalvexBasic::Drawings
