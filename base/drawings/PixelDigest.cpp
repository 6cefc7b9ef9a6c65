#include "drawings/PixelDigest.h"

#include "drawings/BitmapBits.h"

#include <cstring>

namespace TalvexBasic::Drawings {
namespace {

// Odd constants: multiplying by them is a bijection of 64-bit words.
constexpr std::uint64_t kWordFirst = 0x9E3779B97F4A7C15ull;
constexpr std::uint64_t kStepFirst = 0xBF58476D1CE4E5B9ull;
constexpr std::uint64_t kWordSecond = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t kStepSecond = 0x94D049BB133111EBull;

constexpr std::uint64_t RotateLeft(std::uint64_t value, int bits) noexcept
{
    return (value << bits) | (value >> (64 - bits));
}

// Spreads every bit of the lane over the whole word, so that the lanes end unlike each other.
constexpr std::uint64_t Finish(std::uint64_t value) noexcept
{
    value ^= value >> 30;
    value *= kStepFirst;
    value ^= value >> 27;
    value *= kStepSecond;
    return value ^ (value >> 31);
}

} // namespace

PixelDigest DigestOfPixels(const unsigned char* bytes, std::size_t count, long width, long height,
                           unsigned bitsPerPixel) noexcept
{
    std::uint64_t first = 0x243F6A8885A308D3ull;
    std::uint64_t second = 0x13198A2E03707344ull;
    std::size_t at = 0;
    for (; at + sizeof(std::uint64_t) <= count; at += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes + at, sizeof word);
        first = RotateLeft(first ^ (word * kWordFirst), 31) * kStepFirst;
        second = RotateLeft(second + (word * kWordSecond), 27) * kStepSecond;
    }
    if (at < count) {
        // The last bytes, with their count, so that a short tail of zeros still counts.
        std::uint64_t word = 0;
        std::memcpy(&word, bytes + at, count - at);
        word ^= static_cast<std::uint64_t>(count - at) << 56;
        first = RotateLeft(first ^ (word * kWordFirst), 31) * kStepFirst;
        second = RotateLeft(second + (word * kWordSecond), 27) * kStepSecond;
    }
    PixelDigest digest;
    digest.first = Finish(first ^ count);
    digest.second = Finish(second + count);
    digest.width = width;
    digest.height = height;
    digest.bitsPerPixel = bitsPerPixel;
    digest.present = true;
    return digest;
}

PixelDigest DigestOfPixels(const BitmapBits& pixels) noexcept
{
    if (pixels.Empty()) {
        return PixelDigest{};
    }
    return DigestOfPixels(pixels.Data(), pixels.ByteCount(), pixels.Size().cx, pixels.Size().cy,
                          pixels.BitsPerPixel());
}

} // namespace TalvexBasic::Drawings
