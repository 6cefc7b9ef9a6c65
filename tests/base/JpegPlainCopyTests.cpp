// At scale 1.0 the encoder is handed the bitmap's own pixels instead of a canvas drawn from them.
// These tests hold that shortcut to giving the very bytes of the canvas path.

#include "support/PictureReference.h"
#include "support/DebugLineCapture.h"
#include "support/ImportPatch.h"
#include "support/JpegReader.h"
#include "support/TestPaths.h"
#include "drawings/Bitmap.h"
#include "drawings/BitmapBits.h"
#include "drawings/GdiHolders.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

TEST_SUPPORT_IMPORT_SLOT(GetDIBits);

using TalvexBasic::Drawings::Bitmap;
using TalvexBasic::Drawings::BitmapBits;
using TalvexBasic::Drawings::BitmapHolder;

namespace {

std::vector<unsigned char> EncodeToMemory(HBITMAP bitmap, int width, int height)
{
    std::shared_ptr<unsigned char> data;
    unsigned length = 0;
    const SIZE size{width, height};
    if (FAILED(Bitmap::SaveSaveBitmapToJepgMemory$Static(&data, &length, bitmap, &size, 1.0f, 1.0f))) {
        return {};
    }
    return std::vector<unsigned char>(data.get(), data.get() + length);
}

std::vector<unsigned char> FileBytes(const std::wstring& path)
{
    const std::string bytes = TestSupport::ReadWholeFile(path);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

int WINAPI FailingGetDIBits(HDC, HBITMAP, UINT, UINT, LPVOID, LPBITMAPINFO, UINT)
{
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

class JpegPlainCopy : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sGdiplus = new TestSupport::GdiplusSession(); }
    static void TearDownTestSuite()
    {
        delete sGdiplus;
        sGdiplus = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(sGdiplus->Started()); }

    static inline TestSupport::GdiplusSession* sGdiplus = nullptr;
};

} // namespace

TEST_F(JpegPlainCopy, GivesTheBytesOfTheCanvasPathForEveryKindOfPicture)
{
    const struct {
        int width;
        int height;
        std::uint32_t seed;
    } cases[] = {{1, 1, 1}, {3, 5, 2}, {17, 9, 3}, {161, 121, 4}, {640, 480, 5}, {1001, 7, 6}, {1920, 1080, 7}};
    for (const auto& picture : cases) {
        SCOPED_TRACE(std::to_string(picture.width) + "x" + std::to_string(picture.height));
        const BitmapHolder bitmap(PictureReference::MakeBusyBitmap(picture.width, picture.height, picture.seed));
        ASSERT_TRUE(bitmap);
        const std::vector<unsigned char> reference =
            PictureReference::EncodeOnCanvas(bitmap.get(), picture.width, picture.height);
        ASSERT_FALSE(reference.empty());
        EXPECT_TRUE(EncodeToMemory(bitmap.get(), picture.width, picture.height) == reference);
    }
    // Flat colours, pure black and white, and a picture whose unused fourth bytes are not zero.
    const BitmapHolder flat(PictureReference::MakeScreenBitmap(200, 100, [](int x, int) {
        return x < 50 ? 0x000000u : (x < 100 ? 0xFFFFFFu : (x < 150 ? 0x00C81E1Eu : 0xFF1E64C8u));
    }));
    EXPECT_TRUE(EncodeToMemory(flat.get(), 200, 100) == PictureReference::EncodeOnCanvas(flat.get(), 200, 100));
}

TEST_F(JpegPlainCopy, EncodingTheSamePixelsTwiceGivesTheSameBytes)
{
    const BitmapHolder first(PictureReference::MakeBusyBitmap(333, 211, 11));
    const BitmapHolder copy(PictureReference::MakeBusyBitmap(333, 211, 11));
    const std::vector<unsigned char> once = EncodeToMemory(first.get(), 333, 211);
    ASSERT_GT(once.size(), 1000u);
    EXPECT_TRUE(EncodeToMemory(first.get(), 333, 211) == once);
    EXPECT_TRUE(EncodeToMemory(copy.get(), 333, 211) == once);
    // And a different picture does give other bytes, so the comparisons above can fail.
    const BitmapHolder other(PictureReference::MakeBusyBitmap(333, 211, 12));
    EXPECT_FALSE(EncodeToMemory(other.get(), 333, 211) == once);
}

