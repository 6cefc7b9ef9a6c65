#include "support/DebugLineCapture.h"
#include "support/JpegReader.h"
#include "support/TestPaths.h"
#include "com/ComPtr.h"
#include "drawings/Bitmap.h"
#include "drawings/GdiHolders.h"
#include "drawings/GdiplusInclude.h"
#include "drawings/ImageEncoderInfoTraverser.h"
#include "support/ImportPatch.h"
#include "system/File.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

extern "C" decltype(&Gdiplus::DllExports::GdipGetImageEncodersSize) __imp_GdipGetImageEncodersSize;
extern "C" decltype(&Gdiplus::DllExports::GdipGetImageEncoders) __imp_GdipGetImageEncoders;

using TalvexBasic::Drawings::Bitmap;
using TalvexBasic::Drawings::BitmapHolder;
using TalvexBasic::Drawings::ImageEncoderInfoTraverser;
using TestSupport::DecodedImage;

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr COLORREF kTopLeft = RGB(220, 30, 30);
constexpr COLORREF kTopRight = RGB(30, 200, 40);
constexpr COLORREF kBottomLeft = RGB(40, 60, 220);
constexpr COLORREF kBottomRight = RGB(230, 220, 30);

// A screen-compatible bitmap, as a capture makes it, with four coloured quarters.
HBITMAP MakeQuarteredBitmap()
{
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, kWidth, kHeight);
    TalvexBasic::Drawings::MemoryDcHolder dc(::CreateCompatibleDC(screen));
    ::ReleaseDC(nullptr, screen);
    const TalvexBasic::Drawings::SelectionHolder selection = TalvexBasic::Drawings::SelectInto(dc.get(), bitmap);
    const struct {
        RECT area;
        COLORREF colour;
    } quarters[] = {{{0, 0, kWidth / 2, kHeight / 2}, kTopLeft},
                    {{kWidth / 2, 0, kWidth, kHeight / 2}, kTopRight},
                    {{0, kHeight / 2, kWidth / 2, kHeight}, kBottomLeft},
                    {{kWidth / 2, kHeight / 2, kWidth, kHeight}, kBottomRight}};
    for (const auto& quarter : quarters) {
        TalvexBasic::Drawings::BrushHolder brush(::CreateSolidBrush(quarter.colour));
        ::FillRect(dc.get(), &quarter.area, brush.get());
    }
    return bitmap;
}

::testing::AssertionResult ColourNear(const DecodedImage& image, int x, int y, COLORREF expected)
{
    const TestSupport::Rgb found = image.MeanAround(x, y, 3);
    if (TestSupport::IsNear(found, GetRValue(expected), GetGValue(expected), GetBValue(expected))) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "at (" << x << ", " << y << ") " << TestSupport::Describe(found)
                                         << ", expected rgb(" << int(GetRValue(expected)) << ", "
                                         << int(GetGValue(expected)) << ", " << int(GetBValue(expected)) << ")";
}

// Index of the first line holding the text, or -1.
int LineIndex(const std::vector<std::string>& lines, const std::string& text)
{
    for (size_t index = 0; index < lines.size(); ++index) {
        if (lines[index].find(text) != std::string::npos) {
            return static_cast<int>(index);
        }
    }
    return -1;
}

class JpegEncoding : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sGdiplus = new TestSupport::GdiplusSession(); }
    static void TearDownTestSuite()
    {
        delete sGdiplus;
        sGdiplus = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(sGdiplus->Started());
        mBitmap.reset(MakeQuarteredBitmap());
        ASSERT_NE(mBitmap.get(), nullptr);
        mRoot = TestSupport::MakeScratchDirectory(L"Jpeg");
    }
    void TearDown() override { TestSupport::RemoveTree(mRoot); }

    // Encodes through the memory form and decodes the result.
    void EncodeAndDecode(float horizontal, float vertical, DecodedImage& image)
    {
        std::shared_ptr<unsigned char> data;
        unsigned length = 0;
        const SIZE size{kWidth, kHeight};
        ASSERT_EQ(Bitmap::SaveSaveBitmapToJepgMemory$Static(&data, &length, mBitmap.get(), &size, horizontal, vertical),
                  S_OK);
        std::string reason;
        ASSERT_TRUE(TestSupport::DecodeJpegBytes(data.get(), length, image, reason)) << reason;
    }

    static inline TestSupport::GdiplusSession* sGdiplus = nullptr;
    BitmapHolder mBitmap;
    std::wstring mRoot;
};

// A stand-in for GDI+'s encoder table: the records a test lists, in its order.
struct FakeEncoder {
    CLSID clsid;
    const wchar_t* mimeType;
};
std::vector<FakeEncoder> gFakeEncoders;

