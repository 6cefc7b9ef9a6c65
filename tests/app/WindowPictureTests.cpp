// Where Morvane::SaveWindowShot takes a window picture from, in this process, where Wine's
// PrintWindow paints the window: a busy window is waited for, and a PrintWindow picture that is
// black or missing is replaced by the window's rectangle from the screen.

#include "capture/OutputFileNames.h"
#include "capture/WindowInfo.h"
#include "capture/WindowSample.h"
#include "capture/WindowShot.h"
#include "capture/WindowsAbove.h"
#include "record/RunRecorder.h"
#include "support/CompositorStandIn.h"
#include "support/DebugLineCapture.h"
#include "support/FixtureWindows.h"
#include "support/ImportPatch.h"
#include "support/JpegReader.h"
#include "support/TestPaths.h"
#include "system/HResult.h"
#include "system/UniqueResource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

TEST_SUPPORT_IMPORT_SLOT(PrintWindow);

namespace {

using TestSupport::FixtureWindow;
using TestSupport::FixtureWindowSpec;

constexpr wchar_t kBusyClass[] = L"WindowPictureBusy";

void FillClient(HWND window, HDC dc)
{
    RECT client{};
    ::GetClientRect(window, &client);
    const HBRUSH brush = ::CreateSolidBrush(static_cast<COLORREF>(::GetWindowLongPtrW(window, GWLP_USERDATA)));
    ::FillRect(dc, &client, brush);
    ::DeleteObject(brush);
}

LRESULT CALLBACK BusyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND || message == WM_PRINTCLIENT) {
        FillClient(window, reinterpret_cast<HDC>(wParam));
        return 1;
    }
    if (message == WM_PAINT) {
        PAINTSTRUCT paint{};
        FillClient(window, ::BeginPaint(window, &paint));
        ::EndPaint(window, &paint);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// A window on a thread of its own that pumps messages, except for one stretch in which the
// thread is busy and looks for no message at all.
class BusyWindow {
public:
    BusyWindow(const RECT& rect, COLORREF fill)
        : mBusy(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          mBusyNow(::CreateEventW(nullptr, FALSE, FALSE, nullptr))
    {
        HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        mThread = std::thread([this, rect, fill, ready] { Main(rect, fill, ready); });
        ::WaitForSingleObject(ready, 10000);
        ::CloseHandle(ready);
    }
    ~BusyWindow()
    {
        ::PostThreadMessageW(mThreadId, WM_QUIT, 0, 0);
        mThread.join();
    }
    BusyWindow(const BusyWindow&) = delete;
    BusyWindow& operator=(const BusyWindow&) = delete;

    [[nodiscard]] HWND Handle() const noexcept { return mWindow; }

    // Returns once the window's thread has stopped looking for messages, for that long.
    void BeBusyFor(DWORD milliseconds)
    {
        mBusyMilliseconds = milliseconds;
        ::SetEvent(mBusy.get());
        ::WaitForSingleObject(mBusyNow.get(), 10000);
    }

private:
    void Main(const RECT& rect, COLORREF fill, HANDLE ready)
    {
        MSG message{};
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        mThreadId = ::GetCurrentThreadId();
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = BusyWindowProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kBusyClass;
        ::RegisterClassExW(&windowClass);
        mWindow = ::CreateWindowExW(0, kBusyClass, L"Busy", WS_POPUP, rect.left, rect.top, rect.right - rect.left,
                                    rect.bottom - rect.top, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        if (mWindow != nullptr) {
            ::SetWindowLongPtrW(mWindow, GWLP_USERDATA, static_cast<LONG_PTR>(fill));
            ::ShowWindow(mWindow, SW_SHOWNOACTIVATE);
            ::UpdateWindow(mWindow);
        }
        ::SetEvent(ready);
        const HANDLE busy = mBusy.get();
        for (;;) {
            if (::MsgWaitForMultipleObjects(1, &busy, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0) {
                ::SetEvent(mBusyNow.get());
                ::Sleep(mBusyMilliseconds);
                continue;
            }
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) {
                    ::DestroyWindow(mWindow);
                    return;
                }
                ::DispatchMessageW(&message);
            }
        }
    }

    TalvexBasic::UniqueHandle mBusy;
    TalvexBasic::UniqueHandle mBusyNow;
    DWORD mBusyMilliseconds = 0;
    DWORD mThreadId = 0;
    HWND mWindow = nullptr;
    std::thread mThread;
};

// The window's folder of one SaveWindowShot call in a scratch output directory.
struct SavedShot {
    Morvane::WindowShotOutcome outcome;
    std::wstring windowPicture;
    TestSupport::DecodedImage picture;
    std::string decodeFailure;
};

// Samples the window as the run driver does, before anything may keep its thread from answering.
bool Sample(HWND window, Morvane::WindowInfo& record)
{
    if (record.SampleInitialize(window) != S_OK) {
        return false;
    }
    record.mCaption = L"Picture";
    record.mClassName = L"Picture";
    return true;
}

void Save(const Morvane::WindowInfo& record, SavedShot& shot)
{
    Morvane::CaptureContext context;
    context.outputDirectory = TestSupport::MakeScratchDirectory(L"Picture");
    static_cast<void>(Morvane::SaveWindowShot(context, record, &shot.outcome));
    const size_t slash = record.mProcessDosPath.find_last_of(L'\\');
    wchar_t numbers[80];
    std::swprintf(numbers, 80, L"]-0x%016llX-%lu-%lu\\", TalvexBasic::PointerBits(record.mWindowHandle),
                  static_cast<unsigned long>(record.mProcessId), static_cast<unsigned long>(record.mThreadId));
    shot.windowPicture = context.outputDirectory + L"\\WindowShot\\[" + record.mProcessDosPath.substr(slash + 1) + numbers +
                         Morvane::kWindowPictureFileName;
    if (!TestSupport::DecodeJpegFile(shot.windowPicture, shot.picture, shot.decodeFailure)) {
        shot.picture = TestSupport::DecodedImage{};
    }
    TestSupport::RemoveTree(context.outputDirectory);
}

::testing::AssertionResult ShowsColour(const TestSupport::DecodedImage& image, int x, int y, COLORREF colour)
{
    if (image.width == 0) {
        return ::testing::AssertionFailure() << "no picture";
    }
    const TestSupport::Rgb found = image.MeanAround(x, y, 4);
    if (TestSupport::IsNear(found, GetRValue(colour), GetGValue(colour), GetBValue(colour))) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "found " << TestSupport::Describe(found) << " at " << x << ", " << y;
}

// The X server shows a window's pixels a moment after it was painted.
bool ScreenShows(POINT point, COLORREF colour)
{
    for (int attempt = 0; attempt < 40; ++attempt) {
        const HDC screen = ::GetDC(nullptr);
        const COLORREF found = ::GetPixel(screen, point.x, point.y);
        ::ReleaseDC(nullptr, screen);
        if (found == colour) {
            return true;
        }
        ::Sleep(50);
    }
    return false;
}

std::string Handle(HWND window)
{
    char text[24];
    std::snprintf(text, sizeof(text), "0x%016llX", TalvexBasic::PointerBits(window));
    return text;
}

// The fallback line names the window and comes right before the step's own return line.
void ExpectFallbackLine(const TestSupport::DebugLineCapture& capture, HWND window, const std::string& text,
                        const char* result)
{
    const std::vector<std::string> lines = capture.Lines();
    const std::string expected = "]:Window picture of " + Handle(window) + " " + text + "\r\n";
    size_t found = lines.size();
    for (size_t index = 0; index < lines.size(); ++index) {
        if (lines[index].find(expected) != std::string::npos) {
            EXPECT_EQ(found, lines.size()) << "a second fallback line";
            found = index;
        }
    }
    ASSERT_LT(found + 1, lines.size()) << expected;
    EXPECT_NE(lines[found].find(" Morvane::SaveWindowShot,"), std::string::npos) << lines[found];
    EXPECT_NE(lines[found + 1].find(std::string("Morvane.Window.jpg) return:") + result + ".\r\n"), std::string::npos)
        << lines[found + 1];
}

size_t FallbackLines(const TestSupport::DebugLineCapture& capture)
{
    return capture.CountContaining("]:Window picture of ");
}

// PrintWindow as a window that draws with the GPU answers it: black, or only with full content.
int gPrintWindowCalls = 0;
bool gFullContentPaints = false;
bool gPrintWindowFails = false;
decltype(&::PrintWindow) gRealPrintWindow = nullptr;

BOOL WINAPI GpuPrintWindow(HWND window, HDC dc, UINT flags)
{
    ++gPrintWindowCalls;
    if (gPrintWindowFails) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (gFullContentPaints && (flags & 0x2) != 0) {
        return gRealPrintWindow(window, dc, flags);
    }
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return ::PatBlt(dc, 0, 0, rect.right - rect.left, rect.bottom - rect.top, BLACKNESS);
}

class WindowPicture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(mGdiplus.Started()); }

    FixtureWindow Open(const RECT& rect, COLORREF fill, const wchar_t* className)
    {
        FixtureWindowSpec layout;
        layout.rect = rect;
        layout.caption = L"Picture";
        layout.className = className;
        layout.fill = fill;
        return mWindows.Open(layout);
    }

    TestSupport::GdiplusSession mGdiplus;
    TestSupport::FixtureWindows mWindows;
};

} // namespace

