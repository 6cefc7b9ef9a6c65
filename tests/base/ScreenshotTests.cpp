#include "support/DebugLineCapture.h"
#include "drawings/GdiHolders.h"
#include "drawings/Screenshot.h"
#include "support/FixtureWindows.h"
#include "support/ImportPatch.h"
#include "system/HResult.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

TEST_SUPPORT_IMPORT_SLOT(GetWindowDC);
TEST_SUPPORT_IMPORT_SLOT(ReleaseDC);
TEST_SUPPORT_IMPORT_SLOT(CreateCompatibleDC);
TEST_SUPPORT_IMPORT_SLOT(DeleteDC);
TEST_SUPPORT_IMPORT_SLOT(CreateCompatibleBitmap);
TEST_SUPPORT_IMPORT_SLOT(DeleteObject);
TEST_SUPPORT_IMPORT_SLOT(PrintWindow);
TEST_SUPPORT_IMPORT_SLOT(BitBlt);
TEST_SUPPORT_IMPORT_SLOT(GetDesktopWindow);

using TalvexBasic::Drawings::Screenshot;

namespace {

constexpr COLORREF kFill = RGB(200, 40, 160);
const HBITMAP kUntouchedBitmap = reinterpret_cast<HBITMAP>(static_cast<ULONG_PTR>(0x1111));
const HDC kUntouchedDc = reinterpret_cast<HDC>(static_cast<ULONG_PTR>(0x2222));

// Which injected step fails, and with which last error.
enum class FailingStep { None, GetWindowDc, CreateCompatibleDc, CreateCompatibleBitmap, PrintWindow, BitBlt };

// Counts the GDI objects that the capture makes and frees. Other threads (the fixture's painter)
// go through the same slots; only handles made through the tracked creators are followed.
class GdiTracker {
public:
    explicit GdiTracker(FailingStep failing = FailingStep::None, DWORD error = 0)
        : mGetWindowDc(__imp_GetWindowDC, &TrackGetWindowDC), mReleaseDc(__imp_ReleaseDC, &TrackReleaseDC),
          mCreateDc(__imp_CreateCompatibleDC, &TrackCreateCompatibleDC), mDeleteDc(__imp_DeleteDC, &TrackDeleteDC),
          mCreateBitmap(__imp_CreateCompatibleBitmap, &TrackCreateCompatibleBitmap),
          mDeleteObject(__imp_DeleteObject, &TrackDeleteObject), mPrintWindow(__imp_PrintWindow, &TrackPrintWindow),
          mBitBlt(__imp_BitBlt, &TrackBitBlt)
    {
        sActive = this;
        mFailing = failing;
        mError = error;
    }
    ~GdiTracker() { sActive = nullptr; }

    [[nodiscard]] size_t Outstanding() const
    {
        std::lock_guard<std::mutex> lock(mLock);
        return mWindowDcs.size() + mMemoryDcs.size() + mBitmaps.size();
    }
    [[nodiscard]] unsigned Made() const
    {
        std::lock_guard<std::mutex> lock(mLock);
        return mMade;
    }
    // A handle that the caller now owns, freed by the test itself.
    void Forget(HBITMAP bitmap, HDC dc)
    {
        std::lock_guard<std::mutex> lock(mLock);
        mBitmaps.erase(bitmap);
        mMemoryDcs.erase(dc);
    }
    bool mPrintWindowCalled = false;
    UINT mPrintFlags = 0xFFFFFFFFu;
    bool mBitBltCalled = false;
    // The raster operation of every BitBlt made through the slot.
    std::vector<DWORD> mBitBltOperations;

private:
    static bool Fails(FailingStep step)
    {
        if (sActive->mFailing != step) {
            return false;
        }
        ::SetLastError(sActive->mError);
        return true;
    }
    void Add(std::set<void*>& set, void* handle)
    {
        std::lock_guard<std::mutex> lock(mLock);
        set.insert(handle);
        ++mMade;
    }
    void Remove(std::set<void*>& set, void* handle)
    {
        std::lock_guard<std::mutex> lock(mLock);
        set.erase(handle);
    }

