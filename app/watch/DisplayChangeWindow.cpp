#include "watch/DisplayChangeWindow.h"

#include "MorvaneTrace.h"
#include "WatchClock.h"
#include "system/HResult.h"

#include <utility>

namespace Morvane {
namespace {

constexpr const char* kDisplayChangeWindow = "Morvane::DisplayChangeWindow";

bool RegisterWindowClass(WNDPROC procedure) noexcept
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = DisplayChangeWindow::kClassName;
    // A second watcher in the process finds the class there already.
    return ::RegisterClassExW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

} // namespace

DisplayChangeWindow::DisplayChangeWindow()
{
    if (!RegisterWindowClass(Procedure)) {
        (void)MORVANE_FAIL_LAST_ERROR(kDisplayChangeWindow, TalvexBasic::LastErrorRule::Standard,
                                      "RegisterClassExW error:%u.");
        return;
    }
    mWindow.reset(::CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), this));
    if (!mWindow) {
        (void)MORVANE_FAIL_LAST_ERROR(kDisplayChangeWindow, TalvexBasic::LastErrorRule::Standard,
                                      "CreateWindowExW error:%u.");
    }
}

std::vector<long long> DisplayChangeWindow::TakeChanges()
{
    return std::exchange(mChanges, {});
}

LRESULT CALLBACK DisplayChangeWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    } else if (message == WM_DISPLAYCHANGE) {
        auto* self = reinterpret_cast<DisplayChangeWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr) {
            self->mChanges.push_back(WatchMicroseconds());
        }
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace Morvane