TEST_F(WindowPicture, BusyThreadIsWaitedForAndItsPrintWindowPictureKept)
{
    constexpr COLORREF kFill = RGB(200, 60, 20);
    BusyWindow busy(RECT{120, 620, 360, 800}, kFill);
    ASSERT_NE(busy.Handle(), nullptr);
    Morvane::WindowInfo record;
    ASSERT_TRUE(Sample(busy.Handle(), record));

    TestSupport::DebugLineCapture capture;
    busy.BeBusyFor(3000);
    const DWORD start = ::GetTickCount();
    SavedShot shot;
    Save(record, shot);
    // Proof that the thread was still busy when the picture was asked for.
    EXPECT_GE(::GetTickCount() - start, 2500u);
    EXPECT_EQ(shot.outcome.window, S_OK);
    EXPECT_EQ(shot.outcome.pictureSource, Morvane::PictureSource::PrintWindow);
    EXPECT_EQ(shot.picture.width, 240) << shot.decodeFailure;
    EXPECT_EQ(shot.picture.height, 180);
    EXPECT_TRUE(ShowsColour(shot.picture, 120, 90, kFill));
    EXPECT_EQ(FallbackLines(capture), 0u);
}

TEST_F(WindowPicture, BlackPictureIsTakenAgainWithFullContent)
{
    constexpr COLORREF kFill = RGB(20, 160, 200);
    const FixtureWindow window = Open(RECT{420, 620, 620, 760}, kFill, L"WindowPictureFullContent");
    ASSERT_TRUE(window) << window.failure;
    Morvane::WindowInfo record;
    ASSERT_TRUE(Sample(window.handle, record));

    gPrintWindowCalls = 0;
    gFullContentPaints = true;
    gPrintWindowFails = false;
    TestSupport::ImportPatch<decltype(&::PrintWindow)> patch(__imp_PrintWindow, &GpuPrintWindow);
    gRealPrintWindow = patch.Original();
    TestSupport::DebugLineCapture capture;
    SavedShot shot;
    Save(record, shot);
    EXPECT_EQ(gPrintWindowCalls, 2);
    EXPECT_EQ(shot.outcome.window, S_OK);
    EXPECT_EQ(shot.outcome.pictureSource, Morvane::PictureSource::FullContent);
    EXPECT_TRUE(ShowsColour(shot.picture, 100, 70, kFill));
    EXPECT_EQ(FallbackLines(capture), 1u);
    ExpectFallbackLine(capture, window.handle, "from PrintWindow(PW_RENDERFULLCONTENT): the first picture was black.",
                       "0x0");
}