    static HDC WINAPI TrackGetWindowDC(HWND window)
    {
        if (Fails(FailingStep::GetWindowDc)) {
            return nullptr;
        }
        HDC dc = sActive->mGetWindowDc.Original()(window);
        if (dc != nullptr) {
            sActive->Add(sActive->mWindowDcs, dc);
        }
        return dc;
    }
    static int WINAPI TrackReleaseDC(HWND window, HDC dc)
    {
        sActive->Remove(sActive->mWindowDcs, dc);
        return sActive->mReleaseDc.Original()(window, dc);
    }
    static HDC WINAPI TrackCreateCompatibleDC(HDC dc)
    {
        if (Fails(FailingStep::CreateCompatibleDc)) {
            return nullptr;
        }
        HDC made = sActive->mCreateDc.Original()(dc);
        if (made != nullptr) {
            sActive->Add(sActive->mMemoryDcs, made);
        }
        return made;
    }
    static BOOL WINAPI TrackDeleteDC(HDC dc)
    {
        const BOOL deleted = sActive->mDeleteDc.Original()(dc);
        if (deleted) {
            sActive->Remove(sActive->mMemoryDcs, dc);
        }
        return deleted;
    }
    static HBITMAP WINAPI TrackCreateCompatibleBitmap(HDC dc, int width, int height)
    {
        if (Fails(FailingStep::CreateCompatibleBitmap)) {
            return nullptr;
        }
        HBITMAP made = sActive->mCreateBitmap.Original()(dc, width, height);
        if (made != nullptr) {
            sActive->Add(sActive->mBitmaps, made);
        }
        return made;
    }
    static BOOL WINAPI TrackDeleteObject(HGDIOBJ object)
    {
        const BOOL deleted = sActive->mDeleteObject.Original()(object);
        if (deleted) {
            sActive->Remove(sActive->mBitmaps, object);
        }
        return deleted;
    }
    static BOOL WINAPI TrackPrintWindow(HWND window, HDC dc, UINT flags)
    {
        sActive->mPrintWindowCalled = true;
        sActive->mPrintFlags = flags;
        if (Fails(FailingStep::PrintWindow)) {
            return FALSE;
        }
        return sActive->mPrintWindow.Original()(window, dc, flags);
    }
    static BOOL WINAPI TrackBitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX,
                                   int sourceY, DWORD operation)
    {
        sActive->mBitBltCalled = true;
        {
            // Only into a capture's own memory DC: the fixture's painter goes through the slot too.
            std::lock_guard<std::mutex> lock(sActive->mLock);
            if (sActive->mMemoryDcs.count(target) != 0) {
                sActive->mBitBltOperations.push_back(operation);
            }
        }
        if (Fails(FailingStep::BitBlt)) {
            return FALSE;
        }
        return sActive->mBitBlt.Original()(target, x, y, width, height, source, sourceX, sourceY, operation);
    }

    static inline GdiTracker* sActive = nullptr;
    mutable std::mutex mLock;
    std::set<void*> mWindowDcs;
    std::set<void*> mMemoryDcs;
    std::set<void*> mBitmaps;
    unsigned mMade = 0;
    FailingStep mFailing = FailingStep::None;
    DWORD mError = 0;
    TestSupport::ImportPatch<decltype(&::GetWindowDC)> mGetWindowDc;
    TestSupport::ImportPatch<decltype(&::ReleaseDC)> mReleaseDc;
    TestSupport::ImportPatch<decltype(&::CreateCompatibleDC)> mCreateDc;
    TestSupport::ImportPatch<decltype(&::DeleteDC)> mDeleteDc;
    TestSupport::ImportPatch<decltype(&::CreateCompatibleBitmap)> mCreateBitmap;
    TestSupport::ImportPatch<decltype(&::DeleteObject)> mDeleteObject;
    TestSupport::ImportPatch<decltype(&::PrintWindow)> mPrintWindow;
    TestSupport::ImportPatch<decltype(&::BitBlt)> mBitBlt;
};

// A capture's outputs, preset so that a call that must not touch them can be seen to.
struct CaptureOutputs {
    HBITMAP bitmap = kUntouchedBitmap;
    HDC dc = kUntouchedDc;
    SIZE size{-7, -9};

    [[nodiscard]] bool Untouched() const
    {
        return bitmap == kUntouchedBitmap && dc == kUntouchedDc && size.cx == -7 && size.cy == -9;
    }
};

