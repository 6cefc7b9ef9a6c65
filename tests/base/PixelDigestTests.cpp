#include "drawings/BitmapBits.h"
#include "drawings/PixelDigest.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <utility>
#include <vector>

using TalvexBasic::Drawings::DigestOfPixels;
using TalvexBasic::Drawings::PixelDigest;

namespace {

// 61 bytes: seven whole words and a tail of five, in a pattern with no two equal words.
std::vector<unsigned char> Pattern()
{
    std::vector<unsigned char> bytes(61);
    for (size_t at = 0; at < bytes.size(); ++at) {
        bytes[at] = static_cast<unsigned char>(at * 37 + 11);
    }
    return bytes;
}

PixelDigest Digest(const std::vector<unsigned char>& bytes, long width = 5, long height = 3, unsigned bits = 32)
{
    return DigestOfPixels(bytes.data(), bytes.size(), width, height, bits);
}

} // namespace

TEST(PixelDigest, TellsApartWhatDiffersAndOnlyThat)
{
    const std::vector<unsigned char> base = Pattern();
    struct Case {
        const char* change;
        std::function<PixelDigest()> digest;
        bool same;
    };
    const Case cases[] = {
        {"the same bytes again", [&] { return Digest(std::vector<unsigned char>(base)); }, true},
        {"the first byte", [&] { auto b = base; b[0] ^= 1; return Digest(b); }, false},
        {"a middle byte", [&] { auto b = base; b[29] ^= 0x80; return Digest(b); }, false},
        {"the last byte, in the tail", [&] { auto b = base; b[60] ^= 1; return Digest(b); }, false},
        {"two words swapped", [&] { auto b = base; std::swap_ranges(b.begin(), b.begin() + 8, b.begin() + 8); return Digest(b); }, false},
        {"a zero byte more", [&] { auto b = base; b.push_back(0); return Digest(b); }, false},
        {"a byte fewer", [&] { auto b = base; b.pop_back(); return Digest(b); }, false},
        {"another width", [&] { return Digest(base, 3, 5); }, false},
        {"another format", [&] { return Digest(base, 5, 3, 24); }, false},
    };
    const PixelDigest before = Digest(base);
    ASSERT_TRUE(before.present);
    const TalvexBasic::Drawings::BitmapBits none;
    EXPECT_FALSE(DigestOfPixels(none) == DigestOfPixels(none)) << "no pixels are equal to nothing";
    for (const Case& c : cases) {
        EXPECT_EQ(c.digest() == before, c.same) << c.change;
        EXPECT_EQ(c.digest() != before, !c.same) << c.change;
    }
    // Every single bit flipped gives a digest of its own.
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen{{before.first, before.second}};
    for (size_t bit = 0; bit < base.size() * 8; ++bit) {
        auto flipped = base;
        flipped[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
        const PixelDigest digest = Digest(flipped);
        EXPECT_TRUE(seen.insert({digest.first, digest.second}).second) << "bit " << bit;
    }
}