TEST_F(WindowPicture, BlackOrFailedPrintWindowGivesThePictureFromTheScreen)
{
    constexpr COLORREF kFill = RGB(90, 200, 40);
    // Partly beyond the right edge of the only monitor: that part stays black.
    ASSERT_EQ(::GetSystemMetrics(SM_CMONITORS), 1);
    const int edge = ::GetSystemMetrics(SM_CXSCREEN);
    const FixtureWindow window = Open(RECT{edge - 150, 620, edge + 50, 760}, kFill, L"WindowPictureScreen");
    ASSERT_TRUE(window) << window.failure;
    ASSERT_TRUE(ScreenShows(POINT{edge - 75, 690}, kFill));
    Morvane::WindowInfo record;
    ASSERT_TRUE(Sample(window.handle, record));

    const struct {
        bool fails;
        int calls;
        const char* line;
    } cases[] = {
        {false, 2, "from the screen: PrintWindow pictures were black."},
        // A failed PrintWindow is not tried again with other flags.
        {true, 1, "from the screen: PrintWindow gave 0x80070005."},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(one.line);
        gPrintWindowCalls = 0;
        gFullContentPaints = false;
        gPrintWindowFails = one.fails;
        TestSupport::ImportPatch<decltype(&::PrintWindow)> patch(__imp_PrintWindow, &GpuPrintWindow);
        TestSupport::DebugLineCapture capture;
        SavedShot shot;
        Save(record, shot);
        EXPECT_EQ(gPrintWindowCalls, one.calls);
        EXPECT_EQ(shot.outcome.window, S_OK);
        EXPECT_EQ(shot.outcome.pictureSource, Morvane::PictureSource::Screen);
        EXPECT_EQ(shot.picture.width, 200) << shot.decodeFailure;
        EXPECT_EQ(shot.picture.height, 140);
        EXPECT_TRUE(ShowsColour(shot.picture, 75, 70, kFill));
        EXPECT_TRUE(ShowsColour(shot.picture, 190, 70, RGB(0, 0, 0)));
        EXPECT_EQ(FallbackLines(capture), 1u);
        ExpectFallbackLine(capture, window.handle, one.line, "0x0");
    }
}

