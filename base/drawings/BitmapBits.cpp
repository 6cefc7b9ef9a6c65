#include "drawings/BitmapBits.h"

#include "drawings/GdiHolders.h"
#include "system/HResult.h"

#include <cstring>
#include <new>
#include <utility>

namespace TalvexBasic::Drawings {

HRESULT BitmapBits::Read(HBITMAP bitmap, const SIZE& size, WORD bitsPerPixel) noexcept
{
    mByteCount = 0;
    mSize = SIZE{};
    mStride = 0;
    mBitsPerPixel = 0;
    if (size.cx <= 0 || size.cy <= 0 || (bitsPerPixel != 32 && bitsPerPixel != 24)) {
        return E_INVALIDARG;
    }
    // Rows of a device-independent bitmap end on a 4-byte boundary.
    const size_t stride = (static_cast<size_t>(size.cx) * bitsPerPixel + 31) / 32 * 4;
    const size_t byteCount = stride * static_cast<size_t>(size.cy);
    if (byteCount > mCapacity) {
        mBytes.reset();
        mCapacity = 0;
        mBytes.reset(new (std::nothrow) unsigned char[byteCount]);
        if (!mBytes) {
            return E_OUTOFMEMORY;
        }
        mCapacity = byteCount;
    }

    // Any DC will do for a request of 24 or 32 bits, which needs no palette.
    const MemoryDcHolder dc(::CreateCompatibleDC(nullptr));
    if (!dc) {
        return FailureHResultFromWin32(::GetLastError());
    }
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = size.cx;
    format.bmiHeader.biHeight = -size.cy; // negative: rows from the top
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = bitsPerPixel;
    format.bmiHeader.biCompression = BI_RGB;
    const int rows =
        ::GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(size.cy), mBytes.get(), &format, DIB_RGB_COLORS);
    if (rows != size.cy) {
        return FailureHResultFromWin32(::GetLastError());
    }
    mByteCount = byteCount;
    mSize = size;
    mStride = static_cast<int>(stride);
    mBitsPerPixel = bitsPerPixel;
    return S_OK;
}

bool BitmapBits::SamePixelsAs(const BitmapBits& other) const noexcept
{
    return !Empty() && mSize.cx == other.mSize.cx && mSize.cy == other.mSize.cy &&
           mBitsPerPixel == other.mBitsPerPixel && mByteCount == other.mByteCount &&
           std::memcmp(mBytes.get(), other.mBytes.get(), mByteCount) == 0;
}

void BitmapBits::Swap(BitmapBits& other) noexcept
{
    std::swap(mBytes, other.mBytes);
    std::swap(mCapacity, other.mCapacity);
    std::swap(mByteCount, other.mByteCount);
    std::swap(mSize, other.mSize);
    std::swap(mStride, other.mStride);
    std::swap(mBitsPerPixel, other.mBitsPerPixel);
}

void BitmapBits::Clear() noexcept
{
    mBytes.reset();
    mCapacity = 0;
    mByteCount = 0;
    mSize = SIZE{};
    mStride = 0;
    mBitsPerPixel = 0;
}

} // namespace TalvexBasic::Drawings