TEST_F(JpegPlainCopy, EncodedBytesComeBackAndWriteTheSameFileAgain)
{
    const std::wstring root = TestSupport::MakeScratchDirectory(L"PlainCopy");
    const BitmapHolder bitmap(PictureReference::MakeBusyBitmap(257, 129, 21));
    const SIZE size{257, 129};
    std::shared_ptr<unsigned char> data;
    unsigned length = 0;
    const std::wstring path = root + L"\\first.jpg";
    ASSERT_EQ(Bitmap::SaveSaveBitmapToJepgFile$Static(path.c_str(), bitmap.get(), &size, 1.0f, 1.0f, &data, &length),
              S_OK);
    const std::vector<unsigned char> reference = PictureReference::EncodeOnCanvas(bitmap.get(), 257, 129);
    EXPECT_TRUE(FileBytes(path) == reference);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(std::vector<unsigned char>(data.get(), data.get() + length) == reference);

    const std::wstring again = root + L"\\again.jpg";
    ASSERT_EQ(Bitmap::WriteJepgFile$Static(again.c_str(), data.get(), length), S_OK);
    EXPECT_TRUE(FileBytes(again) == reference);

    // A file that fails still hands back the bytes encoded for it.
    std::shared_ptr<unsigned char> failedData;
    unsigned failedLength = 0;
    EXPECT_EQ(Bitmap::SaveSaveBitmapToJepgFile$Static(L"NoFolder.jpg", bitmap.get(), &size, 1.0f, 1.0f, &failedData,
                                                      &failedLength),
              E_INVALIDARG);
    ASSERT_NE(failedData, nullptr);
    EXPECT_TRUE(std::vector<unsigned char>(failedData.get(), failedData.get() + failedLength) == reference);
    TestSupport::RemoveTree(root);
}

TEST_F(JpegPlainCopy, PixelsThatCannotBeReadLeaveTheCanvasPathWithTheSameBytes)
{
    const BitmapHolder bitmap(PictureReference::MakeBusyBitmap(120, 90, 31));
    const std::vector<unsigned char> reference = PictureReference::EncodeOnCanvas(bitmap.get(), 120, 90);
    TestSupport::DebugLineCapture capture;
    std::vector<unsigned char> encoded;
    {
        // The canvas path reads the bitmap through GDI+, which does not go through this slot.
        TestSupport::ImportPatch<decltype(&::GetDIBits)> patch(__imp_GetDIBits, &FailingGetDIBits);
        BitmapBits pixels;
        EXPECT_EQ(pixels.Read(bitmap.get(), SIZE{120, 90}, 24), HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));
        EXPECT_TRUE(pixels.Empty());
        encoded = EncodeToMemory(bitmap.get(), 120, 90);
    }
    EXPECT_TRUE(encoded == reference);
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(BitmapBits, ReadsTopDownRowsAndComparesEveryPixel)
{
    const BitmapHolder bitmap(PictureReference::MakeScreenBitmap(
        7, 3, [](int x, int y) { return static_cast<std::uint32_t>(0x010000 * (x * 30) + 0x000100 * (y * 80) + 5); }));
    BitmapBits pixels;
    ASSERT_EQ(pixels.Read(bitmap.get(), SIZE{7, 3}), S_OK);
    ASSERT_EQ(pixels.ByteCount(), 7u * 3u * 4u);
    EXPECT_EQ(pixels.Stride(), 28);
    // Pixel (x = 6, y = 2) in the last row: blue, green, red.
    const unsigned char* last = pixels.Data() + 2 * 28 + 6 * 4;
    EXPECT_EQ(last[0], 5);
    EXPECT_EQ(last[1], 160);
    EXPECT_EQ(last[2], 180);

    // 24 bits: rows of 21 bytes padded to 24, the same colours.
    BitmapBits narrow;
    ASSERT_EQ(narrow.Read(bitmap.get(), SIZE{7, 3}, 24), S_OK);
    ASSERT_EQ(narrow.Stride(), 24);
    ASSERT_EQ(narrow.ByteCount(), 3u * 24u);
    const unsigned char* narrowLast = narrow.Data() + 2 * 24 + 6 * 3;
    EXPECT_EQ(narrowLast[0], 5);
    EXPECT_EQ(narrowLast[1], 160);
    EXPECT_EQ(narrowLast[2], 180);
    EXPECT_FALSE(narrow.SamePixelsAs(pixels));

    BitmapBits again;
    ASSERT_EQ(again.Read(bitmap.get(), SIZE{7, 3}), S_OK);
    EXPECT_TRUE(pixels.SamePixelsAs(again));

    // One pixel in the middle changed.
    {
        const TalvexBasic::Drawings::MemoryDcHolder dc(::CreateCompatibleDC(nullptr));
        const TalvexBasic::Drawings::SelectionHolder selection =
            TalvexBasic::Drawings::SelectInto(dc.get(), bitmap.get());
        ::SetPixel(dc.get(), 3, 1, RGB(1, 2, 3));
    }
    ASSERT_EQ(again.Read(bitmap.get(), SIZE{7, 3}), S_OK);
    EXPECT_FALSE(pixels.SamePixelsAs(again));

    // The same bytes in rows of another length, and nothing read at all, are never the same picture.
    const BitmapHolder oneRow(PictureReference::MakeScreenBitmap(21, 1, [](int x, int) {
        return static_cast<std::uint32_t>(0x010000 * ((x % 7) * 30) + 0x000100 * ((x / 7) * 80) + 5);
    }));
    BitmapBits row;
    ASSERT_EQ(row.Read(oneRow.get(), SIZE{21, 1}), S_OK);
    ASSERT_EQ(std::memcmp(row.Data(), pixels.Data(), pixels.ByteCount()), 0);
    EXPECT_FALSE(pixels.SamePixelsAs(row));
    BitmapBits none;
    BitmapBits alsoNone;
    EXPECT_FALSE(none.SamePixelsAs(alsoNone));
    EXPECT_EQ(none.Read(bitmap.get(), SIZE{0, 3}), E_INVALIDARG);
    EXPECT_TRUE(none.Empty());
}
