// How black a window picture is: wholly, only in its client area, or not at all.

#include "capture/PictureBlackness.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Morvane::PictureBlackness;

// A 40 x 30 picture of 32-bit pixels, black where painted so, grey elsewhere.
struct Picture {
    static constexpr SIZE kSize{40, 30};
    std::vector<unsigned char> pixels = std::vector<unsigned char>(kSize.cx * kSize.cy * 4, 0);

    void Paint(const RECT& area, unsigned char blue, unsigned char green, unsigned char red)
    {
        for (LONG y = area.top; y < area.bottom; ++y) {
            for (LONG x = area.left; x < area.right; ++x) {
                unsigned char* pixel = &pixels[(y * kSize.cx + x) * 4];
                pixel[0] = blue;
                pixel[1] = green;
                pixel[2] = red;
                pixel[3] = 0xFF; // not a colour: never judged
            }
        }
    }
};

TEST(PictureBlackness, JudgesTheClientAreaApartFromTheFrame)
{
    const RECT whole{0, 0, 40, 30};
    const RECT client{4, 10, 36, 26}; // a caption of 10 rows, borders of 4
    const struct {
        const char* what;
        std::vector<RECT> grey; // painted grey; the rest stays black
        RECT client;
        PictureBlackness judged;
    } cases[] = {
        {"all black", {}, client, PictureBlackness::Black},
        {"frame painted, client black",
         {{0, 0, 40, 10}, {0, 0, 4, 30}, {36, 0, 40, 30}, {0, 26, 40, 30}},
         client,
         PictureBlackness::ClientAreaBlack},
        {"only the caption painted", {{0, 0, 40, 10}}, client, PictureBlackness::ClientAreaBlack},
        {"one client pixel painted", {{0, 0, 40, 10}, {35, 25, 36, 26}}, client, PictureBlackness::NotBlack},
        {"the client's first pixel painted", {{0, 0, 40, 10}, {4, 10, 5, 11}}, client, PictureBlackness::NotBlack},
        {"all painted", {whole}, client, PictureBlackness::NotBlack},
        {"no frame: the client is the whole picture", {}, whole, PictureBlackness::Black},
        {"no frame, painted", {{20, 20, 21, 21}}, whole, PictureBlackness::NotBlack},
        {"client reaching beyond the picture is clipped",
         {{0, 0, 40, 10}},
         {4, 10, 60, 50},
         PictureBlackness::ClientAreaBlack},
        {"client outside the picture: only a black picture counts",
         {{0, 0, 40, 10}},
         {50, 50, 80, 80},
         PictureBlackness::NotBlack},
        {"client outside the picture, all black", {}, {50, 50, 80, 80}, PictureBlackness::Black},
        {"empty client area", {{0, 0, 40, 10}}, {10, 15, 10, 20}, PictureBlackness::NotBlack},
    };
    for (const auto& one : cases) {
        Picture picture;
        for (const RECT& area : one.grey) {
            picture.Paint(area, 0x80, 0x80, 0x80);
        }
        EXPECT_EQ(Morvane::JudgePictureBlackness(picture.pixels.data(), Picture::kSize, one.client), one.judged)
            << one.what;
    }
}

TEST(PictureBlackness, ReadsEachColourAndNeverTheFourthByte)
{
    const RECT client{4, 10, 36, 26};
    const struct {
        unsigned char blue, green, red;
        PictureBlackness judged;
    } cases[] = {
        {1, 0, 0, PictureBlackness::NotBlack},
        {0, 1, 0, PictureBlackness::NotBlack},
        {0, 0, 1, PictureBlackness::NotBlack},
        {0, 0, 0, PictureBlackness::ClientAreaBlack},
    };
    for (const auto& one : cases) {
        Picture picture;
        picture.Paint({0, 0, 40, 10}, 0x80, 0x80, 0x80);
        picture.Paint({20, 20, 21, 21}, one.blue, one.green, one.red);
        EXPECT_EQ(Morvane::JudgePictureBlackness(picture.pixels.data(), Picture::kSize, client), one.judged)
            << int(one.blue) << "," << int(one.green) << "," << int(one.red);
    }
    EXPECT_EQ(Morvane::JudgePictureBlackness(nullptr, Picture::kSize, client), PictureBlackness::NotBlack);
    Picture empty;
    EXPECT_EQ(Morvane::JudgePictureBlackness(empty.pixels.data(), SIZE{0, 30}, client), PictureBlackness::NotBlack);
}

} // namespace
