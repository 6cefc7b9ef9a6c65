#pragma once

#include <cstddef>
#include <cstdint>

namespace TalvexBasic::Drawings {

class BitmapBits;

// A fingerprint of a picture's pixels that stands for them where keeping the pixels would cost
// a whole monitor's memory: two independent 64-bit lanes over the bytes, with the size and format.
// Each lane takes the bytes eight at a time through a step that is a bijection of its state for
// a given word and differs for different words, so a change of one word always changes both lanes;
// pictures that differ in more places are told apart unless both lanes meet by chance (2^-128).
struct PixelDigest {
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    long width = 0;
    long height = 0;
    unsigned bitsPerPixel = 0;
    bool present = false; // false: no pixels were read, equal to nothing

    [[nodiscard]] bool operator==(const PixelDigest& other) const noexcept
    {
        return present && other.present && first == other.first && second == other.second &&
               width == other.width && height == other.height && bitsPerPixel == other.bitsPerPixel;
    }
    [[nodiscard]] bool operator!=(const PixelDigest& other) const noexcept { return !(*this == other); }
};

// The digest of so many bytes of pixels of the given size and format.
[[nodiscard]] PixelDigest DigestOfPixels(const unsigned char* bytes, std::size_t count, long width, long height,
                                         unsigned bitsPerPixel) noexcept;

// The digest of the pixels read; not present when the object holds none.
[[nodiscard]] PixelDigest DigestOfPixels(const BitmapBits& pixels) noexcept;

} // namespace TalvexBasic::Drawings
