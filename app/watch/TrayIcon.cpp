#include "watch/TrayIcon.h"

#include "MorvaneTrace.h"
#include "basic/StringFormat.h"

#include <shellapi.h>

#include <cwchar>
#include <memory>
#include <new>

namespace Morvane {
namespace {

constexpr const char* kTrayIcon = "Morvane::TrayIcon";
constexpr wchar_t kWindowClass[] = L"Morvane.Watch";
constexpr UINT kIconMessage = WM_APP + 1;
constexpr UINT kIconId = 1;
constexpr UINT kOpenPageCommand = 1;
constexpr UINT kStopCommand = 2;
constexpr DWORD kRemovalWaitMilliseconds = 100;

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

} // namespace

TrayIcon::TrayIcon(std::wstring pagePath, std::function<void()> onSessionEnd)
    : mPagePath(std::move(pagePath)), mOnSessionEnd(std::move(onSessionEnd))
{
}

TrayIcon::~TrayIcon()
{
    RemoveIcon();
    if (mRemoval) {
        // The icon goes with the process at the latest; the end waits only a little for it.
        DWORD removed = 0;
        if (::WaitForSingleObject(mRemoval.get(), kRemovalWaitMilliseconds) == WAIT_OBJECT_0 &&
            ::GetExitCodeThread(mRemoval.get(), &removed)) {
            MORVANE_TRACE(kTrayIcon, "Shell_NotifyIconW(NIM_DELETE) return:%u.", static_cast<unsigned>(removed));
        } else {
            MORVANE_TRACE(kTrayIcon, "Shell_NotifyIconW(NIM_DELETE) has not returned yet.");
        }
    }
    if (mWindow != nullptr) {
        // Never shown, so destroying it costs nothing.
        ::DestroyWindow(mWindow);
    }
}

void TrayIcon::RemoveIcon()
{
    if (!mIconShown) {
        return;
    }
    mIconShown = false;
    // Also called by the destructor, so nothing here may throw; without memory the icon goes with
    // the process.
    std::unique_ptr<NOTIFYICONDATAW> data(new (std::nothrow) NOTIFYICONDATAW(IconData(mWindow)));
    if (data == nullptr) {
        return;
    }
    mRemoval.reset(::CreateThread(nullptr, 0, RemoveIconThread, data.get(), 0, nullptr));
    if (mRemoval) {
        (void)data.release(); // the thread's now
        return;
    }
    // Without a thread of its own the end waits for the shell after all.
    const DWORD removed = RemoveIconThread(data.release());
    MORVANE_TRACE(kTrayIcon, "Shell_NotifyIconW(NIM_DELETE) return:%u.", static_cast<unsigned>(removed));
}

// Writes no trace line: the logger may be gone by the time the shell answers.
DWORD WINAPI TrayIcon::RemoveIconThread(void* parameter)
{
    const std::unique_ptr<NOTIFYICONDATAW> data(static_cast<NOTIFYICONDATAW*>(parameter));
    return ::Shell_NotifyIconW(NIM_DELETE, data.get()) != FALSE ? 1 : 0;
}

void TrayIcon::Show()
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExW(&windowClass);
    // A top-level window, not a message-only one: only those receive the end of the session.
    mWindow = ::CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"Morvane", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                windowClass.hInstance, this);
    if (mWindow == nullptr) {
        (void)MORVANE_FAIL_LAST_ERROR(kTrayIcon, TalvexBasic::LastErrorRule::Standard, "CreateWindowExW error:%u.");
        return;
    }
    NOTIFYICONDATAW data = IconData(mWindow);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kIconMessage;
    data.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    wcsncpy_s(data.szTip, TooltipText(mCaught).c_str(), _TRUNCATE);
    mIconShown = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    MORVANE_TRACE(kTrayIcon, "Shell_NotifyIconW(NIM_ADD) return:%d.", mIconShown ? 1 : 0);
}

void TrayIcon::SetCaughtCount(unsigned caught)
{
    mCaught = caught;
    if (!mIconShown) {
        return;
    }
    NOTIFYICONDATAW data = IconData(mWindow);
    data.uFlags = NIF_TIP;
    wcsncpy_s(data.szTip, TooltipText(mCaught).c_str(), _TRUNCATE);
    ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayIcon::ShowMenu()
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
    ::SetForegroundWindow(mWindow);
    const UINT chosen = static_cast<UINT>(
        ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, mWindow, nullptr));
    ::DestroyMenu(menu);
    if (chosen == kOpenPageCommand) {
        const auto opened = reinterpret_cast<INT_PTR>(
            ::ShellExecuteW(nullptr, L"open", mPagePath.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        if (opened <= 32) {
            MORVANE_TRACE_W(kTrayIcon, L"ShellExecuteW(%ls) return:%d.", mPagePath.c_str(), static_cast<int>(opened));
        }
    } else if (chosen == kStopCommand) {
        mStopAsked = true;
    }
}

LRESULT TrayIcon::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case kIconMessage:
        if (LOWORD(lParam) == WM_RBUTTONUP || LOWORD(lParam) == WM_LBUTTONUP || LOWORD(lParam) == WM_CONTEXTMENU) {
            ShowMenu();
        }
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        if (wParam != FALSE) {
            mSessionEnding = true;
            mStopAsked = true;
            if (mOnSessionEnd) {
                mOnSessionEnd();
            }
        }
        return 0;
    default:
        return ::DefWindowProcW(mWindow, message, wParam, lParam);
    }
}

LRESULT CALLBACK TrayIcon::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
        static_cast<TrayIcon*>(creation->lpCreateParams)->mWindow = window;
    }
    auto* icon = reinterpret_cast<TrayIcon*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return icon != nullptr ? icon->Handle(message, wParam, lParam) : ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace Morvane
