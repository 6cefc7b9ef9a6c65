#include "MonitorPictureCache.h"

#include "RunState.h"
#include "WindowInfo.h"
#include "WindowShot.h"
#include "base/PictureReference.h"
#include "drawings/GdiHolders.h"
#include "drawings/Screenshot.h"
#include "support/DebugLineCapture.h"
#include "support/FixtureWindows.h"
#include "support/ImportPatch.h"
#include "support/JpegReader.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

extern "C" decltype(&Gdiplus::DllExports::GdipSaveImageToStream) __imp_GdipSaveImageToStream;

using Morvane::MonitorPictureCache;
using TalvexBasic::Drawings::BitmapHolder;

namespace {

HMONITOR FakeMonitor(ULONG_PTR value)
{
    return reinterpret_cast<HMONITOR>(value);
}

std::vector<unsigned char> FileBytes(const std::wstring& path)
{
    const std::string bytes = TestSupport::ReadWholeFile(path);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

void SetOnePixel(HBITMAP bitmap, int x, int y, COLORREF colour)
{
    const TalvexBasic::Drawings::MemoryDcHolder dc(::CreateCompatibleDC(nullptr));
    const TalvexBasic::Drawings::SelectionHolder selection = TalvexBasic::Drawings::SelectInto(dc.get(), bitmap);
    ::SetPixel(dc.get(), x, y, colour);
}

// A trace line from its process and thread on: the header's date and time cut out.
std::string WithoutTime(const std::string& line)
{
    const size_t date = line.find('[');
    const size_t time = line.find(' ', date);
    const size_t afterTime = time == std::string::npos ? std::string::npos : line.find(' ', time + 1);
    return afterTime == std::string::npos ? line : line.substr(0, date) + line.substr(afterTime);
}

Gdiplus::Status WINGDIPAPI FailingSave(Gdiplus::GpImage*, IStream*, GDIPCONST CLSID*,
                                       GDIPCONST Gdiplus::EncoderParameters*)
{
    return Gdiplus::Win32Error;
}

constexpr int kWidth = 640;
constexpr int kHeight = 400;

class MonitorPictures : public ::testing::Test {
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
        mRoot = TestSupport::MakeScratchDirectory(L"MonitorPictures");
    }
    void TearDown() override { TestSupport::RemoveTree(mRoot); }

    HRESULT Save(const std::wstring& name, HMONITOR monitor, HBITMAP bitmap, SIZE size = SIZE{kWidth, kHeight})
    {
        return mCache.SaveCaptureToJpegFile(mRoot + L"\\" + name, monitor, bitmap, size);
    }
    std::vector<unsigned char> Bytes(const std::wstring& name) const { return FileBytes(mRoot + L"\\" + name); }

    static inline TestSupport::GdiplusSession* sGdiplus = nullptr;
    MonitorPictureCache mCache;
    std::wstring mRoot;
};

} // namespace

TEST_F(MonitorPictures, UnchangedPixelsAreWrittenFromTheBytesEncodedBefore)
{
    const BitmapHolder first(PictureReference::MakeBusyBitmap(kWidth, kHeight, 1));
    const BitmapHolder sameAgain(PictureReference::MakeBusyBitmap(kWidth, kHeight, 1));
    ASSERT_EQ(Save(L"first.jpg", FakeMonitor(0x10001), first.get()), S_OK);
    ASSERT_EQ(Save(L"second.jpg", FakeMonitor(0x10001), sameAgain.get()), S_OK);
    EXPECT_EQ(mCache.Encodes(), 1u);
    EXPECT_EQ(mCache.Reuses(), 1u);

    // The reused file is the very file that encoding the second capture anew gives.
    const std::vector<unsigned char> fresh = PictureReference::EncodeOnCanvas(sameAgain.get(), kWidth, kHeight);
    ASSERT_FALSE(fresh.empty());
    EXPECT_TRUE(Bytes(L"second.jpg") == fresh);
    EXPECT_TRUE(Bytes(L"first.jpg") == fresh);
}

