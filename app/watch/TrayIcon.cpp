#include "watch/TrayIcon.h"

#include "MorvaneTrace.h"
#include "RunClock.h"
#include "basic/PathParts.h"
#include "record/RunJournal.h"
#include "record/RunRecord.h"
#include "basic/StringFormat.h"
#include "watch/IconRemovalWait.h"
#include "watch/IconRetry.h"

#include <objbase.h>
#include <shellapi.h>

#include <atomic>
#include <cwchar>
#include <new>
#include <optional>

namespace Morvane {
namespace {

constexpr const char* kTrayIcon = "Morvane::TrayIcon";
constexpr UINT kCountMessage = WM_APP + 2;  // wParam: the windows caught
constexpr UINT kRemoveMessage = WM_APP + 3; // the watch ends
constexpr UINT kIconId = 1;
constexpr UINT_PTR kRetryTimer = 1;
constexpr UINT kOpenPageCommand = 1;
constexpr UINT kStopCommand = 2;
constexpr DWORD kRemovalWaitMilliseconds = 100;
// The session's end waits this long for the last record; the system ends the process soon after.
constexpr DWORD kSessionEndWaitMilliseconds = 4'000;

std::wstring TooltipText(unsigned caught)
{
    return Basic::Text::Format(L"Morvane watches: %u window%ls caught", caught, caught == 1 ? L"" : L"s");
}

NOTIFYICONDATAW IconData(HWND window)
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = kIconId;
    return data;
}

// One try at the icon and what follows from it.
struct IconAttempt {
    bool added = false;
    int modified = -1; // -1: not tried
    std::optional<unsigned> retryInMs;

    [[nodiscard]] bool Shown() const noexcept { return added || modified == 1; }
};

void TraceAttempt(const IconAttempt& attempt)
{
    MORVANE_TRACE(kTrayIcon, "Shell_NotifyIconW(NIM_ADD) return:%d.", attempt.added ? 1 : 0);
    if (attempt.modified >= 0) {
        MORVANE_TRACE(kTrayIcon, "Shell_NotifyIconW(NIM_MODIFY) return:%d.", attempt.modified);
    }
    if (attempt.Shown()) {
        return;
    }
    if (attempt.retryInMs) {
        MORVANE_TRACE(kTrayIcon, "The icon is tried again in %u ms.", *attempt.retryInMs);
    } else {
        MORVANE_TRACE(kTrayIcon, "The icon is not tried again.");
    }
}

} // namespace

struct TrayIcon::Shared {
    explicit Shared(std::wstring page) : pagePath(std::move(page)) {}