namespace {

// The compositor as it answers for a cloaked window: DWMWA_CLOAKED non-zero for the one window.
HWND gCloakedWindow = nullptr;

HRESULT WINAPI CloakingDwmGetWindowAttribute(HWND window, DWORD attribute, void* value, DWORD size)
{
    if (attribute != 14 || size != sizeof(DWORD)) {
        return E_INVALIDARG;
    }
    *static_cast<DWORD*>(value) = window == gCloakedWindow ? 2 : 0;
    return S_OK;
}

} // namespace

// The screen does not show a minimised or cloaked window at its place: its picture never comes
// from there. A PrintWindow picture with anything in it is kept; otherwise none is saved, and a
// line says why.
TEST_F(WindowPicture, MinimisedOrCloakedWindowGetsNoPictureFromTheScreen)
{
    constexpr COLORREF kFill = RGB(160, 40, 200);
    const FixtureWindow window = Open(RECT{700, 620, 900, 760}, kFill, L"WindowPictureHidden");
    ASSERT_TRUE(window) << window.failure;
    Morvane::WindowInfo record;
    ASSERT_TRUE(Sample(window.handle, record));

    const struct {
        bool minimised;
        bool fullContentPaints;
        Morvane::PictureSource source;
        const char* line; // the fallback line, after "Window picture of <handle> " or "No window picture of"
    } cases[] = {
        {false, true, Morvane::PictureSource::FullContent, "from PrintWindow(PW_RENDERFULLCONTENT)"},
        {false, false, Morvane::PictureSource::None, ": the window is cloaked, the screen does not show it."},
        {true, false, Morvane::PictureSource::None, ": the window is minimised, the screen does not show it."},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(one.line);
        if (one.minimised) {
            ::ShowWindow(window.handle, SW_MINIMIZE);
            ASSERT_TRUE(::IsIconic(window.handle));
        }
        gCloakedWindow = one.minimised ? nullptr : window.handle;
        gPrintWindowCalls = 0;
        gFullContentPaints = one.fullContentPaints;
        gPrintWindowFails = false;
        TestSupport::ImportPatch<decltype(&::PrintWindow)> printPatch(__imp_PrintWindow, &GpuPrintWindow);
        gRealPrintWindow = printPatch.Original();
        const TestSupport::CompositorStandIn compositor(&CloakingDwmGetWindowAttribute);
        TestSupport::DebugLineCapture capture;
        SavedShot shot;
        Save(record, shot);
        EXPECT_EQ(shot.outcome.appearance.minimised, one.minimised);
        EXPECT_EQ(shot.outcome.appearance.cloaked, !one.minimised);
        EXPECT_EQ(shot.outcome.appearance.dpi, 96u);
        EXPECT_EQ(gPrintWindowCalls, 2);
        EXPECT_EQ(shot.outcome.pictureSource, one.source);
        if (one.source == Morvane::PictureSource::None) {
            EXPECT_EQ(shot.outcome.window, S_FALSE);
            EXPECT_EQ(shot.picture.width, 0) << "no window picture file";
            EXPECT_EQ(capture.CountContaining("]:No window picture of " + Handle(window.handle) + one.line + "\r\n"), 1u);
            EXPECT_EQ(FallbackLines(capture), 0u);
        } else {
            EXPECT_EQ(shot.outcome.window, S_OK);
            EXPECT_TRUE(ShowsColour(shot.picture, 100, 70, kFill));
            // The fill is the window's only colour; the record says so rather than let it pass
            // for more.
            EXPECT_TRUE(shot.outcome.pictureOneColour);
            EXPECT_EQ(shot.outcome.pictureColour, kFill);
        }
    }
}