TEST_F(MonitorPictures, OnePixelChangedIsEncodedAnew)
{
    const BitmapHolder capture(PictureReference::MakeBusyBitmap(kWidth, kHeight, 2));
    ASSERT_EQ(Save(L"before.jpg", FakeMonitor(0x10001), capture.get()), S_OK);
    for (const POINT at : {POINT{kWidth / 2, kHeight / 2}, POINT{0, 0}, POINT{kWidth - 1, kHeight - 1}}) {
        SCOPED_TRACE(std::to_string(at.x) + ", " + std::to_string(at.y));
        const unsigned encodes = mCache.Encodes();
        SetOnePixel(capture.get(), at.x, at.y, RGB(at.x % 256, 255, at.y % 256));
        ASSERT_EQ(Save(L"after.jpg", FakeMonitor(0x10001), capture.get()), S_OK);
        EXPECT_EQ(mCache.Encodes(), encodes + 1);
        EXPECT_EQ(mCache.Reuses(), 0u);
        EXPECT_TRUE(Bytes(L"after.jpg") == PictureReference::EncodeOnCanvas(capture.get(), kWidth, kHeight));
    }
    EXPECT_FALSE(Bytes(L"after.jpg") == Bytes(L"before.jpg"));
    // The changed picture is the one remembered now.
    ASSERT_EQ(Save(L"again.jpg", FakeMonitor(0x10001), capture.get()), S_OK);
    EXPECT_EQ(mCache.Reuses(), 1u);
    EXPECT_TRUE(Bytes(L"again.jpg") == Bytes(L"after.jpg"));
}

TEST_F(MonitorPictures, MonitorsAndSizesAreKeptApart)
{
    const BitmapHolder capture(PictureReference::MakeBusyBitmap(kWidth, kHeight, 3));
    ASSERT_EQ(Save(L"a.jpg", FakeMonitor(0x10001), capture.get()), S_OK);
    ASSERT_EQ(Save(L"b.jpg", FakeMonitor(0x10002), capture.get()), S_OK);
    EXPECT_EQ(mCache.Encodes(), 2u);
    ASSERT_EQ(Save(L"a2.jpg", FakeMonitor(0x10001), capture.get()), S_OK);
    ASSERT_EQ(Save(L"b2.jpg", FakeMonitor(0x10002), capture.get()), S_OK);
    EXPECT_EQ(mCache.Reuses(), 2u);

    // The same bytes in rows of half the length: another picture.
    const BitmapHolder halfRows(PictureReference::MakeScreenBitmap(kWidth / 2, kHeight * 2, [](int x, int y) {
        const int index = y * (kWidth / 2) + x;
        return PictureReference::BusyColour(index % kWidth, index / kWidth, 3);
    }));
    ASSERT_EQ(Save(L"halfRows.jpg", FakeMonitor(0x10001), halfRows.get(), SIZE{kWidth / 2, kHeight * 2}), S_OK);
    EXPECT_EQ(mCache.Encodes(), 3u);
    EXPECT_TRUE(Bytes(L"halfRows.jpg") == PictureReference::EncodeOnCanvas(halfRows.get(), kWidth / 2, kHeight * 2));

    // One monitor more than kept: the oldest is forgotten and encoded anew.
    mCache.Clear();
    for (ULONG_PTR monitor = 1; monitor <= MonitorPictureCache::kMaxMonitors + 1; ++monitor) {
        ASSERT_EQ(Save(L"m.jpg", FakeMonitor(0x20000 + monitor), capture.get()), S_OK);
    }
    const unsigned encodes = mCache.Encodes();
    ASSERT_EQ(Save(L"m.jpg", FakeMonitor(0x20000 + MonitorPictureCache::kMaxMonitors + 1), capture.get()), S_OK);
    EXPECT_EQ(mCache.Encodes(), encodes);
    ASSERT_EQ(Save(L"m.jpg", FakeMonitor(0x20001), capture.get()), S_OK);
    EXPECT_EQ(mCache.Encodes(), encodes + 1);
}

