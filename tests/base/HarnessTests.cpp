// The test harness itself, in-process: import-slot patches reach calls made inside the base
// library, and fixture windows are what they claim to be.

#include "logs/Trace.h"
#include "support/FixtureWindows.h"
#include "support/ImportPatch.h"
#include "support/ScreenDc.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

TEST_SUPPORT_IMPORT_SLOT(OutputDebugStringA);
TEST_SUPPORT_IMPORT_SLOT(OutputDebugStringW);
TEST_SUPPORT_IMPORT_SLOT(GetLocalTime);

namespace {

std::vector<std::string> gNarrowSeen;
std::vector<std::wstring> gWideSeen;

void WINAPI RecordNarrow(LPCSTR text)
{
    gNarrowSeen.emplace_back(text);
}

void WINAPI RecordWide(LPCWSTR text)
{
    gWideSeen.emplace_back(text);
}

void WINAPI FixedLocalTime(LPSYSTEMTIME time)
{
    *time = SYSTEMTIME{};
    time->wYear = 2020;
    time->wMonth = 9;
    time->wDay = 9;
    time->wHour = 15;
    time->wMinute = 42;
    time->wSecond = 10;
    time->wMilliseconds = 7;
}

template <typename Text> bool EndsWith(const Text& text, const Text& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool EndsWith(const std::string& text, const char* end)
{
    return EndsWith(text, std::string(end));
}

bool EndsWith(const std::wstring& text, const wchar_t* end)
{
    return EndsWith(text, std::wstring(end));
}

TEST(ImportPatch, RedirectsCallsMadeInsideTheBaseLibraryAndRestoresThem)
{
    const auto realNarrow = __imp_OutputDebugStringA;
    const auto realWide = __imp_OutputDebugStringW;
    gNarrowSeen.clear();
    gWideSeen.clear();
    {
        TestSupport::ImportPatch<decltype(&::OutputDebugStringA)> narrow(__imp_OutputDebugStringA, &RecordNarrow);
        TestSupport::ImportPatch<decltype(&::OutputDebugStringW)> wide(__imp_OutputDebugStringW, &RecordWide);
        TestSupport::ImportPatch<decltype(&::GetLocalTime)> clock(__imp_GetLocalTime, &FixedLocalTime);
        EXPECT_EQ(narrow.Original(), realNarrow);
        TALVEX_DIRECT_TRACE("Harness$Tag", "Harness::Narrow", "value:%u.", 17u);
        TALVEX_DIRECT_TRACE_W("Harness$Tag", "Harness::Wide", L"caption:%ls.", L"\x6F22\x5B57");
    }
    EXPECT_EQ(__imp_OutputDebugStringA, realNarrow);
    EXPECT_EQ(__imp_OutputDebugStringW, realWide);

    const std::string pid = std::to_string(::GetCurrentProcessId());
    const std::string tid = std::to_string(::GetCurrentThreadId());
    ASSERT_EQ(gNarrowSeen.size(), 1u);
    const auto header = [&](const std::string& function) {
        return "{Harness$Tag}[2020-09-09 15:42:10:007 " + pid + "-" + tid + " " + function + ",";
    };
    EXPECT_EQ(gNarrowSeen[0].rfind(header("Harness::Narrow"), 0), 0u) << gNarrowSeen[0];
    EXPECT_TRUE(EndsWith(gNarrowSeen[0], "]:value:17.\r\n")) << gNarrowSeen[0];
    ASSERT_EQ(gWideSeen.size(), 1u);
    const std::string wideHeader = header("Harness::Wide");
    EXPECT_EQ(gWideSeen[0].rfind(std::wstring(wideHeader.begin(), wideHeader.end()), 0), 0u);
    EXPECT_TRUE(EndsWith(gWideSeen[0], L"]:caption:\x6F22\x5B57.\r\n"));

    // Restored: the same call no longer reaches the replacement.
    TALVEX_DIRECT_TRACE("Harness$Tag", "Harness::Narrow", "after.");
    EXPECT_EQ(gNarrowSeen.size(), 1u);
}

struct WindowFacts {
    RECT rect{};
    std::wstring caption;
    std::wstring className;
    DWORD processId = 0;
    DWORD threadId = 0;
    bool visible = false;
};

WindowFacts FactsOf(HWND window)
{
    WindowFacts facts;
    ::GetWindowRect(window, &facts.rect);
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    facts.caption = text;
    ::GetClassNameW(window, text, 256);
    facts.className = text;
    facts.threadId = ::GetWindowThreadProcessId(window, &facts.processId);
    facts.visible = ::IsWindowVisible(window) != FALSE;
    return facts;
}

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The colour at one point of what PrintWindow draws for the window (within the process it sends
// WM_PRINT, so this is the fixture's WM_PRINTCLIENT painting).
COLORREF PrintedPixel(HWND window, int x, int y)
{
    RECT rect{};
    ::GetWindowRect(window, &rect);
    using namespace TalvexBasic::Drawings;
    const WindowDcHolder screen = TestSupport::ScreenDc();
    const MemoryDcHolder memory(::CreateCompatibleDC(screen.get().dc));
    const BitmapHolder bitmap(
        ::CreateCompatibleBitmap(screen.get().dc, rect.right - rect.left, rect.bottom - rect.top));
    const SelectionHolder selected = SelectInto(memory.get(), bitmap.get());
    ::PrintWindow(window, memory.get(), 0);
    return ::GetPixel(memory.get(), x, y);
}

COLORREF ScreenPixel(int x, int y)
{
    return ::GetPixel(TestSupport::ScreenDc().get().dc, x, y);
}

TEST(FixtureWindows, OpensExactWindowsOnAPumpingThreadOfTheirOwn)
{
    TestSupport::FixtureWindows windows;
    TestSupport::FixtureWindowSpec popup;
    popup.rect = RECT{101, 57, 341, 233};
    popup.caption = L"Harness popup \x6F22\x5B57";
    popup.className = L"HarnessPopupClass";
    popup.style = WS_POPUP | WS_VISIBLE;
    popup.fill = RGB(200, 30, 60);
    const TestSupport::FixtureWindow first = windows.Open(popup);
    ASSERT_TRUE(first) << first.failure;

    // Windows without a caption or frame only: under Wine without a window manager, destroying
    // a visible framed window takes two seconds (the in-process cost is avoided this way; the
    // fixture process test covers framed windows).
    TestSupport::FixtureWindowSpec tiny;
    tiny.rect = RECT{700, 500, 704, 504};
    tiny.caption = L"tiny";
    tiny.className = L"HarnessTinyClass";
    tiny.style = WS_POPUP | WS_VISIBLE;
    tiny.fill = RGB(0, 0, 255);
    const TestSupport::FixtureWindow second = windows.Open(tiny);
    ASSERT_TRUE(second) << second.failure;

    // A class the system owns is used as it is and still painted.
    TestSupport::FixtureWindowSpec button;
    button.rect = RECT{400, 300, 520, 360};
    button.caption = L"";
    button.className = L"Button";
    button.style = WS_POPUP | WS_VISIBLE;
    button.exStyle = WS_EX_TOOLWINDOW;
    button.fill = RGB(10, 180, 20);
    const TestSupport::FixtureWindow third = windows.Open(button);
    ASSERT_TRUE(third) << third.failure;

    TestSupport::FixtureWindowSpec hidden = popup;
    hidden.rect = RECT{-300, -200, -100, -50};
    hidden.style = WS_POPUP;
    const TestSupport::FixtureWindow fourth = windows.Open(hidden);
    ASSERT_TRUE(fourth) << fourth.failure;

    const WindowFacts facts = FactsOf(first.handle);
    EXPECT_TRUE(SameRect(facts.rect, popup.rect));
    EXPECT_EQ(facts.caption, popup.caption);
    EXPECT_EQ(facts.className, popup.className);
    EXPECT_EQ(facts.processId, ::GetCurrentProcessId());
    EXPECT_EQ(facts.processId, first.processId);
    EXPECT_EQ(facts.threadId, first.threadId);
    EXPECT_NE(facts.threadId, ::GetCurrentThreadId());
    EXPECT_TRUE(facts.visible);
    EXPECT_EQ(second.threadId, first.threadId);

    EXPECT_TRUE(SameRect(FactsOf(second.handle).rect, tiny.rect));
    EXPECT_EQ(ScreenPixel(702, 502), tiny.fill);
    EXPECT_EQ(FactsOf(third.handle).className, L"Button");
    EXPECT_EQ(static_cast<DWORD>(::GetWindowLongPtrW(third.handle, GWL_EXSTYLE)) & WS_EX_TOOLWINDOW,
              static_cast<DWORD>(WS_EX_TOOLWINDOW));
    const WindowFacts hiddenFacts = FactsOf(fourth.handle);
    EXPECT_FALSE(hiddenFacts.visible);
    EXPECT_TRUE(SameRect(hiddenFacts.rect, hidden.rect));

    EXPECT_EQ(PrintedPixel(first.handle, 120, 88), popup.fill);
    EXPECT_EQ(PrintedPixel(third.handle, 60, 30), button.fill);
    EXPECT_EQ(ScreenPixel(221, 145), popup.fill);
    EXPECT_EQ(ScreenPixel(460, 330), button.fill);

    EXPECT_TRUE(windows.Close(first.handle));
    EXPECT_FALSE(::IsWindow(first.handle));
    EXPECT_FALSE(windows.Close(first.handle));
    windows.CloseAll();
    EXPECT_FALSE(::IsWindow(second.handle));
    EXPECT_FALSE(::IsWindow(third.handle));
}

TEST(FixtureWindows, HungWindowStopsAnsweringUntilItIsClosed)
{
    TestSupport::FixtureWindows windows;
    TestSupport::FixtureWindowSpec layout;
    layout.rect = RECT{60, 600, 260, 700};
    layout.caption = L"Harness hung";
    layout.className = L"HarnessHungClass";
    layout.fill = RGB(250, 250, 0);
    const TestSupport::FixtureWindow hung = windows.OpenHung(layout);
    ASSERT_TRUE(hung) << hung.failure;
    const TestSupport::FixtureWindow live = windows.Open(layout);
    ASSERT_TRUE(live) << live.failure;
    EXPECT_NE(hung.threadId, live.threadId);

    DWORD_PTR answer = 0;
    EXPECT_NE(::SendMessageTimeoutW(live.handle, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer), 0);
    EXPECT_EQ(::SendMessageTimeoutW(hung.handle, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 300, &answer), 0);
    // Painted before it stopped.
    EXPECT_EQ(ScreenPixel(160, 650), layout.fill);

    EXPECT_TRUE(windows.Close(hung.handle));
    EXPECT_FALSE(::IsWindow(hung.handle));
}

} // namespace