namespace {

// The compositor as it answers on current systems: no window cloaked, and extended frame bounds
// inside the window rectangle for the windows named here (invisible borders), the window
// rectangle for any other.
struct FramedWindow {
    HWND window;
    RECT bounds;
};
std::vector<FramedWindow> gFramedWindows;

HRESULT WINAPI FramingDwmGetWindowAttribute(HWND window, DWORD attribute, void* value, DWORD size)
{
    if (attribute == 14 && size == sizeof(DWORD)) {
        *static_cast<DWORD*>(value) = 0;
        return S_OK;
    }
    if (attribute != 9 || size != sizeof(RECT)) {
        return E_INVALIDARG;
    }
    for (const FramedWindow& framed : gFramedWindows) {
        if (framed.window == window) {
            *static_cast<RECT*>(value) = framed.bounds;
            return S_OK;
        }
    }
    return ::GetWindowRect(window, static_cast<RECT*>(value)) ? S_OK : E_HANDLE;
}

// The compositor's answers for the length of a test; without one, dwmapi answers as it does here.
class FramingCompositor {
public:
    explicit FramingCompositor(std::vector<FramedWindow> framed) : mStandIn(&FramingDwmGetWindowAttribute)
    {
        gFramedWindows = std::move(framed);
    }
    ~FramingCompositor() { gFramedWindows.clear(); }

private:
    TestSupport::CompositorStandIn mStandIn;
};

// A window and, above it, one that its invisible border would cover (16 pixels here, so that the
// JPEG's blur at the edge stays clear of the pixels looked at).
constexpr COLORREF kFramedFill = RGB(230, 200, 30);
constexpr COLORREF kBorderFill = RGB(30, 60, 220);
constexpr RECT kFramedRect{300, 620, 500, 760};
constexpr RECT kFramedBounds{316, 620, 493, 753};

} // namespace

// A picture from the screen is of what the screen shows of the window: its visible frame where the
// compositor gives one, so that another window's pixels in its invisible border are left out.
TEST_F(WindowPicture, PictureFromTheScreenIsOfTheVisibleFrame)
{
    const FixtureWindow window = Open(kFramedRect, kFramedFill, L"WindowPictureFramed");
    ASSERT_TRUE(window) << window.failure;
    const FixtureWindow border = Open(RECT{300, 620, 316, 760}, kBorderFill, L"WindowPictureFrameBorder");
    ASSERT_TRUE(border) << border.failure;
    ASSERT_TRUE(ScreenShows(POINT{400, 690}, kFramedFill));
    ASSERT_TRUE(ScreenShows(POINT{305, 690}, kBorderFill));
    Morvane::WindowInfo record;
    ASSERT_TRUE(Sample(window.handle, record));

    const struct {
        bool compositor;
        int width;
        int height;
        COLORREF leftEdge; // what the picture shows 6 pixels from its left edge
    } cases[] = {
        {false, 200, 140, kBorderFill},
        {true, 177, 133, kFramedFill},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(one.compositor ? "with the compositor's frame" : "without a compositor");
        gPrintWindowFails = false;
        gFullContentPaints = false;
        TestSupport::ImportPatch<decltype(&::PrintWindow)> printPatch(__imp_PrintWindow, &GpuPrintWindow);
        std::unique_ptr<FramingCompositor> compositor;
        if (one.compositor) {
            compositor = std::make_unique<FramingCompositor>(std::vector<FramedWindow>{{window.handle, kFramedBounds}});
        }
        SavedShot shot;
        Save(record, shot);
        EXPECT_EQ(shot.outcome.hasFrame, one.compositor);
        if (one.compositor) {
            EXPECT_TRUE(::EqualRect(&shot.outcome.frame, &kFramedBounds));
        }
        EXPECT_EQ(shot.outcome.window, S_OK);
        EXPECT_EQ(shot.outcome.pictureSource, Morvane::PictureSource::Screen);
        EXPECT_EQ(shot.picture.width, one.width) << shot.decodeFailure;
        EXPECT_EQ(shot.picture.height, one.height);
        EXPECT_TRUE(ShowsColour(shot.picture, 6, 70, one.leftEdge));
        EXPECT_TRUE(ShowsColour(shot.picture, one.width - 6, one.height - 6, kFramedFill));
    }
}