Gdiplus::Status WINGDIPAPI FakeGetImageEncodersSize(UINT* count, UINT* size)
{
    *count = static_cast<UINT>(gFakeEncoders.size());
    *size = static_cast<UINT>(gFakeEncoders.size() * sizeof(Gdiplus::ImageCodecInfo));
    return Gdiplus::Ok;
}

Gdiplus::Status WINGDIPAPI FakeGetImageEncoders(UINT count, UINT size, Gdiplus::ImageCodecInfo* encoders)
{
    if (count != gFakeEncoders.size() || size < count * sizeof(Gdiplus::ImageCodecInfo)) {
        return Gdiplus::InvalidParameter;
    }
    for (UINT index = 0; index < count; ++index) {
        encoders[index] = Gdiplus::ImageCodecInfo{};
        encoders[index].Clsid = gFakeEncoders[index].clsid;
        encoders[index].MimeType = const_cast<WCHAR*>(gFakeEncoders[index].mimeType);
    }
    return Gdiplus::Ok;
}

Gdiplus::Status WINGDIPAPI FailingGetImageEncodersSize(UINT*, UINT*)
{
    return Gdiplus::OutOfMemory;
}

// The platform's own JPEG encoder, looked up without the code under test.
CLSID RealJpegEncoder()
{
    UINT count = 0;
    UINT size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    std::vector<unsigned char> table(size);
    auto* records = reinterpret_cast<Gdiplus::ImageCodecInfo*>(table.data());
    Gdiplus::GetImageEncoders(count, size, records);
    for (UINT index = 0; index < count; ++index) {
        if (std::wstring(records[index].MimeType) == L"image/jpeg") {
            return records[index].Clsid;
        }
    }
    return CLSID{};
}

class FakeEncoderTable {
public:
    explicit FakeEncoderTable(std::vector<FakeEncoder> encoders)
        : mSize(__imp_GdipGetImageEncodersSize, &FakeGetImageEncodersSize),
          mTable(__imp_GdipGetImageEncoders, &FakeGetImageEncoders)
    {
        gFakeEncoders = std::move(encoders);
    }
    ~FakeEncoderTable() { gFakeEncoders.clear(); }

private:
    TestSupport::ImportPatch<decltype(&Gdiplus::DllExports::GdipGetImageEncodersSize)> mSize;
    TestSupport::ImportPatch<decltype(&Gdiplus::DllExports::GdipGetImageEncoders)> mTable;
};

constexpr CLSID kBogusEncoder = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

} // namespace

TEST_F(JpegEncoding, ScaleOneGivesTheCapturedSizeAndTheWholePicture)
{
    DecodedImage image;
    EncodeAndDecode(1.0f, 1.0f, image);
    ASSERT_EQ(image.width, kWidth);
    ASSERT_EQ(image.height, kHeight);
    EXPECT_TRUE(ColourNear(image, kWidth / 4, kHeight / 4, kTopLeft));
    EXPECT_TRUE(ColourNear(image, kWidth * 3 / 4, kHeight / 4, kTopRight));
    EXPECT_TRUE(ColourNear(image, kWidth / 4, kHeight * 3 / 4, kBottomLeft));
    EXPECT_TRUE(ColourNear(image, kWidth * 3 / 4, kHeight * 3 / 4, kBottomRight));
    // The outermost pixels too: nothing is cut off.
    EXPECT_TRUE(ColourNear(image, 0, 0, kTopLeft));
    EXPECT_TRUE(ColourNear(image, kWidth - 1, kHeight - 1, kBottomRight));
}

TEST_F(JpegEncoding, ScaleFactorsChangeTheDrawingButNotTheCanvas)
{
    DecodedImage half;
    EncodeAndDecode(0.5f, 0.5f, half);
    ASSERT_EQ(half.width, kWidth);
    ASSERT_EQ(half.height, kHeight);
    // The whole picture shrunk into the top-left quarter; the rest of the canvas stays empty.
    EXPECT_TRUE(ColourNear(half, kWidth / 8, kHeight / 8, kTopLeft));
    EXPECT_TRUE(ColourNear(half, kWidth * 3 / 8, kHeight * 3 / 8, kBottomRight));
    EXPECT_TRUE(ColourNear(half, kWidth * 3 / 4, kHeight * 3 / 4, RGB(0, 0, 0)));

    DecodedImage doubled;
    EncodeAndDecode(2.0f, 2.0f, doubled);
    ASSERT_EQ(doubled.width, kWidth);
    ASSERT_EQ(doubled.height, kHeight);
    // Only the top-left quarter of the source still fits.
    EXPECT_TRUE(ColourNear(doubled, kWidth - 12, kHeight - 12, kTopLeft));
    EXPECT_TRUE(ColourNear(doubled, kWidth / 4, kHeight / 4, kTopLeft));
}

