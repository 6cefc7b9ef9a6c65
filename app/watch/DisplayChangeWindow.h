#pragma once

#include "system/UniqueResource.h"

#include <windows.h>

#include <vector>

namespace Morvane {

struct WindowHandleTraits {
    using Type = HWND;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type window) noexcept { ::DestroyWindow(window); }
};
using UniqueWindow = TalvexBasic::UniqueResource<WindowHandleTraits>;

// A hidden top-level window that hears when the displays change (a monitor added or removed, a
// dock, a new resolution or scale): the system tells every top-level window with
// WM_DISPLAYCHANGE, and a message-only window is not one of them. It lives on the thread that
// made it, which must pump messages.
class DisplayChangeWindow {
public:
    static constexpr wchar_t kClassName[] = L"Morvane.WatchDisplays";

    // A window that cannot be made costs a trace line; the watch then lists the monitors only
    // when it writes the record.
    DisplayChangeWindow();
    DisplayChangeWindow(const DisplayChangeWindow&) = delete;
    DisplayChangeWindow& operator=(const DisplayChangeWindow&) = delete;

    [[nodiscard]] HWND Handle() const noexcept { return mWindow.get(); }

    // The times (the watch's clock) of the changes heard since the last call, oldest first.
    [[nodiscard]] std::vector<long long> TakeChanges();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::vector<long long> mChanges;
    UniqueWindow mWindow;
};

} // namespace Morvane
