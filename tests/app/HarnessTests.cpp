// The end-to-end harness itself: fixture windows in other processes, and the debugger that runs a
// program, records its debug output and confirms its completion box.

#include "support/DebugCapture.h"
#include "support/FixtureProcess.h"
#include "support/ScreenDc.h"
#include "system/UniqueResource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace TestSupport;

struct FoundWindow {
    HWND handle = nullptr;
    RECT rect{};
    std::wstring caption;
    std::wstring className;
    DWORD processId = 0;
    DWORD threadId = 0;
    bool visible = false;
};

// What EnumWindows reports about the top-level windows of one process.
std::vector<FoundWindow> TopLevelWindowsOf(DWORD processId)
{
    struct Search {
        DWORD processId;
        std::vector<FoundWindow> found;
    } search{processId, {}};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* state = reinterpret_cast<Search*>(context);
            FoundWindow facts;
            facts.handle = window;
            facts.threadId = ::GetWindowThreadProcessId(window, &facts.processId);
            if (facts.processId != state->processId) {
                return TRUE;
            }
            ::GetWindowRect(window, &facts.rect);
            std::vector<wchar_t> text(1024);
            ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
            facts.caption = text.data();
            ::GetClassNameW(window, text.data(), static_cast<int>(text.size()));
            facts.className = text.data();
            facts.visible = ::IsWindowVisible(window) != FALSE;
            state->found.push_back(facts);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

const FoundWindow* Find(const std::vector<FoundWindow>& windows, HWND handle)
{
    for (const FoundWindow& window : windows) {
        if (window.handle == handle) {
            return &window;
        }
    }
    return nullptr;
}

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(FixtureProtocol, TextsSurviveTheLineProtocolExactly)
{
    const std::wstring texts[] = {L"",
                                  L"plain",
                                  L"two  blanks ",
                                  L"back\\slash \\s",
                                  L"line\r\nbreak",
                                  L"\x6F22\x5B57 \x00E9",
                                  L"\xD800 lone surrogate",
                                  L"=start"};
    for (const std::wstring& text : texts) {
        const std::string token = FixtureProtocol::EncodeText(text);
        EXPECT_EQ(token.find_first_of(" \r\n"), std::string::npos);
        std::wstring back;
        ASSERT_TRUE(FixtureProtocol::DecodeText(token, back));
        EXPECT_EQ(back, text);
    }
    std::wstring unused;
    EXPECT_FALSE(FixtureProtocol::DecodeText("no-marker", unused));
    EXPECT_FALSE(FixtureProtocol::DecodeText("=bad\\q", unused));
    EXPECT_FALSE(FixtureProtocol::DecodeText("=short\\u12", unused));
}

TEST(FixtureProcess, WindowsOfTwoProcessesAreFoundAsOpened)
{
    FixtureProcess first;
    FixtureProcess second;
    ASSERT_TRUE(first.Start()) << first.Failure();
    ASSERT_TRUE(second.Start()) << second.Failure();
    EXPECT_NE(first.ProcessId(), second.ProcessId());
    EXPECT_NE(first.ProcessId(), ::GetCurrentProcessId());

    FixtureWindowSpec application;
    application.rect = RECT{120, 80, 760, 560};
    application.caption = L"Fixture application \x6F22\x5B57 - two  blanks";
    application.className = L"FixtureApplicationClass";
    application.style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    application.fill = RGB(40, 90, 160);
    const FixtureWindow main = first.Open(application);
    ASSERT_TRUE(main) << main.failure;

    // A frame with a caption would normally be held to a minimum tracking size; 4x4 stays 4x4.
    FixtureWindowSpec tiny = application;
    tiny.rect = RECT{800, 100, 804, 104};
    tiny.caption = L"Fixture tiny";
    const FixtureWindow small = first.Open(tiny);
    ASSERT_TRUE(small) << small.failure;

    FixtureWindowSpec hidden;
    hidden.rect = RECT{10, 10, 110, 60};
    hidden.caption = L"";
    hidden.className = L"FixtureHiddenClass";
    hidden.style = WS_POPUP;
    const FixtureWindow invisible = first.Open(hidden);
    ASSERT_TRUE(invisible) << invisible.failure;

    FixtureWindowSpec dialog;
    dialog.rect = RECT{900, 400, 1200, 560};
    dialog.caption = L"Fixture pop-up";
    dialog.className = L"FixturePopupClass";
    dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    dialog.exStyle = WS_EX_TOPMOST | WS_EX_DLGMODALFRAME;
    dialog.fill = RGB(230, 230, 230);
    const FixtureWindow popup = second.Open(dialog);
    ASSERT_TRUE(popup) << popup.failure;

    const std::vector<FoundWindow> ofFirst = TopLevelWindowsOf(first.ProcessId());
    const FoundWindow* found = Find(ofFirst, main.handle);
    ASSERT_NE(found, nullptr);
    EXPECT_TRUE(SameRect(found->rect, application.rect));
    EXPECT_EQ(found->caption, application.caption);
    EXPECT_EQ(found->className, application.className);
    EXPECT_EQ(found->processId, main.processId);
    EXPECT_EQ(found->threadId, main.threadId);
    EXPECT_TRUE(found->visible);
    const FoundWindow* foundTiny = Find(ofFirst, small.handle);
    ASSERT_NE(foundTiny, nullptr);
    EXPECT_TRUE(SameRect(foundTiny->rect, tiny.rect));
    EXPECT_EQ(static_cast<DWORD>(::GetWindowLongPtrW(small.handle, GWL_STYLE)) & WS_OVERLAPPEDWINDOW,
              static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
    const FoundWindow* foundHidden = Find(ofFirst, invisible.handle);
    ASSERT_NE(foundHidden, nullptr);
    EXPECT_FALSE(foundHidden->visible);
    EXPECT_TRUE(SameRect(foundHidden->rect, hidden.rect));

    const std::vector<FoundWindow> ofSecond = TopLevelWindowsOf(second.ProcessId());
    const FoundWindow* foundPopup = Find(ofSecond, popup.handle);
    ASSERT_NE(foundPopup, nullptr);
    EXPECT_TRUE(SameRect(foundPopup->rect, dialog.rect));
    EXPECT_EQ(foundPopup->caption, dialog.caption);
    EXPECT_EQ(foundPopup->processId, second.ProcessId());
    EXPECT_NE(static_cast<DWORD>(::GetWindowLongPtrW(popup.handle, GWL_EXSTYLE)) & WS_EX_TOPMOST, 0u);

    // Another process's window is painted on the screen with its fill colour.
    const auto screen = ScreenDc();
    EXPECT_EQ(::GetPixel(screen.get().dc, 1050, 500), dialog.fill);

    // A hung window in the fixture: its thread takes no messages, the others still do.
    FixtureWindowSpec stuck = dialog;
    stuck.rect = RECT{300, 700, 500, 800};
    stuck.caption = L"Fixture hung";
    stuck.exStyle = 0;
    const FixtureWindow hung = second.OpenHung(stuck);
    ASSERT_TRUE(hung) << hung.failure;
    EXPECT_EQ(hung.processId, second.ProcessId());
    EXPECT_NE(hung.threadId, popup.threadId);
    DWORD_PTR answer = 0;
    EXPECT_EQ(::SendMessageTimeoutW(hung.handle, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 300, &answer), 0);
    EXPECT_NE(::SendMessageTimeoutW(popup.handle, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer), 0);

    EXPECT_TRUE(first.Close(invisible.handle));
    EXPECT_FALSE(::IsWindow(invisible.handle));
    EXPECT_FALSE(first.Close(invisible.handle));
    EXPECT_TRUE(::IsWindow(main.handle));

    // Quitting releases the hung thread and ends the process cleanly.
    EXPECT_TRUE(second.Quit());
    EXPECT_FALSE(::IsWindow(hung.handle));
    EXPECT_FALSE(::IsWindow(popup.handle));
    EXPECT_TRUE(::IsWindow(main.handle));
}

TEST(DebugCapture, RecordsEveryLineExactlyAndConfirmsTheBox)
{
    DebugCaptureOptions options;
    options.program = DesktopFixturePath();
    options.arguments = FixtureDebugRun::kEmitArgument;
    options.timeLimitMilliseconds = 60000;
    bool boxSeenWhileOpen = false;
    options.onMessageBox = [&](HWND box, const std::wstring&) { boxSeenWhileOpen = ::IsWindowVisible(box) != FALSE; };
    const DebugCaptureResult result = RunWithDebugCapture(options);
    ASSERT_TRUE(result.failure.empty()) << result.failure;
    EXPECT_TRUE(result.exited);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, FixtureDebugRun::kExitCode);
    EXPECT_FALSE(result.unhandledException);

    ASSERT_EQ(result.messageBoxTexts.size(), 1u);
    EXPECT_EQ(result.messageBoxTexts[0], FixtureDebugRun::kBoxText);
    EXPECT_TRUE(boxSeenWhileOpen);

    char afterBox[64];
    std::snprintf(afterBox, sizeof afterBox, FixtureDebugRun::kAfterBoxFormat, IDOK);
    struct Expected {
        bool wide;
        std::string narrow;
        std::wstring text;
    };
    const Expected expected[] = {
        {false, FixtureDebugRun::kNarrowPlain, {}},
        {false, FixtureDebugRun::kNarrowAnsi, {}},
        {true, {}, FixtureDebugRun::kWideCjk},
        {false, FixtureDebugRun::NarrowLongLine(), {}},
        {true, {}, FixtureDebugRun::WideLongLine()},
        {false, FixtureDebugRun::kNarrowWithoutLineEnd, {}},
        // The debugger passed the program's own exception on to the program's handler.
        {false, FixtureDebugRun::kHandledLine, {}},
        {false, afterBox, {}},
    };
    ASSERT_EQ(result.lines.size(), std::size(expected));
    ASSERT_TRUE(result.wideLinesExact);
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(result.lines[i].wide, expected[i].wide);
        if (expected[i].wide) {
            EXPECT_EQ(result.lines[i].text, expected[i].text);
        } else {
            EXPECT_EQ(result.lines[i].narrow, expected[i].narrow);
        }
    }
    // Narrow lines are also readable as text through the ANSI code page (1252).
    EXPECT_EQ(result.lines[1].text, L"narrow \x00E9\x00FC\x20AC line\r\n");
    EXPECT_EQ(result.LinesContaining(L"\x6F22\x5B57").size(), 1u);

    ASSERT_EQ(result.exceptionCodes.size(), 1u);
    EXPECT_EQ(result.exceptionCodes[0], FixtureDebugRun::kProgramException);
}