TEST_F(JpegEncoding, StreamFormLeavesTheStreamAtTheEndOfTheJpeg)
{
    TalvexBasic::ComponentObjectModels::ComPtr<IStream> stream;
    ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    const SIZE size{kWidth, kHeight};
    ASSERT_EQ(Bitmap::SaveSaveBitmapToJepgMemory$Static(stream.get(), mBitmap.get(), &size, 1.0f, 1.0f), S_OK);
    LARGE_INTEGER noMove{};
    ULARGE_INTEGER position{};
    ULARGE_INTEGER end{};
    ASSERT_EQ(stream->Seek(noMove, STREAM_SEEK_CUR, &position), S_OK);
    ASSERT_EQ(stream->Seek(noMove, STREAM_SEEK_END, &end), S_OK);
    EXPECT_GT(position.QuadPart, 100u);
    EXPECT_EQ(position.QuadPart, end.QuadPart);
}

TEST_F(JpegEncoding, FileFormReplacesAnExistingFileWithTheJpeg)
{
    const std::wstring path = mRoot + L"\\pictures\\shot.jpg";
    ASSERT_EQ(
        TalvexBasic::Files::File::WriteToFile$Static(path, std::string(400000, 'x').data(), 400000, CREATE_ALWAYS),
        S_OK);
    const SIZE size{kWidth, kHeight};
    ASSERT_EQ(Bitmap::SaveSaveBitmapToJepgFile$Static(path.c_str(), mBitmap.get(), &size, 1.0f, 1.0f), S_OK);
    DecodedImage image;
    std::string reason;
    ASSERT_TRUE(TestSupport::DecodeJpegFile(path, image, reason)) << reason;
    EXPECT_EQ(image.width, kWidth);
    EXPECT_TRUE(ColourNear(image, kWidth * 3 / 4, kHeight / 4, kTopRight));
}

