#include "capture/MonitorPictureCache.h"

#include "capture/OutputFileNames.h"

#include "capture/WindowInfo.h"
#include "capture/WindowShot.h"
#include "support/PictureReference.h"
#include "drawings/GdiHolders.h"
#include "support/DebugLineCapture.h"
#include "support/FileIdentity.h"
#include "support/FixtureWindows.h"
#include "support/ImportPatch.h"
#include "support/JpegReader.h"
#include "support/TestPaths.h"
#include "support/TestText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

extern "C" decltype(&Gdiplus::DllExports::GdipSaveImageToStream) __imp_GdipSaveImageToStream;
TEST_SUPPORT_IMPORT_SLOT(CreateHardLinkW);

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
    TestSupport::FileIdentity Identity(const std::wstring& name) const
    {
        return TestSupport::IdentifyFile(mRoot + L"\\" + name);
    }

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

    // Stored once: the second file is a further name of the first.
    EXPECT_EQ(mCache.Links(), 1u);
    EXPECT_TRUE(Identity(L"second.jpg").SameFileAs(Identity(L"first.jpg")));
    EXPECT_EQ(Identity(L"first.jpg").links, 2u);
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

// The link fails the ways the platform will not fail here on demand: the names on two volumes,
// and a file with all the names NTFS allows.
DWORD sLinkError = ERROR_SUCCESS;
BOOL WINAPI FailingCreateHardLink(LPCWSTR, LPCWSTR, LPSECURITY_ATTRIBUTES)
{
    ::SetLastError(sLinkError);
    return FALSE;
}

TEST_F(MonitorPictures, FailedLinkWritesACopyThatLaterFilesLinkTo)
{
    const BitmapHolder capture(PictureReference::MakeBusyBitmap(kWidth, kHeight, 7));
    ASSERT_EQ(Save(L"first.jpg", FakeMonitor(0x10001), capture.get()), S_OK);
    const std::vector<unsigned char> first = Bytes(L"first.jpg");
    ASSERT_FALSE(first.empty());
    struct Case {
        DWORD error;
        const char* line;
    };
    const Case cases[] = {
        {ERROR_NOT_SAME_DEVICE, "return:0x80070011, a copy is written.\r\n"},
        {ERROR_TOO_MANY_LINKS, "return:0x80070476, a copy is written.\r\n"},
    };
    for (const Case& one : cases) {
        SCOPED_TRACE(one.error);
        const std::wstring copy = L"copy" + std::to_wstring(one.error) + L".jpg";
        const std::wstring linked = L"linked" + std::to_wstring(one.error) + L".jpg";
        const unsigned links = mCache.Links();
        {
            sLinkError = one.error;
            TestSupport::ImportPatch<decltype(&::CreateHardLinkW)> patch(__imp_CreateHardLinkW, &FailingCreateHardLink);
            TestSupport::DebugLineCapture lines;
            EXPECT_EQ(Save(copy, FakeMonitor(0x10001), capture.get()), S_OK);
            EXPECT_EQ(
                lines.CountContaining("]:LinkToFile$Static(" + TestSupport::Narrow(mRoot + L"\\" + copy) + ") " + one.line),
                1u);
        }
        EXPECT_EQ(mCache.Links(), links);
        EXPECT_TRUE(Bytes(copy) == first);
        EXPECT_FALSE(Identity(copy).SameFileAs(Identity(L"first.jpg")));
        EXPECT_EQ(Identity(copy).links, 1u);

        // The copy is the file that the next ones link to.
        ASSERT_EQ(Save(linked, FakeMonitor(0x10001), capture.get()), S_OK);
        EXPECT_EQ(mCache.Links(), links + 1);
        EXPECT_TRUE(Identity(linked).SameFileAs(Identity(copy)));
    }
    EXPECT_EQ(mCache.Encodes(), 1u);
}