// Frees a successful capture: the DC first, so the bitmap is no longer selected.
class CaptureOwner {
public:
    explicit CaptureOwner(const CaptureOutputs& outputs) : mBitmap(outputs.bitmap), mDc(outputs.dc) {}

private:
    TalvexBasic::Drawings::BitmapHolder mBitmap;
    TalvexBasic::Drawings::MemoryDcHolder mDc;
};

bool ColourIs(COLORREF found, COLORREF expected, int tolerance = 8)
{
    return std::abs(int(GetRValue(found)) - int(GetRValue(expected))) <= tolerance &&
           std::abs(int(GetGValue(found)) - int(GetGValue(expected))) <= tolerance &&
           std::abs(int(GetBValue(found)) - int(GetBValue(expected))) <= tolerance;
}

std::string Hex(COLORREF colour)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%06lX", static_cast<unsigned long>(colour));
    return text;
}

class ScreenCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestSupport::FixtureWindowSpec layout;
        layout.rect = RECT{300, 200, 540, 380};
        layout.caption = L"Capture target";
        layout.className = L"ScreenCaptureTarget";
        layout.fill = kFill;
        mWindow = mWindows.Open(layout);
        ASSERT_TRUE(mWindow) << mWindow.failure;
    }

    TestSupport::FixtureWindows mWindows;
    TestSupport::FixtureWindow mWindow;
};

} // namespace

TEST_F(ScreenCapture, WindowModePaintsTheWholeWindowAtItsSize)
{
    GdiTracker tracker;
    CaptureOutputs outputs;
    ASSERT_EQ(Screenshot::CaptureToBitmap$Static(&outputs.bitmap, &outputs.dc, mWindow.handle, nullptr, &outputs.size),
              S_OK);
    EXPECT_EQ(outputs.size.cx, 240);
    EXPECT_EQ(outputs.size.cy, 180);
    EXPECT_TRUE(tracker.mPrintWindowCalled);
    EXPECT_FALSE(tracker.mBitBltCalled);
    // The bitmap comes back selected into the memory DC.
    EXPECT_EQ(::GetCurrentObject(outputs.dc, OBJ_BITMAP), outputs.bitmap);
    for (const POINT point : {POINT{0, 0}, POINT{120, 90}, POINT{239, 179}}) {
        const COLORREF found = ::GetPixel(outputs.dc, point.x, point.y);
        EXPECT_TRUE(ColourIs(found, kFill)) << "(" << point.x << ", " << point.y << ") " << Hex(found);
    }
    // Only the window DC is given back inside; the caller owns the other two.
    EXPECT_EQ(tracker.Outstanding(), 2u);
    {
        CaptureOwner owner(outputs);
    }
    EXPECT_EQ(tracker.Outstanding(), 0u) << "the bitmap stayed selected or the DC was not freed";
}

TEST_F(ScreenCapture, RectangleModeCopiesThatPartOfTheWindowDcWithoutASizeOutput)
{
    GdiTracker tracker;
    const RECT part{10, 20, 50, 50};
    HBITMAP bitmap = nullptr;
    HDC dc = nullptr;
    ASSERT_EQ(Screenshot::CaptureToBitmap$Static(&bitmap, &dc, mWindow.handle, &part, nullptr), S_OK);
    CaptureOutputs outputs;
    outputs.bitmap = bitmap;
    outputs.dc = dc;
    CaptureOwner owner(outputs);
    EXPECT_TRUE(tracker.mBitBltCalled);
    EXPECT_FALSE(tracker.mPrintWindowCalled);
    BITMAP facts{};
    ASSERT_EQ(::GetObjectW(bitmap, sizeof(facts), &facts), int(sizeof(facts)));
    EXPECT_EQ(facts.bmWidth, 40);
    EXPECT_EQ(facts.bmHeight, 30);
    // The screen's colour format, not the one bit of a fresh memory DC.
    EXPECT_GE(facts.bmBitsPixel, 24);
}