    const std::wstring pagePath;
    TalvexBasic::UniqueHandle stopEvent{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    TalvexBasic::UniqueHandle ready{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    TalvexBasic::UniqueHandle lastWritten{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    TalvexBasic::UniqueHandle removed{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<HWND> window{nullptr};
    std::atomic<bool> stopAsked{false};
    std::atomic<bool> sessionEnding{false};
    // The watch ends: no icon any more, and no trace lines (the logger may be gone soon).
    std::atomic<bool> removing{false};
    std::atomic<bool> deleteMade{false};
    std::atomic<bool> deleted{false};
    IconAttempt first; // read by Show once ready is set

    // The icon thread's own.
    UINT taskbarCreated = 0;
    bool iconShown = false;
    unsigned caught = 0;
    unsigned failedAttempts = 0;
    ULONGLONG firstFailureAt = 0;

    void AskStop() noexcept
    {
        stopAsked = true;
        ::SetEvent(stopEvent.get());
    }

    IconAttempt Attempt();
    void RemoveIcon();
    void ShowMenu();
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static DWORD WINAPI Thread(void* parameter);
};

IconAttempt TrayIcon::Shared::Attempt()
{
    IconAttempt attempt;
    NOTIFYICONDATAW data = IconData(window);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayIconMessage;
    data.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    wcsncpy_s(data.szTip, TooltipText(caught).c_str(), _TRUNCATE);
    attempt.added = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    if (!attempt.added) {
        // The shell may hold the icon after all: an add that timed out while the shell was busy
        // at sign-in, or TaskbarCreated sent by a shell that kept its icons.
        attempt.modified = ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE ? 1 : 0;
    }
    iconShown = attempt.Shown();
    if (iconShown) {
        failedAttempts = 0;
        return attempt;
    }
    const ULONGLONG now = ::GetTickCount64();
    if (failedAttempts == 0) {
        firstFailureAt = now;
    }
    ++failedAttempts;
    attempt.retryInMs = NextIconAttemptDelayMs(failedAttempts, now - firstFailureAt);
    if (attempt.retryInMs) {
        ::SetTimer(window, kRetryTimer, *attempt.retryInMs, nullptr);
    }
    return attempt;
}

void TrayIcon::Shared::RemoveIcon()
{
    ::KillTimer(window, kRetryTimer);
    if (iconShown) {
        iconShown = false;
        deleteMade = true;
        NOTIFYICONDATAW data = IconData(window);
        deleted = ::Shell_NotifyIconW(NIM_DELETE, &data) != FALSE;
    }
    ::SetEvent(removed.get());
}

void TrayIcon::Shared::ShowMenu()
{
    const HMENU menu = ::CreatePopupMenu();
    if (menu == nullptr) {
        return;
    }
    ::AppendMenuW(menu, MF_STRING, kOpenPageCommand, L"Open the run page");
    ::AppendMenuW(menu, MF_STRING, kStopCommand, L"Stop watching");
    POINT cursor{};
    ::GetCursorPos(&cursor);
    // The menu closes when clicked elsewhere only while its owner is in the foreground.
    ::SetForegroundWindow(window);
    const UINT chosen = static_cast<UINT>(
        ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, nullptr));
    ::DestroyMenu(menu);
    if (chosen == kOpenPageCommand) {
        // The page is made from the run's journal now, here on the icon's thread: the captures go on.
        const LocalInstant now = RunClock().Now();
        WriteRunFilesFromJournal(std::wstring(Basic::Paths::FolderPart(pagePath)), true,
                                 FormatLocalTime(now.time, now.offsetMinutes), L".menu.tmp");
        const auto opened = reinterpret_cast<INT_PTR>(
            ::ShellExecuteW(nullptr, L"open", pagePath.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        if (opened <= 32 && !removing) {
            MORVANE_TRACE_W(kTrayIcon, L"ShellExecuteW(%ls) return:%d.", pagePath.c_str(), static_cast<int>(opened));
        }
    } else if (chosen == kStopCommand) {
        AskStop();
    }
}

LRESULT TrayIcon::Shared::Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == taskbarCreated && taskbarCreated != 0) {
        if (!removing) {
            ::KillTimer(hwnd, kRetryTimer);
            failedAttempts = 0;
            MORVANE_TRACE(kTrayIcon, "The shell started anew; the icon is added again.");
            TraceAttempt(Attempt());
        }
        return 0;
    }
    switch (message) {
    case kTrayIconMessage:
        if (LOWORD(lParam) == WM_RBUTTONUP || LOWORD(lParam) == WM_LBUTTONUP || LOWORD(lParam) == WM_CONTEXTMENU) {
            ShowMenu();
        }
        return 0;
    case kCountMessage:
        caught = static_cast<unsigned>(wParam);
        if (iconShown) {
            NOTIFYICONDATAW data = IconData(hwnd);
            data.uFlags = NIF_TIP;
            wcsncpy_s(data.szTip, TooltipText(caught).c_str(), _TRUNCATE);
            ::Shell_NotifyIconW(NIM_MODIFY, &data);
        }
        return 0;
    case kRemoveMessage:
        RemoveIcon();
        return 0;
    case WM_TIMER:
        if (wParam == kRetryTimer) {
            ::KillTimer(hwnd, kRetryTimer);
            if (!removing) {
                TraceAttempt(Attempt());
            }
        }
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        if (wParam != FALSE) {
            sessionEnding = true;
            AskStop();
            // The process may be ended once this returns: the watch writes its last record first.
            ::WaitForSingleObject(lastWritten.get(), kSessionEndWaitMilliseconds);
        }
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK TrayIcon::Shared::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
        static_cast<Shared*>(creation->lpCreateParams)->window = window;
    }
    auto* shared = reinterpret_cast<Shared*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return shared != nullptr ? shared->Handle(window, message, wParam, lParam)
                             : ::DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI TrayIcon::Shared::Thread(void* parameter)
{
    const std::unique_ptr<std::shared_ptr<Shared>> held(static_cast<std::shared_ptr<Shared>*>(parameter));
    Shared& shared = **held;
    // Opening the page may need COM, in a single-threaded apartment.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kTrayWindowClass;
    ::RegisterClassExW(&windowClass);
    // A top-level window, not a message-only one: only those receive the end of the session.
    const HWND made = ::CreateWindowExW(WS_EX_TOOLWINDOW, kTrayWindowClass, L"Morvane", WS_POPUP, 0, 0, 0, 0,
                                        nullptr, nullptr, windowClass.hInstance, &shared);
    if (made == nullptr) {
        (void)MORVANE_FAIL_LAST_ERROR(kTrayIcon, TalvexBasic::LastErrorRule::Standard, "CreateWindowExW error:%u.");
        ::SetEvent(shared.ready.get());
    } else {
        shared.taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
        // A watch run as administrator still hears of the shell's restart from the user's shell.
        ::ChangeWindowMessageFilterEx(made, shared.taskbarCreated, MSGFLT_ALLOW, nullptr);
        shared.first = shared.Attempt();
        ::SetEvent(shared.ready.get());
        MSG message{};
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    return 0;
}

TrayIcon::TrayIcon(std::wstring pagePath) : mShared(std::make_shared<Shared>(std::move(pagePath))) {}

TrayIcon::~TrayIcon()
{
    if (!mThread) {
        return;
    }
    RemoveIcon();
    // The icon goes with the process at the latest; the end waits only a little for it.
    const DWORD waitLeft = IconRemovalWaitLeftMs(::GetTickCount64() - mRemovalAskedAt);
    if (::WaitForSingleObject(mShared->removed.get(), waitLeft) != WAIT_OBJECT_0) {
        MORVANE_TRACE(kTrayIcon, "Shell_NotifyIconW(NIM_DELETE) has not returned yet.");
        return; // the thread keeps what it uses and ends with the process
    }
    if (mShared->deleteMade) {
        MORVANE_TRACE(kTrayIcon, "Shell_NotifyIconW(NIM_DELETE) return:%u.", mShared->deleted ? 1u : 0u);
    }
    // Never shown, so destroying the window costs nothing.
    const HWND window = mShared->window;
    if (window != nullptr && ::PostMessageW(window, WM_CLOSE, 0, 0)) {
        ::WaitForSingleObject(mThread.get(), kRemovalWaitMilliseconds);
    }
}

void TrayIcon::Show()
{
    if (mThread || !mShared->stopEvent || !mShared->ready || !mShared->lastWritten || !mShared->removed) {
        return;
    }
    auto held = std::unique_ptr<std::shared_ptr<Shared>>(new (std::nothrow) std::shared_ptr<Shared>(mShared));
    if (held == nullptr) {
        return;
    }
    mThread.reset(::CreateThread(nullptr, 0, Shared::Thread, held.get(), 0, nullptr));
    if (!mThread) {
        (void)MORVANE_FAIL_LAST_ERROR(kTrayIcon, TalvexBasic::LastErrorRule::Standard, "CreateThread error:%u.");
        return;
    }
    (void)held.release(); // the thread's now
    const HANDLE waits[] = {mShared->ready.get(), mThread.get()};
    ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (mShared->window != nullptr) {
        TraceAttempt(mShared->first);
    }
}

void TrayIcon::SetCaughtCount(unsigned caught)
{
    if (mThread) {
        ::PostMessageW(mShared->window, kCountMessage, caught, 0);
    }
}

void TrayIcon::RemoveIcon()
{
    if (!mThread || mShared->removing.exchange(true)) {
        return;
    }
    mRemovalAskedAt = ::GetTickCount64();
    if (mShared->window == nullptr || !::PostMessageW(mShared->window, kRemoveMessage, 0, 0)) {
        ::SetEvent(mShared->removed.get());
    }
}

HANDLE TrayIcon::StopEvent() const noexcept
{
    return mShared->stopEvent.get();
}

bool TrayIcon::StopAsked() const noexcept
{
    return mShared->stopAsked;
}

bool TrayIcon::SessionEnding() const noexcept
{
    return mShared->sessionEnding;
}

void TrayIcon::LastRecordWritten() noexcept
{
    ::SetEvent(mShared->lastWritten.get());
}

} // namespace Morvane