TEST_F(MonitorPictures, FileGoneOrPixelsChangedIsNotLinkedTo)
{
    const BitmapHolder capture(PictureReference::MakeBusyBitmap(kWidth, kHeight, 8));
    ASSERT_EQ(Save(L"gone.jpg", FakeMonitor(0x10001), capture.get()), S_OK);
    const std::vector<unsigned char> before = Bytes(L"gone.jpg");
    ASSERT_TRUE(::DeleteFileW((mRoot + L"\\gone.jpg").c_str()));
    // The platform's own failure: nothing to link to, so the bytes are written again.
    {
        TestSupport::DebugLineCapture lines;
        ASSERT_EQ(Save(L"again.jpg", FakeMonitor(0x10001), capture.get()), S_OK);
        EXPECT_EQ(lines.CountContaining(", a copy is written.\r\n"), 1u);
    }
    EXPECT_EQ(mCache.Links(), 0u);
    EXPECT_TRUE(Bytes(L"again.jpg") == before);
    ASSERT_EQ(Save(L"linked.jpg", FakeMonitor(0x10001), capture.get()), S_OK);
    EXPECT_TRUE(Identity(L"linked.jpg").SameFileAs(Identity(L"again.jpg")));

    // New pixels make a file of their own, and the names of the old picture keep its bytes.
    SetOnePixel(capture.get(), 5, 5, RGB(0, 255, 0));
    ASSERT_EQ(Save(L"changed.jpg", FakeMonitor(0x10001), capture.get()), S_OK);
    EXPECT_EQ(Identity(L"changed.jpg").links, 1u);
    EXPECT_FALSE(Bytes(L"changed.jpg") == before);
    EXPECT_TRUE(Bytes(L"linked.jpg") == before);
    ASSERT_EQ(Save(L"changedAgain.jpg", FakeMonitor(0x10001), capture.get()), S_OK);
    EXPECT_TRUE(Identity(L"changedAgain.jpg").SameFileAs(Identity(L"changed.jpg")));
    EXPECT_EQ(Identity(L"again.jpg").links, 2u);
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

// The tool's own monitor step on the real monitor: two shots of one window on a still desktop
// write the same picture, the second from the bytes of the first; a window opened before a third
// shot makes a fresh picture that shows it.
TEST(MonitorPictureStep, RealMonitorIsEncodedOnlyWhenItsPixelsChange)
{
    TestSupport::GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.Started());
    TestSupport::FixtureWindows windows;
    TestSupport::FixtureWindowSpec layout;
    layout.rect = RECT{100, 500, 260, 600};
    layout.caption = L"Shot thrice";
    layout.className = L"MonitorPictureStep";
    layout.fill = RGB(230, 120, 20);
    const TestSupport::FixtureWindow window = windows.Open(layout);
    ASSERT_TRUE(window) << window.failure;
    Morvane::WindowInfo record;
    ASSERT_EQ(record.SampleInitialize(window.handle), S_OK);
    record.mCaption = layout.caption;
    record.mClassName = layout.className;

    Morvane::CaptureContext context;
    const MonitorPictureCache& cache = context.monitorPictures;
    std::vector<std::wstring> pictures;
    auto shoot = [&] {
        context.outputDirectory = TestSupport::MakeScratchDirectory(L"MonitorStep");
        EXPECT_EQ(Morvane::SaveWindowShot(context, record), S_OK);
        const std::vector<std::wstring> folders = TestSupport::NamesIn(context.outputDirectory + L"\\WindowShot");
        ASSERT_EQ(folders.size(), 1u);
        pictures.push_back(context.outputDirectory + L"\\WindowShot\\" + folders.front() + L"\\" +
                           Morvane::kMonitorPictureFileName);
    };
    shoot();
    shoot();
    EXPECT_EQ(cache.Reuses(), 1u);
    layout.rect = RECT{400, 520, 560, 620};
    layout.fill = RGB(20, 210, 90);
    layout.className = L"MonitorPictureChange";
    ASSERT_TRUE(windows.Open(layout));
    shoot();
    EXPECT_EQ(cache.Encodes(), 2u);

    ASSERT_EQ(pictures.size(), 3u);
    const std::vector<unsigned char> first = FileBytes(pictures[0]);
    EXPECT_GT(first.size(), 1000u);
    EXPECT_TRUE(FileBytes(pictures[1]) == first);
    EXPECT_FALSE(FileBytes(pictures[2]) == first);
    for (size_t index = 0; index < pictures.size(); ++index) {
        SCOPED_TRACE(index);
        TestSupport::DecodedImage picture;
        std::string reason;
        ASSERT_TRUE(TestSupport::DecodeJpegFile(pictures[index], picture, reason)) << reason;
        EXPECT_TRUE(TestSupport::IsNear(picture.MeanAround(180, 550, 3), 230, 120, 20));
        EXPECT_EQ(TestSupport::IsNear(picture.MeanAround(480, 570, 3), 20, 210, 90), index == 2);
        TestSupport::RemoveTree(pictures[index].substr(0, pictures[index].find(L"\\WindowShot\\")));
    }
}
