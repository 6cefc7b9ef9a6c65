// How black a window picture is: wholly, only in its client area, or not at all.

#include "capture/PictureBlackness.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Morvane::PictureBlackness;

constexpr SIZE kSize{40, 30};

// A part of the picture painted in one colour; the rest stays black.
struct Paint {
    RECT area;
    COLORREF colour;
};

// The picture's 32-bit rows as the platform gives them: blue, green, red and a fourth byte that
// is no colour, set here so that a judgement that reads it is caught.
std::vector<unsigned char> MakePicture(const std::vector<Paint>& paints)
{
    std::vector<unsigned char> pixels(kSize.cx * kSize.cy * 4, 0);
    for (LONG index = 0; index < kSize.cx * kSize.cy; ++index) {
        pixels[index * 4 + 3] = 0xFF;
    }
    for (const Paint& paint : paints) {
        for (LONG y = paint.area.top; y < paint.area.bottom; ++y) {
            for (LONG x = paint.area.left; x < paint.area.right; ++x) {
                unsigned char* pixel = &pixels[(y * kSize.cx + x) * 4];
                pixel[0] = GetBValue(paint.colour);
                pixel[1] = GetGValue(paint.colour);
                pixel[2] = GetRValue(paint.colour);
            }
        }
    }
    return pixels;
}

TEST(PictureBlackness, JudgesTheClientAreaApartFromTheFrame)
{
    const RECT whole{0, 0, 40, 30};
    const RECT client{4, 10, 36, 26}; // a caption of 10 rows, borders of 4
    const COLORREF grey = RGB(128, 128, 128);
    const Paint caption{{0, 0, 40, 10}, grey};
    const struct {
        const char* what;
        std::vector<Paint> paints;
        RECT client;
        PictureBlackness judged;
    } cases[] = {
        {"all black", {}, client, PictureBlackness::Black},
        {"frame painted, client black",
         {caption, {{0, 0, 4, 30}, grey}, {{36, 0, 40, 30}, grey}, {{0, 26, 40, 30}, grey}},
         client,
         PictureBlackness::ClientAreaBlack},
        {"only the caption painted", {caption}, client, PictureBlackness::ClientAreaBlack},
        {"the client's last pixel painted", {caption, {{35, 25, 36, 26}, grey}}, client, PictureBlackness::NotBlack},
        {"the client's first pixel painted", {caption, {{4, 10, 5, 11}, grey}}, client, PictureBlackness::NotBlack},
        {"a client pixel of red 1", {caption, {{20, 20, 21, 21}, RGB(1, 0, 0)}}, client, PictureBlackness::NotBlack},
        {"a client pixel of green 1", {caption, {{20, 20, 21, 21}, RGB(0, 1, 0)}}, client, PictureBlackness::NotBlack},
        {"a client pixel of blue 1", {caption, {{20, 20, 21, 21}, RGB(0, 0, 1)}}, client, PictureBlackness::NotBlack},
        {"all painted", {{whole, grey}}, client, PictureBlackness::NotBlack},
        {"no frame: the client is the whole picture", {}, whole, PictureBlackness::Black},
        {"no frame, painted", {{{20, 20, 21, 21}, grey}}, whole, PictureBlackness::NotBlack},
        {"client reaching beyond the picture is clipped",
         {caption},
         {4, 10, 60, 50},
         PictureBlackness::ClientAreaBlack},
        {"client outside the picture: only a black picture counts",
         {caption},
         {50, 50, 80, 80},
         PictureBlackness::NotBlack},
        {"client outside the picture, all black", {}, {50, 50, 80, 80}, PictureBlackness::Black},
        {"empty client area", {caption}, {10, 15, 10, 20}, PictureBlackness::NotBlack},
    };
    for (const auto& one : cases) {
        const std::vector<unsigned char> pixels = MakePicture(one.paints);
        EXPECT_EQ(Morvane::JudgePictureBlackness(pixels.data(), kSize, one.client), one.judged) << one.what;
    }
    // No pixels at all: nothing shows that the picture is black.
    const std::vector<unsigned char> black = MakePicture({});
    EXPECT_EQ(Morvane::JudgePictureBlackness(nullptr, kSize, client), PictureBlackness::NotBlack);
    EXPECT_EQ(Morvane::JudgePictureBlackness(black.data(), SIZE{0, 30}, client), PictureBlackness::NotBlack);
}

} // namespace