TEST_F(MonitorPictures, FailedEncodeLeavesTheLastGoodPictureAndNothingElse)
{
    const BitmapHolder good(PictureReference::MakeBusyBitmap(kWidth, kHeight, 4));
    const BitmapHolder other(PictureReference::MakeBusyBitmap(kWidth, kHeight, 5));
    ASSERT_EQ(Save(L"good.jpg", FakeMonitor(0x10001), good.get()), S_OK);
    {
        TestSupport::ImportPatch<decltype(&Gdiplus::DllExports::GdipSaveImageToStream)> patch(
            __imp_GdipSaveImageToStream, &FailingSave);
        TestSupport::DebugLineCapture capture;
        EXPECT_EQ(Save(L"other.jpg", FakeMonitor(0x10001), other.get()), E_UNEXPECTED);
        EXPECT_EQ(capture.CountContaining("]:Save return:7.\r\n"), 1u);
        // A monitor seen for the first time gets no entry from a failed encode.
        EXPECT_EQ(Save(L"new.jpg", FakeMonitor(0x10009), other.get()), E_UNEXPECTED);
    }
    EXPECT_EQ(::GetFileAttributesW((mRoot + L"\\other.jpg").c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_EQ(Save(L"new.jpg", FakeMonitor(0x10009), other.get()), S_OK);
    ASSERT_EQ(Save(L"good2.jpg", FakeMonitor(0x10001), good.get()), S_OK);
    EXPECT_EQ(mCache.Reuses(), 1u);
    EXPECT_TRUE(Bytes(L"good2.jpg") == Bytes(L"good.jpg"));
    EXPECT_TRUE(Bytes(L"new.jpg") == PictureReference::EncodeOnCanvas(other.get(), kWidth, kHeight));
}

TEST_F(MonitorPictures, ReusedBytesThatCannotBeWrittenFailWithTheLinesOfAFreshEncode)
{
    const BitmapHolder capture(PictureReference::MakeBusyBitmap(kWidth, kHeight, 6));
    std::vector<std::string> fresh;
    std::vector<std::string> reused;
    {
        TestSupport::DebugLineCapture lines;
        EXPECT_EQ(
            mCache.SaveCaptureToJpegFile(L"NoFolder.jpg", FakeMonitor(0x10001), capture.get(), SIZE{kWidth, kHeight}),
            E_INVALIDARG);
        fresh = lines.Lines();
    }
    {
        TestSupport::DebugLineCapture lines;
        EXPECT_EQ(
            mCache.SaveCaptureToJpegFile(L"NoFolder.jpg", FakeMonitor(0x10001), capture.get(), SIZE{kWidth, kHeight}),
            E_INVALIDARG);
        reused = lines.Lines();
    }
    EXPECT_EQ(mCache.Reuses(), 1u);
    ASSERT_FALSE(fresh.empty());
    EXPECT_NE(fresh.back().find("]:WriteToFile$Static(NoFolder.jpg) return:0x80070057.\r\n"), std::string::npos);
    ASSERT_EQ(reused.size(), fresh.size());
    for (size_t index = 0; index < fresh.size(); ++index) {
        EXPECT_EQ(WithoutTime(reused[index]), WithoutTime(fresh[index]));
    }
}

// The real monitor: a still desktop gives the same file without encoding; a window opened between
// two shots gives a fresh picture that shows it.
TEST_F(MonitorPictures, RealMonitorIsEncodedOnlyWhenItsPixelsChange)
{
    const HMONITOR monitor = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    auto shoot = [&](const std::wstring& name, std::vector<unsigned char>* fresh) {
        BitmapHolder bitmap;
        TalvexBasic::Drawings::MemoryDcHolder dc;
        SIZE size{};
        ASSERT_EQ(TalvexBasic::Drawings::Screenshot::CaptureDisplayMonitorToBitmap$Static(bitmap.put(), dc.put(),
                                                                                          monitor, &size),
                  S_OK);
        ASSERT_EQ(mCache.SaveCaptureToJpegFile(mRoot + L"\\" + name, monitor, bitmap.get(), size), S_OK);
        *fresh = PictureReference::EncodeOnCanvas(bitmap.get(), size.cx, size.cy);
    };
    std::vector<unsigned char> fresh;
    shoot(L"still1.jpg", &fresh);
    shoot(L"still2.jpg", &fresh);
    EXPECT_EQ(mCache.Reuses(), 1u);
    EXPECT_TRUE(Bytes(L"still2.jpg") == fresh);

    TestSupport::FixtureWindows windows;
    TestSupport::FixtureWindowSpec layout;
    layout.rect = RECT{300, 200, 500, 330};
    layout.caption = L"Changes the monitor";
    layout.className = L"MonitorPictureChange";
    layout.fill = RGB(20, 210, 90);
    const TestSupport::FixtureWindow window = windows.Open(layout);
    ASSERT_TRUE(window) << window.failure;
    shoot(L"changed.jpg", &fresh);
    EXPECT_EQ(mCache.Encodes(), 2u);
    EXPECT_TRUE(Bytes(L"changed.jpg") == fresh);
    TestSupport::DecodedImage picture;
    std::string reason;
    ASSERT_TRUE(TestSupport::DecodeJpegFile(mRoot + L"\\changed.jpg", picture, reason)) << reason;
    EXPECT_TRUE(TestSupport::IsNear(picture.MeanAround(400, 265, 3), 20, 210, 90))
        << TestSupport::Describe(picture.MeanAround(400, 265, 3));
}

// The tool's own monitor step: two shots of one window on a still desktop write the same monitor
// picture, the second from the bytes of the first.
TEST(MonitorPictureStep, StillDesktopGivesTheSameMonitorPictureTwice)
{
    TestSupport::GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.Started());
    TestSupport::FixtureWindows windows;
    TestSupport::FixtureWindowSpec layout;
    layout.rect = RECT{100, 500, 260, 600};
    layout.caption = L"Shot twice";
    layout.className = L"MonitorPictureStep";
    layout.fill = RGB(230, 120, 20);
    const TestSupport::FixtureWindow window = windows.Open(layout);
    ASSERT_TRUE(window) << window.failure;
    Morvane::WindowInfo record;
    ASSERT_EQ(record.SampleInitialize(window.handle), S_OK);
    record.mCaption = layout.caption;
    record.mClassName = layout.className;

    const std::wstring saved = gOutputDirectory;
    const std::wstring first = TestSupport::MakeScratchDirectory(L"StepOne");
    const std::wstring second = TestSupport::MakeScratchDirectory(L"StepTwo");
    MonitorPictureCache& cache = MonitorPictureCache::OfThisProcess();
    cache.Clear();
    gOutputDirectory = first;
    EXPECT_EQ(Morvane::SaveWindowShot(record), S_OK);
    gOutputDirectory = second;
    const unsigned reuses = cache.Reuses();
    EXPECT_EQ(Morvane::SaveWindowShot(record), S_OK);
    gOutputDirectory = saved;
    EXPECT_EQ(cache.Reuses(), reuses + 1);

    const std::vector<std::wstring> firstFolders = [&] {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW entry{};
        HANDLE search = ::FindFirstFileW((first + L"\\WindowShot\\*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (entry.cFileName[0] != L'.') {
                    names.push_back(entry.cFileName);
                }
            } while (::FindNextFileW(search, &entry));
            ::FindClose(search);
        }
        return names;
    }();
    ASSERT_EQ(firstFolders.size(), 1u);
    const std::wstring name = L"\\WindowShot\\" + firstFolders[0] + L"\\Morvane.DisplayMonitor.jpg";
    const std::vector<unsigned char> one = FileBytes(first + name);
    EXPECT_GT(one.size(), 1000u);
    EXPECT_TRUE(FileBytes(second + name) == one);
    TestSupport::DecodedImage picture;
    std::string reason;
    ASSERT_TRUE(TestSupport::DecodeJpegFile(second + name, picture, reason)) << reason;
    EXPECT_TRUE(TestSupport::IsNear(picture.MeanAround(180, 550, 3), 230, 120, 20));
    cache.Clear();
    TestSupport::RemoveTree(first);
    TestSupport::RemoveTree(second);
}
