#include "drawings/BitmapPixels.h"
#include "drawings/GdiHolders.h"
#include "support/DebugLineCapture.h"
#include "support/ImportPatch.h"

#include <gtest/gtest.h>

using TalvexBasic::Drawings::BitmapPixels;

TEST_SUPPORT_IMPORT_SLOT(GetDIBits);

namespace {

int WINAPI UnreadableBits(HDC, HBITMAP, UINT, UINT, LPVOID, LPBITMAPINFO, UINT)
{
    ::SetLastError(0);
    return 0;
}

// A black bitmap in the screen's format, selected into a memory DC as a capture hands it back.
// Its height spans several of the bands that the test reads at a time.
class BlackCapture : public ::testing::Test {
protected:
    static constexpr int kWidth = 70;
    static constexpr int kHeight = 150;

    void SetUp() override
    {
        HDC screen = ::GetDC(nullptr);
        ASSERT_NE(screen, nullptr);
        mDc.reset(::CreateCompatibleDC(screen));
        mBitmap.reset(::CreateCompatibleBitmap(screen, kWidth, kHeight));
        ::ReleaseDC(nullptr, screen);
        ASSERT_TRUE(mDc);
        ASSERT_TRUE(mBitmap);
        mSelection = TalvexBasic::Drawings::SelectInto(mDc.get(), mBitmap.get());
        ASSERT_TRUE(mSelection);
        ASSERT_TRUE(::PatBlt(mDc.get(), 0, 0, kWidth, kHeight, BLACKNESS));
    }

    // The answer, checked to leave the bitmap selected where it was.
    bool AllBlack()
    {
        bool allBlack = false;
        EXPECT_EQ(BitmapPixels::IsAllBlack$Static(mBitmap.get(), &allBlack), S_OK);
        EXPECT_EQ(::GetCurrentObject(mDc.get(), OBJ_BITMAP), mBitmap.get());
        return allBlack;
    }

    TalvexBasic::Drawings::BitmapHolder mBitmap;
    TalvexBasic::Drawings::MemoryDcHolder mDc;
    TalvexBasic::Drawings::SelectionHolder mSelection;
};

} // namespace

TEST_F(BlackCapture, BlackEverywhereIsBlack)
{
    EXPECT_TRUE(AllBlack());
}

TEST_F(BlackCapture, OneFaintPixelAnywhereIsNotBlack)
{
    // First and last rows and columns, and the rows at a band's border.
    const POINT places[] = {{0, 0},   {kWidth - 1, kHeight - 1}, {kWidth - 1, 0}, {0, kHeight - 1}, {35, 63}, {35, 64},
                            {10, 128}};
    for (const POINT place : places) {
        for (const COLORREF faint : {RGB(0, 0, 8), RGB(0, 8, 0), RGB(8, 0, 0)}) {
            SCOPED_TRACE(::testing::Message() << place.x << ", " << place.y << " colour " << std::hex << faint);
            ASSERT_TRUE(::PatBlt(mDc.get(), 0, 0, kWidth, kHeight, BLACKNESS));
            ::SetPixel(mDc.get(), place.x, place.y, faint);
            ASSERT_NE(::GetPixel(mDc.get(), place.x, place.y), RGB(0, 0, 0));
            EXPECT_FALSE(AllBlack());
        }
    }
}

// One colour throughout, black or not, names its colour; a faint pixel anywhere breaks it.
TEST_F(BlackCapture, OneColourEverywhereIsNamed)
{
    for (const COLORREF fill : {RGB(0, 0, 0), RGB(200, 30, 90), RGB(255, 255, 255)}) {
        SCOPED_TRACE(::testing::Message() << std::hex << fill);
        const TalvexBasic::Drawings::BrushHolder brush(::CreateSolidBrush(fill));
        const RECT all{0, 0, kWidth, kHeight};
        ASSERT_TRUE(::FillRect(mDc.get(), &all, brush.get()));
        bool oneColour = false;
        COLORREF colour = CLR_INVALID;
        EXPECT_EQ(BitmapPixels::IsOneColour$Static(mBitmap.get(), &oneColour, &colour), S_OK);
        EXPECT_TRUE(oneColour);
        EXPECT_EQ(colour, fill);
        for (const POINT place : {POINT{0, 0}, POINT{kWidth - 1, kHeight - 1}, POINT{35, 64}}) {
            ::SetPixel(mDc.get(), place.x, place.y, fill ^ RGB(8, 0, 0));
            EXPECT_EQ(BitmapPixels::IsOneColour$Static(mBitmap.get(), &oneColour, &colour), S_OK);
            EXPECT_FALSE(oneColour) << place.x << ", " << place.y;
            ::SetPixel(mDc.get(), place.x, place.y, fill);
        }
    }
}

TEST_F(BlackCapture, UnreadableBitmapFailsAndLeavesTheAnswerAlone)
{
    TestSupport::DebugLineCapture capture;
    bool allBlack = true;
    const HBITMAP bogus = reinterpret_cast<HBITMAP>(static_cast<ULONG_PTR>(0xBAD0));
    EXPECT_TRUE(FAILED(BitmapPixels::IsAllBlack$Static(bogus, &allBlack)));
    EXPECT_TRUE(allBlack);
    EXPECT_EQ(capture.CountContaining(" TalvexBasic::Drawings::BitmapPixels::IsAllBlack$Static,"), 1u);
    EXPECT_EQ(::GetCurrentObject(mDc.get(), OBJ_BITMAP), mBitmap.get());
}

TEST_F(BlackCapture, PixelsThatCannotBeReadAreNoAnswer)
{
    TestSupport::ImportPatch<decltype(&::GetDIBits)> patch(__imp_GetDIBits, &UnreadableBits);
    TestSupport::DebugLineCapture capture;
    bool allBlack = true;
    EXPECT_TRUE(FAILED(BitmapPixels::IsAllBlack$Static(mBitmap.get(), &allBlack)));
    EXPECT_TRUE(allBlack);
    EXPECT_EQ(capture.CountContaining(" TalvexBasic::Drawings::BitmapPixels::IsAllBlack$Static,"), 1u);
}