// The windows above a window that appeared cover it where their visible frames overlap it: an
// invisible border reaching over it covers nothing.
TEST_F(WindowPicture, WindowsAboveAreJudgedByTheirVisibleFrames)
{
    const FixtureWindow window = Open(kFramedRect, kFramedFill, L"WindowPictureFramedBelow");
    ASSERT_TRUE(window) << window.failure;
    const RECT aboveRect{493, 620, 693, 760};
    const RECT aboveBounds{500, 620, 686, 753};
    const FixtureWindow above = Open(aboveRect, kBorderFill, L"WindowPictureFramedAbove");
    ASSERT_TRUE(above) << above.failure;

    const auto aboveIn = [&](const std::vector<Morvane::WindowAbove>& found) {
        for (const Morvane::WindowAbove& one : found) {
            if (one.handle == TalvexBasic::PointerBits(above.handle)) {
                return &one;
            }
        }
        return static_cast<const Morvane::WindowAbove*>(nullptr);
    };
    {
        const std::vector<Morvane::WindowAbove> found = Morvane::ShownWindowsAbove(window.handle, kFramedRect);
        const Morvane::WindowAbove* seen = aboveIn(found);
        ASSERT_NE(seen, nullptr) << "without a compositor the rectangles overlap";
        EXPECT_TRUE(::EqualRect(&seen->rect, &aboveRect));
    }
    const struct {
        RECT bounds;
        bool covers;
    } cases[] = {
        {aboveBounds, false},
        {RECT{493, 620, 686, 753}, true},
    };
    for (const auto& one : cases) {
        FramingCompositor compositor({{above.handle, one.bounds}, {window.handle, kFramedBounds}});
        const std::vector<Morvane::WindowAbove> found = Morvane::ShownWindowsAbove(window.handle, kFramedRect);
        const Morvane::WindowAbove* seen = aboveIn(found);
        EXPECT_EQ(seen != nullptr, one.covers) << one.bounds.left;
        if (seen != nullptr) {
            EXPECT_TRUE(::EqualRect(&seen->rect, &one.bounds)) << "the frame is what covers";
        }
    }
}

namespace {

// PrintWindow as windows that draw with the GPU answer it on current systems: the frame painted,
// the client area black; with PW_RENDERFULLCONTENT the whole window, where gFullContentPaints.
int gFrameOnlyCalls = 0;

BOOL WINAPI FrameOnlyPrintWindow(HWND window, HDC dc, UINT flags)
{
    ++gFrameOnlyCalls;
    if (!gRealPrintWindow(window, dc, flags)) {
        return FALSE;
    }
    if (gFullContentPaints && (flags & 0x2) != 0) {
        return TRUE;
    }
    RECT windowRect{};
    RECT client{};
    ::GetWindowRect(window, &windowRect);
    ::GetClientRect(window, &client);
    ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    ::OffsetRect(&client, -windowRect.left, -windowRect.top);
    return ::PatBlt(dc, client.left, client.top, client.right - client.left, client.bottom - client.top, BLACKNESS);
}

} // namespace

