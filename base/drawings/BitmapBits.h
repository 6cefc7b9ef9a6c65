#pragma once

#include <windows.h>

#include <memory>

namespace TalvexBasic::Drawings {

// The pixels of a bitmap read out as top-down rows: 32 bits per pixel (blue, green, red and an
// unused byte; rows without padding) or 24 (blue, green, red; each row padded to 4 bytes). The
// buffer is kept for the next read of the same size or smaller, so that reading picture after
// picture allocates once.
class BitmapBits {
public:
    BitmapBits() noexcept = default;
    BitmapBits(const BitmapBits&) = delete;
    BitmapBits& operator=(const BitmapBits&) = delete;

    // Reads the whole bitmap of the given size; on failure the object holds no pixels. A failure
    // is not reported with a trace line: callers treat it as "no pixels at hand" and go the way
    // that needs none.
    [[nodiscard]] HRESULT Read(HBITMAP bitmap, const SIZE& size, WORD bitsPerPixel = 32) noexcept;

    [[nodiscard]] bool Empty() const noexcept { return mByteCount == 0; }
    [[nodiscard]] const SIZE& Size() const noexcept { return mSize; }
    [[nodiscard]] const unsigned char* Data() const noexcept { return mBytes.get(); }
    [[nodiscard]] size_t ByteCount() const noexcept { return mByteCount; }
    [[nodiscard]] int Stride() const noexcept { return mStride; }
    [[nodiscard]] WORD BitsPerPixel() const noexcept { return mBitsPerPixel; }

    // Same size, format and bytes, every one of them; two empty objects are not the same picture.
    [[nodiscard]] bool SamePixelsAs(const BitmapBits& other) const noexcept;

    void Swap(BitmapBits& other) noexcept;
    void Clear() noexcept;

private:
    std::unique_ptr<unsigned char[]> mBytes;
    size_t mCapacity = 0;
    size_t mByteCount = 0;
    SIZE mSize{};
    int mStride = 0;
    WORD mBitsPerPixel = 0;
};

} // namespace TalvexBasic::Drawings