TEST_F(ScreenCapture, ZeroWidthRectangleIsNotRejectedHere)
{
    const RECT empty{10, 10, 10, 60};
    CaptureOutputs outputs;
    ASSERT_EQ(Screenshot::CaptureToBitmap$Static(&outputs.bitmap, &outputs.dc, mWindow.handle, &empty, &outputs.size),
              S_OK);
    CaptureOwner owner(outputs);
    EXPECT_EQ(outputs.size.cx, 0);
    EXPECT_EQ(outputs.size.cy, 50);
}

TEST_F(ScreenCapture, MonitorCaptureShowsTheWindowAtItsPlace)
{
    const HMONITOR monitor = ::MonitorFromWindow(mWindow.handle, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(::GetMonitorInfoW(monitor, &info));
    COLORREF found = CLR_INVALID;
    // The X server shows the window's pixels a moment after it was painted.
    for (int attempt = 0; attempt < 40; ++attempt) {
        CaptureOutputs outputs;
        ASSERT_EQ(
            Screenshot::CaptureDisplayMonitorToBitmap$Static(&outputs.bitmap, &outputs.dc, monitor, &outputs.size),
            S_OK);
        CaptureOwner owner(outputs);
        EXPECT_EQ(outputs.size.cx, info.rcMonitor.right - info.rcMonitor.left);
        EXPECT_EQ(outputs.size.cy, info.rcMonitor.bottom - info.rcMonitor.top);
        found = ::GetPixel(outputs.dc, 420 - info.rcMonitor.left, 290 - info.rcMonitor.top);
        if (ColourIs(found, kFill)) {
            break;
        }
        ::Sleep(50);
    }
    EXPECT_TRUE(ColourIs(found, kFill)) << Hex(found);
}

TEST_F(ScreenCapture, WindowThatWentAwayFailsAtItsRectangle)
{
    const HWND gone = mWindow.handle;
    ASSERT_TRUE(mWindows.Close(gone));
    GdiTracker tracker;
    TestSupport::DebugLineCapture capture;
    CaptureOutputs outputs;
    EXPECT_EQ(Screenshot::CaptureToBitmap$Static(&outputs.bitmap, &outputs.dc, gone, nullptr, &outputs.size),
              HRESULT(0x80070578));
    EXPECT_TRUE(outputs.Untouched());
    EXPECT_EQ(tracker.Made(), 0u);
    EXPECT_EQ(capture.CountContaining("]:GetWindowRect failed, last error:1400.\r\n"), 1u);
}

TEST_F(ScreenCapture, EveryFailingStepFreesWhatWasMadeAndLeavesTheOutputsAlone)
{
    const RECT corner{0, 0, 20, 20};
    const struct {
        FailingStep step;
        DWORD error;
        const RECT* rectangle;
        HRESULT expected;
        const char* line;
    } cases[] = {
        {FailingStep::GetWindowDc, ERROR_INVALID_WINDOW_HANDLE, nullptr, HRESULT(0x80070578),
         "]:GetWindowDC failed, last error:1400.\r\n"},
        {FailingStep::CreateCompatibleDc, ERROR_NOT_ENOUGH_MEMORY, nullptr, HRESULT(0x80070008),
         "]:CreateCompatibleDC failed, last error:8.\r\n"},
        {FailingStep::CreateCompatibleBitmap, ERROR_NOT_ENOUGH_MEMORY, nullptr, HRESULT(0x80070008),
         "failed, last error:8.\r\n"},
        // A last error of 0 must not turn the failure into success.
        {FailingStep::PrintWindow, 0, nullptr, E_UNEXPECTED, "]:PrintWindow failed, last error:0.\r\n"},
        {FailingStep::BitBlt, ERROR_INVALID_HANDLE, &corner, HRESULT(0x80070006), "]:BitBlt failed, last error:6.\r\n"},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(one.line);
        GdiTracker tracker(one.step, one.error);
        TestSupport::DebugLineCapture capture;
        CaptureOutputs outputs;
        EXPECT_EQ(Screenshot::CaptureToBitmap$Static(&outputs.bitmap, &outputs.dc, mWindow.handle, one.rectangle,
                                                     &outputs.size),
                  one.expected);
        EXPECT_TRUE(outputs.Untouched());
        EXPECT_EQ(tracker.Outstanding(), 0u);
        EXPECT_EQ(capture.CountContaining(" TalvexBasic::Drawings::Screenshot::CaptureToBitmap$Static,"), 1u);
        EXPECT_EQ(capture.CountContaining(one.line), 1u);
        if (one.step == FailingStep::PrintWindow) {
            EXPECT_FALSE(tracker.mBitBltCalled) << "no fallback to BitBlt";
        }
    }
}

TEST_F(ScreenCapture, HungWindowFailsWithTimeoutInsteadOfBlocking)
{
    TestSupport::FixtureWindowSpec layout;
    layout.rect = RECT{600, 200, 700, 300};
    layout.caption = L"Hung";
    layout.className = L"ScreenCaptureHung";
    layout.fill = RGB(10, 120, 10);
    const TestSupport::FixtureWindow hung = mWindows.OpenHung(layout);
    ASSERT_TRUE(hung) << hung.failure;

    GdiTracker tracker;
    TestSupport::DebugLineCapture capture;
    CaptureOutputs outputs;
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(Screenshot::CaptureToBitmap$Static(&outputs.bitmap, &outputs.dc, hung.handle, nullptr, &outputs.size),
              HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_LT(elapsed, 10000u);
    EXPECT_TRUE(outputs.Untouched());
    EXPECT_FALSE(tracker.mPrintWindowCalled);
    EXPECT_EQ(tracker.Outstanding(), 0u);
    char handle[24];
    std::snprintf(handle, sizeof(handle), "0x%016llX", TalvexBasic::PointerBits(hung.handle));
    EXPECT_EQ(capture.CountContaining(handle), 1u);
    EXPECT_EQ(capture.CountContaining("last error:1460.\r\n"), 1u);
}

TEST_F(ScreenCapture, FlagsReachPrintWindowAndTheWindowStillPaintsItself)
{
    GdiTracker tracker;
    CaptureOutputs outputs;
    ASSERT_EQ(Screenshot::CaptureWindowWithFlagsToBitmap$Static(&outputs.bitmap, &outputs.dc, mWindow.handle,
                                                                PW_CLIENTONLY | 0x2, &outputs.size),
              S_OK);
    EXPECT_EQ(tracker.mPrintFlags, UINT(PW_CLIENTONLY | 0x2));
    EXPECT_FALSE(tracker.mBitBltCalled);
    EXPECT_EQ(outputs.size.cx, 240);
    EXPECT_EQ(outputs.size.cy, 180);
    const COLORREF found = ::GetPixel(outputs.dc, 120, 90);
    EXPECT_TRUE(ColourIs(found, kFill)) << Hex(found);
    EXPECT_EQ(tracker.Outstanding(), 2u);
    {
        CaptureOwner owner(outputs);
    }
    EXPECT_EQ(tracker.Outstanding(), 0u);
}

namespace {

// The X server shows a window's pixels a moment after it was painted: the screen capture is
// repeated until the probe's colour is there, or for two seconds at most.
struct ScreenPicture {
    CaptureOutputs outputs;
    HRESULT result = E_PENDING;
};

bool CaptureFromScreenUntil(HWND window, POINT probe, COLORREF expected, ScreenPicture& picture,
                            std::unique_ptr<CaptureOwner>& owner)
{
    for (int attempt = 0; attempt < 40; ++attempt) {
        owner.reset();
        picture = ScreenPicture{};
        picture.result = Screenshot::CaptureWindowFromScreenToBitmap$Static(
            &picture.outputs.bitmap, &picture.outputs.dc, window, &picture.outputs.size);
        if (FAILED(picture.result)) {
            return false;
        }
        owner = std::make_unique<CaptureOwner>(picture.outputs);
        if (ColourIs(::GetPixel(picture.outputs.dc, probe.x, probe.y), expected)) {
            return true;
        }
        ::Sleep(50);
    }
    return false;
}

} // namespace

TEST_F(ScreenCapture, ScreenPictureShowsTheWindowAtItsSizeAndBlackBeyondEveryMonitor)
{
    // Reaches 80 pixels beyond the right edge of the monitor it starts on.
    const HMONITOR monitor = ::MonitorFromWindow(mWindow.handle, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(::GetMonitorInfoW(monitor, &info));
    ASSERT_EQ(::GetSystemMetrics(SM_CMONITORS), 1) << "the black part needs a single monitor";
    const LONG edge = info.rcMonitor.right;
    TestSupport::FixtureWindowSpec layout;
    layout.rect = RECT{edge - 120, 500, edge + 80, 600};
    layout.caption = L"Beyond the edge";
    layout.className = L"ScreenCaptureBeyond";
    layout.fill = RGB(30, 200, 220);
    const TestSupport::FixtureWindow beyond = mWindows.Open(layout);
    ASSERT_TRUE(beyond) << beyond.failure;

    GdiTracker tracker;
    ScreenPicture picture;
    std::unique_ptr<CaptureOwner> owner;
    EXPECT_TRUE(CaptureFromScreenUntil(beyond.handle, POINT{60, 50}, layout.fill, picture, owner))
        << std::hex << picture.result;
    ASSERT_EQ(picture.result, S_OK);
    EXPECT_EQ(picture.outputs.size.cx, 200);
    EXPECT_EQ(picture.outputs.size.cy, 100);
    EXPECT_FALSE(tracker.mPrintWindowCalled);
    for (const POINT shown : {POINT{0, 0}, POINT{119, 99}}) {
        const COLORREF found = ::GetPixel(picture.outputs.dc, shown.x, shown.y);
        EXPECT_TRUE(ColourIs(found, layout.fill)) << "(" << shown.x << ", " << shown.y << ") " << Hex(found);
    }
    for (const POINT outside : {POINT{120, 0}, POINT{199, 99}, POINT{160, 50}}) {
        EXPECT_EQ(::GetPixel(picture.outputs.dc, outside.x, outside.y), RGB(0, 0, 0))
            << "(" << outside.x << ", " << outside.y << ")";
    }
    EXPECT_EQ(tracker.Outstanding(), 2u) << "only the desktop's DC is given back inside";
    owner.reset();
    EXPECT_EQ(tracker.Outstanding(), 0u);
}

TEST_F(ScreenCapture, ScreenPictureOfAHungWindowNeverAsksItsThread)
{
    TestSupport::FixtureWindowSpec layout;
    layout.rect = RECT{800, 500, 900, 600};
    layout.caption = L"Hung";
    layout.className = L"ScreenCaptureHungScreen";
    layout.fill = RGB(240, 150, 20);
    const TestSupport::FixtureWindow hung = mWindows.OpenHung(layout);
    ASSERT_TRUE(hung) << hung.failure;
    GdiTracker tracker;
    ScreenPicture picture;
    std::unique_ptr<CaptureOwner> owner;
    const DWORD start = ::GetTickCount();
    EXPECT_TRUE(CaptureFromScreenUntil(hung.handle, POINT{50, 50}, layout.fill, picture, owner))
        << std::hex << picture.result;
    // Asking the thread would have cost the whole answer time-out.
    EXPECT_LT(::GetTickCount() - start, Screenshot::kAnswerTimeoutMilliseconds);
    EXPECT_FALSE(tracker.mPrintWindowCalled);
}

TEST_F(ScreenCapture, FailedScreenPictureFreesWhatWasMadeAndLeavesTheOutputsAlone)
{
    {
        GdiTracker tracker(FailingStep::BitBlt, ERROR_INVALID_HANDLE);
        TestSupport::DebugLineCapture capture;
        CaptureOutputs outputs;
        EXPECT_EQ(Screenshot::CaptureWindowFromScreenToBitmap$Static(&outputs.bitmap, &outputs.dc, mWindow.handle,
                                                                     &outputs.size),
                  HRESULT(0x80070006));
        EXPECT_TRUE(outputs.Untouched());
        EXPECT_GT(tracker.Made(), 0u);
        EXPECT_EQ(tracker.Outstanding(), 0u);
        EXPECT_EQ(
            capture.CountContaining(" TalvexBasic::Drawings::Screenshot::CaptureWindowFromScreenToBitmap$Static,"), 1u);
        EXPECT_EQ(capture.CountContaining("]:BitBlt(300, 200, 540, 380) failed, last error:6.\r\n"), 1u);
    }
    const HWND gone = mWindow.handle;
    ASSERT_TRUE(mWindows.Close(gone));
    GdiTracker tracker;
    TestSupport::DebugLineCapture capture;
    CaptureOutputs outputs;
    EXPECT_EQ(Screenshot::CaptureWindowFromScreenToBitmap$Static(&outputs.bitmap, &outputs.dc, gone, &outputs.size),
              HRESULT(0x80070578));
    EXPECT_TRUE(outputs.Untouched());
    EXPECT_EQ(tracker.Made(), 0u);
    EXPECT_EQ(capture.CountContaining("]:GetWindowRect failed, last error:1400.\r\n"), 1u);
}

namespace {

bool gDesktopAsked = false;

HWND WINAPI RecordGetDesktopWindow()
{
    gDesktopAsked = true;
    return nullptr;
}

} // namespace

TEST(MonitorCapture, FailedMonitorLookupNeverReachesTheDesktop)
{
    gDesktopAsked = false;
    TestSupport::ImportPatch<decltype(&::GetDesktopWindow)> patch(__imp_GetDesktopWindow, &RecordGetDesktopWindow);
    TestSupport::DebugLineCapture capture;
    CaptureOutputs outputs;
    const HRESULT result = Screenshot::CaptureDisplayMonitorToBitmap$Static(
        &outputs.bitmap, &outputs.dc, reinterpret_cast<HMONITOR>(static_cast<ULONG_PTR>(0xBAD0)), &outputs.size);
    EXPECT_TRUE(FAILED(result)) << std::hex << result;
    EXPECT_TRUE(outputs.Untouched());
    EXPECT_FALSE(gDesktopAsked);
    EXPECT_EQ(capture.CountContaining(" TalvexBasic::Drawings::Screenshot::CaptureDisplayMonitorToBitmap$Static,"), 1u);
    EXPECT_EQ(capture.CountContaining("]:GetMonitorInfoW failed, last error:"), 1u);
}

// Every copy of the screen asks for layered windows too (translucent and shaped windows, many
// pop-ups among them), which a plain copy leaves out; the window mode still paints the window.
TEST_F(ScreenCapture, ScreenCopiesTakeLayeredWindowsAlong)
{
    const HMONITOR monitor = ::MonitorFromWindow(mWindow.handle, MONITOR_DEFAULTTONEAREST);
    const RECT part{10, 20, 50, 50};
    const RECT area{310, 210, 530, 370};
    const struct {
        const char* what;
        std::function<HRESULT(CaptureOutputs&)> capture;
    } cases[] = {
        {"a rectangle of a window's DC",
         [&](CaptureOutputs& outputs) {
             return Screenshot::CaptureToBitmap$Static(&outputs.bitmap, &outputs.dc, mWindow.handle, &part,
                                                       &outputs.size);
         }},
        {"a monitor",
         [&](CaptureOutputs& outputs) {
             return Screenshot::CaptureDisplayMonitorToBitmap$Static(&outputs.bitmap, &outputs.dc, monitor,
                                                                     &outputs.size);
         }},
        {"a window from the screen",
         [&](CaptureOutputs& outputs) {
             return Screenshot::CaptureWindowFromScreenToBitmap$Static(&outputs.bitmap, &outputs.dc, mWindow.handle,
                                                                       &outputs.size);
         }},
        {"an area of the screen",
         [&](CaptureOutputs& outputs) {
             return Screenshot::CaptureScreenAreaToBitmap$Static(&outputs.bitmap, &outputs.dc, area, &outputs.size);
         }},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(one.what);
        GdiTracker tracker;
        CaptureOutputs outputs;
        ASSERT_EQ(one.capture(outputs), S_OK);
        CaptureOwner owner(outputs);
        ASSERT_FALSE(tracker.mBitBltOperations.empty());
        for (const DWORD operation : tracker.mBitBltOperations) {
            EXPECT_EQ(operation, static_cast<DWORD>(SRCCOPY | CAPTUREBLT)) << std::hex << operation;
        }
        EXPECT_FALSE(tracker.mPrintWindowCalled);
    }
    GdiTracker tracker;
    CaptureOutputs outputs;
    ASSERT_EQ(Screenshot::CaptureToBitmap$Static(&outputs.bitmap, &outputs.dc, mWindow.handle, nullptr, &outputs.size),
              S_OK);
    CaptureOwner owner(outputs);
    EXPECT_TRUE(tracker.mPrintWindowCalled);
    EXPECT_TRUE(tracker.mBitBltOperations.empty());
}