// A picture whose client area is black while its frame is not is as wrong as a black one: the
// next way of taking the window is tried.
TEST_F(WindowPicture, PictureWithOnlyItsFramePaintedIsTakenAgain)
{
    constexpr COLORREF kFill = RGB(40, 180, 120);
    FixtureWindowSpec layout;
    layout.rect = RECT{560, 600, 760, 760};
    layout.caption = L"Picture";
    layout.className = L"WindowPictureFrameOnly";
    // A dialog frame without a caption: a non-client area that Wine paints, on a window that is
    // destroyed at once.
    layout.style = WS_POPUP | WS_DLGFRAME | WS_VISIBLE;
    layout.fill = kFill;
    const FixtureWindow window = mWindows.Open(layout);
    ASSERT_TRUE(window) << window.failure;
    RECT client{};
    ASSERT_TRUE(::GetClientRect(window.handle, &client));
    ASSERT_LT(client.right, 200) << "the window has a frame";
    ASSERT_TRUE(ScreenShows(POINT{660, 680}, kFill));
    Morvane::WindowInfo record;
    ASSERT_TRUE(Sample(window.handle, record));

    const struct {
        bool frameOnly;
        bool fullContentPaints;
        int calls;
        Morvane::PictureSource source;
        const char* line; // the fallback line after "Window picture of <handle> "; null: none
    } cases[] = {
        {false, false, 1, Morvane::PictureSource::PrintWindow, nullptr},
        {true, true, 2, Morvane::PictureSource::FullContent,
         "from PrintWindow(PW_RENDERFULLCONTENT): the first picture's client area was black."},
        {true, false, 2, Morvane::PictureSource::Screen,
         "from the screen: PrintWindow pictures were black in the client area."},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(one.frameOnly ? one.line : "frame and client painted");
        gFrameOnlyCalls = 0;
        gFullContentPaints = one.fullContentPaints;
        TestSupport::ImportPatch<decltype(&::PrintWindow)> patch(
            __imp_PrintWindow, one.frameOnly ? &FrameOnlyPrintWindow : __imp_PrintWindow);
        gRealPrintWindow = patch.Original();
        TestSupport::DebugLineCapture capture;
        SavedShot shot;
        Save(record, shot);
        if (one.frameOnly) {
            EXPECT_EQ(gFrameOnlyCalls, one.calls);
        }
        EXPECT_EQ(shot.outcome.window, S_OK);
        EXPECT_EQ(shot.outcome.pictureSource, one.source);
        EXPECT_EQ(shot.picture.width, 200) << shot.decodeFailure;
        EXPECT_EQ(shot.picture.height, 160);
        EXPECT_TRUE(ShowsColour(shot.picture, 100, 80, kFill));
        if (one.line == nullptr) {
            EXPECT_EQ(FallbackLines(capture), 0u);
        } else {
            EXPECT_EQ(FallbackLines(capture), 1u);
            ExpectFallbackLine(capture, window.handle, one.line, "0x0");
        }
    }
}

namespace {

HANDLE WINAPI DeniedOpenProcess(DWORD, BOOL, DWORD)
{
    ::SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

} // namespace

TEST_SUPPORT_IMPORT_SLOT(OpenProcess);

// A window that is skipped but shows still covers the windows below it, with its visible frame.
TEST_F(WindowPicture, ShownSkippedWindowKeepsItsVisibleFrame)
{
    const FixtureWindow window = Open(kFramedRect, kFramedFill, L"WindowPictureFramedSkipped");
    ASSERT_TRUE(window) << window.failure;
    Morvane::WindowSample sample;
    {
        TestSupport::ImportPatch<decltype(&::OpenProcess)> patch(__imp_OpenProcess, &DeniedOpenProcess);
        sample = Morvane::SampleWindow(window.handle);
    }
    ASSERT_EQ(sample.skipReason, Morvane::SkipReason::ProcessNotOpened);
    for (const bool compositor : {false, true}) {
        std::unique_ptr<FramingCompositor> framing;
        if (compositor) {
            framing = std::make_unique<FramingCompositor>(std::vector<FramedWindow>{{window.handle, kFramedBounds}});
        }
        Morvane::RunRecorder recorder;
        const Morvane::RunWindow entry = recorder.AddSkipped(sample);
        EXPECT_TRUE(::EqualRect(&entry.rect, &kFramedRect));
        EXPECT_TRUE(::EqualRect(&entry.frame, compositor ? &kFramedBounds : &kFramedRect)) << compositor;
    }
}
