#pragma once

#include "system/UniqueResource.h"

#include <windows.h>

#include <memory>
#include <string>

namespace Morvane {

// The icon's window: its class, and the message through which the shell tells of clicks.
constexpr wchar_t kTrayWindowClass[] = L"Morvane.Watch";
constexpr UINT kTrayIconMessage = WM_APP + 1;

// The watch's window of its own: hidden, it receives the end of the session, and, where the shell
// has a notification area, it shows the icon whose tooltip counts the windows caught and whose
// menu opens the run page or stops the watch. Window, icon and menu live on a thread of their own,
// so that the menu's modal loop, opening the page or a slow shell never hold up the captures.
// The icon is added again when the shell starts anew (TaskbarCreated) and tried again for a while
// when the shell refuses it (IconRetry).
class TrayIcon {
public:
    // pagePath: the run page that the menu opens.
    explicit TrayIcon(std::wstring pagePath);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Starts the icon's thread and returns once it made the window and tried the icon. No icon is
    // no failure.
    void Show();

    // Both hand the work to the icon's thread and return at once.
    void SetCaughtCount(unsigned caught);
    // Takes the icon away, so that the watch's end does not wait for the shell (Wine's shell hides
    // its notification area with the last icon, which takes seconds without a window manager). The
    // window stays, for the end of the session.
    void RemoveIcon();

    // Set once the menu's stop was chosen or the session ends.
    [[nodiscard]] HANDLE StopEvent() const noexcept;
    [[nodiscard]] bool StopAsked() const noexcept;
    // True when the session ends: the process may be ended soon after.
    [[nodiscard]] bool SessionEnding() const noexcept;
    // The last record is written: the window may answer the end of the session.
    void LastRecordWritten() noexcept;

private:
    struct Shared; // what the icon's thread and this object both hold, so the thread may outlive it
    std::shared_ptr<Shared> mShared;
    TalvexBasic::UniqueHandle mThread;
    unsigned long long mRemovalAskedAt = 0; // GetTickCount64 when RemoveIcon was first called
};

} // namespace Morvane