TEST(DebugCapture, KillsAProgramThatRunsPastTheTimeLimit)
{
    DebugCaptureOptions options;
    options.program = DesktopFixturePath();
    options.arguments = FixtureDebugRun::kHangArgument;
    options.timeLimitMilliseconds = 2000;
    const ULONGLONG started = ::GetTickCount64();
    const DebugCaptureResult result = RunWithDebugCapture(options);
    const ULONGLONG took = ::GetTickCount64() - started;
    ASSERT_TRUE(result.failure.empty()) << result.failure;
    EXPECT_TRUE(result.timedOut);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.exitCode, kDebugCaptureKilledExitCode);
    EXPECT_GE(took, 2000u);
    ASSERT_EQ(result.lines.size(), 1u);
    EXPECT_EQ(result.lines[0].narrow, FixtureDebugRun::kHangLine);
    EXPECT_TRUE(result.messageBoxTexts.empty());
    const TalvexBasic::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, result.processId));
    if (process) {
        EXPECT_EQ(::WaitForSingleObject(process.get(), 0), WAIT_OBJECT_0);
    }
}

TEST(DebugCapture, ReportsAProgramThatCannotStart)
{
    DebugCaptureOptions options;
    options.program = DesktopFixturePath() + L".missing.exe";
    const DebugCaptureResult result = RunWithDebugCapture(options);
    EXPECT_FALSE(result.failure.empty());
    EXPECT_FALSE(result.exited);
    EXPECT_TRUE(result.lines.empty());
}

} // namespace