TEST_F(JpegEncoding, ZeroWidthFailsAtTheScaleStepWithAChainOfLines)
{
    const std::wstring path = mRoot + L"\\zero.jpg";
    const SIZE size{0, kHeight};
    TestSupport::DebugLineCapture capture;
    EXPECT_EQ(Bitmap::SaveSaveBitmapToJepgFile$Static(path.c_str(), mBitmap.get(), &size, 1.0f, 1.0f), E_UNEXPECTED);
    const std::vector<std::string> lines = capture.Lines();
    const int scale = LineIndex(lines, "SaveSaveBitmapToJepgMemory$Static,");
    const int memory = LineIndex(lines, "]:SaveSaveBitmapToJepgMemory$Static return:0x8000ffff.");
    const int file = LineIndex(lines, "]:SaveSaveBitmapToJepgMemory$Static(");
    ASSERT_GE(scale, 0);
    EXPECT_NE(lines[scale].find("]:ScaleTransform(1.000000, 1.000000) return:2.\r\n"), std::string::npos)
        << lines[scale];
    EXPECT_NE(lines[scale].find(" TalvexBasic::Drawings::Bitmap::SaveSaveBitmapToJepgMemory$Static,"),
              std::string::npos);
    EXPECT_GT(memory, scale);
    ASSERT_GT(file, memory);
    EXPECT_NE(lines[file].find(" TalvexBasic::Drawings::Bitmap::SaveSaveBitmapToJepgFile$Static,"), std::string::npos);
    EXPECT_NE(lines[file].find("zero.jpg) return:0x8000ffff.\r\n"), std::string::npos) << lines[file];
    EXPECT_EQ(lines.size(), 3u);
    EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(JpegEncoding, FileThatCannotBeWrittenIsReportedWithItsPath)
{
    const SIZE size{kWidth, kHeight};
    TestSupport::DebugLineCapture capture;
    EXPECT_EQ(Bitmap::SaveSaveBitmapToJepgFile$Static(L"NoFolder.jpg", mBitmap.get(), &size, 1.0f, 1.0f), E_INVALIDARG);
    EXPECT_EQ(capture.CountContaining("]:WriteToFile$Static(NoFolder.jpg) return:0x80070057.\r\n"), 1u);
}

TEST_F(JpegEncoding, EncoderLookupIgnoresCaseAndTakesTheFirstMatch)
{
    const CLSID realJpeg = RealJpegEncoder();
    ASSERT_NE(realJpeg, CLSID{});
    FakeEncoderTable table({{kBogusEncoder, L"image/png"}, {realJpeg, L"IMAGE/Jpeg"}, {kBogusEncoder, L"image/jpeg"}});

    ImageEncoderInfoTraverser traverser;
    const Gdiplus::ImageCodecInfo* codec = nullptr;
    Gdiplus::Status status = Gdiplus::GenericError;
    ASSERT_EQ(TalvexBasic::Drawings::GetJpegImageCodecInfo(traverser, &codec, &status), S_OK);
    EXPECT_EQ(status, Gdiplus::Ok);
    ASSERT_NE(codec, nullptr);
    EXPECT_EQ(codec, reinterpret_cast<const Gdiplus::ImageCodecInfo*>(traverser.mEncoders.get()) + 1);
    EXPECT_EQ(traverser.mEncoderCount, 3u);

    // The save goes through the first match; the bogus later one would fail it.
    DecodedImage image;
    EncodeAndDecode(1.0f, 1.0f, image);
    EXPECT_EQ(image.width, kWidth);
}

TEST_F(JpegEncoding, EmptyEncoderListIsNotFound)
{
    FakeEncoderTable table({});
    ImageEncoderInfoTraverser traverser;
    const Gdiplus::ImageCodecInfo* codec = nullptr;
    Gdiplus::Status status = Gdiplus::GenericError;
    EXPECT_EQ(TalvexBasic::Drawings::GetJpegImageCodecInfo(traverser, &codec, &status), HRESULT(0x80070490));
    EXPECT_EQ(status, Gdiplus::Ok);
    EXPECT_EQ(codec, nullptr);

    TestSupport::DebugLineCapture capture;
    TalvexBasic::ComponentObjectModels::ComPtr<IStream> stream;
    ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    const SIZE size{kWidth, kHeight};
    EXPECT_EQ(Bitmap::SaveSaveBitmapToJepgMemory$Static(stream.get(), mBitmap.get(), &size, 1.0f, 1.0f),
              HRESULT(0x80070490));
    EXPECT_EQ(capture.CountContaining("]:GetJpegImageCodecInfo return:0x80070490, GdiStatus:0.\r\n"), 1u);
    STATSTG facts{};
    ASSERT_EQ(stream->Stat(&facts, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(facts.cbSize.QuadPart, 0u);
}

TEST_F(JpegEncoding, ListWithoutJpegEncoderFailsBeforeAnyDataIsWritten)
{
    FakeEncoderTable table({{kBogusEncoder, L"image/png"}, {kBogusEncoder, L"image/gif"}});
    TalvexBasic::ComponentObjectModels::ComPtr<IStream> stream;
    ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    const SIZE size{kWidth, kHeight};
    const HRESULT result = Bitmap::SaveSaveBitmapToJepgMemory$Static(stream.get(), mBitmap.get(), &size, 1.0f, 1.0f);
    EXPECT_EQ(result, HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
    STATSTG facts{};
    ASSERT_EQ(stream->Stat(&facts, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(facts.cbSize.QuadPart, 0u);
}

TEST_F(JpegEncoding, FailuresOfGdiplusBecomeUnexpectedWithTheStatusKept)
{
    {
        SCOPED_TRACE("encoder table size");
        TestSupport::ImportPatch<decltype(&Gdiplus::DllExports::GdipGetImageEncodersSize)> patch(
            __imp_GdipGetImageEncodersSize, &FailingGetImageEncodersSize);
        ImageEncoderInfoTraverser traverser;
        Gdiplus::Status status = Gdiplus::Ok;
        TestSupport::DebugLineCapture capture;
        EXPECT_EQ(traverser.Traversal([](const Gdiplus::ImageCodecInfo&) { return false; }, &status), E_UNEXPECTED);
        EXPECT_EQ(status, Gdiplus::OutOfMemory);
        EXPECT_EQ(capture.CountContaining(" TalvexBasic::Drawings::ImageEncoderInfoTraverser::Traversal,"), 1u);
        EXPECT_EQ(capture.CountContaining("]:GetImageEncodersSize return:3.\r\n"), 1u);
    }
    {
        SCOPED_TRACE("save with an encoder that does not exist");
        FakeEncoderTable table({{kBogusEncoder, L"image/jpeg"}});
        TestSupport::DebugLineCapture capture;
        std::shared_ptr<unsigned char> data;
        unsigned length = 7;
        const SIZE size{kWidth, kHeight};
        EXPECT_EQ(Bitmap::SaveSaveBitmapToJepgMemory$Static(&data, &length, mBitmap.get(), &size, 1.0f, 1.0f),
                  E_UNEXPECTED);
        EXPECT_EQ(length, 7u);
        EXPECT_EQ(data, nullptr);
        const std::vector<std::string> lines = capture.Lines();
        const int save = LineIndex(lines, "]:Save return:");
        ASSERT_GE(save, 0);
        EXPECT_GT(LineIndex(lines, "]:SaveSaveBitmapToJepgMemory$Static return:0x8000ffff."), save);
    }
}
