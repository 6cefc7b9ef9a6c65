#include "drawings/BitmapPixels.h"

#include "drawings/GdiHolders.h"
#include "system/LastErrorFailure.h"

#include <memory>
#include <new>

namespace TalvexBasic::Drawings {
namespace {

constexpr const char* kIsAllBlack = "TalvexBasic::Drawings::BitmapPixels::IsAllBlack$Static";

// Rows read at a time: bounds the buffer for large windows, and a picture that is not black
// usually shows it in the first band.
constexpr int kBandRows = 64;

} // namespace

HRESULT BitmapPixels::IsAllBlack$Static(HDC memoryDc, HBITMAP bitmap, bool* allBlack) noexcept
{
    BITMAP facts{};
    if (::GetObjectW(bitmap, sizeof(facts), &facts) != static_cast<int>(sizeof(facts))) {
        return TALVEX_FAIL_LAST_ERROR(kIsAllBlack, LastErrorRule::Capture, "GetObjectW failed, last error:%u.");
    }
    const int width = facts.bmWidth;
    const int height = facts.bmHeight;
    if (width <= 0 || height <= 0) {
        // No pixel to look at: nothing shows that the picture is black.
        *allBlack = false;
        return S_OK;
    }
    // GetDIBits wants the bitmap out of every DC: a stand-in takes its place in the memory DC
    // for the time of the reading, and the selection then puts the bitmap back.
    const BitmapHolder standIn(::CreateCompatibleBitmap(memoryDc, 1, 1));
    if (!standIn) {
        return TALVEX_FAIL_LAST_ERROR(kIsAllBlack, LastErrorRule::Capture,
                                      "CreateCompatibleBitmap(1, 1) failed, last error:%u.");
    }
    const SelectionHolder aside = SelectInto(memoryDc, standIn.get());

    const unsigned bandPixels = static_cast<unsigned>(width) * static_cast<unsigned>(kBandRows);
    const std::unique_ptr<DWORD[]> band(new (std::nothrow) DWORD[bandPixels]);
    if (!band) {
        TALVEX_TRACE(kIsAllBlack, "new DWORD[%u] failed.", bandPixels);
        return E_OUTOFMEMORY;
    }
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height; // bottom-up: scan lines count from the bottom row
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;

    for (int first = 0; first < height; first += kBandRows) {
        const int rows = height - first < kBandRows ? height - first : kBandRows;
        if (::GetDIBits(memoryDc, bitmap, static_cast<UINT>(first), static_cast<UINT>(rows), band.get(), &format,
                        DIB_RGB_COLORS) != rows) {
            return TALVEX_FAIL_LAST_ERROR(kIsAllBlack, LastErrorRule::Capture,
                                          "GetDIBits(%d, %d) failed, last error:%u.", first, rows);
        }
        const unsigned count = static_cast<unsigned>(width) * static_cast<unsigned>(rows);
        for (unsigned index = 0; index < count; ++index) {
            // The top byte is no colour: only red, green and blue count.
            if ((band[index] & 0x00FFFFFFu) != 0) {
                *allBlack = false;
                return S_OK;
            }
        }
    }
    *allBlack = true;
    return S_OK;
}

} // namespace TalvexBasic::Drawings
