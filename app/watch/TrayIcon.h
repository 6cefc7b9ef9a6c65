#pragma once

#include "system/UniqueResource.h"

#include <windows.h>

#include <functional>
#include <string>

namespace Morvane {

// The watch's window of its own: hidden, it receives the end of the session, and, where the shell
// has a notification area, it shows the icon whose tooltip counts the windows caught and whose
// menu opens the run page or stops the watch. Lives on the thread that pumps its messages.
class TrayIcon {
public:
    // pagePath: the run page that the menu opens; onSessionEnd runs when the session ends, before
    // the window answers (the process may be ended right after).
    TrayIcon(std::wstring pagePath, std::function<void()> onSessionEnd);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Makes the window and, if the shell lets it, the icon. No icon is no failure.
    void Show();

    void SetCaughtCount(unsigned caught);

    // Takes the icon away on a thread of its own, so that the watch's end does not wait for the
    // shell (Wine's shell hides its notification area with the last icon, which takes seconds
    // without a window manager). The window stays, for the end of the session.
    void RemoveIcon();

    // True once the menu's stop was chosen or the session ends.
    [[nodiscard]] bool StopAsked() const noexcept { return mStopAsked; }
    // True when the session ends: the process may be ended soon after.
    [[nodiscard]] bool SessionEnding() const noexcept { return mSessionEnding; }

private:
    static DWORD WINAPI RemoveIconThread(void* parameter);
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void ShowMenu();

    std::wstring mPagePath;
    std::function<void()> mOnSessionEnd;
    HWND mWindow = nullptr;
    bool mIconShown = false;
    TalvexBasic::UniqueHandle mRemoval; // the thread that takes the icon away
    bool mStopAsked = false;
    bool mSessionEnding = false;
    unsigned mCaught = 0;
};

} // namespace Morvane
