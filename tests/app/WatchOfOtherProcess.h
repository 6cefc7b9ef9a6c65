#pragma once

// A watch that runs in another process, as the end-to-end tests find and end it.

#include "watch/TrayIcon.h"
#include "watch/WatchSignals.h"

#include <windows.h>

#include <thread>

namespace TestSupport {

// The icon's window of the watch that runs in another process; null while there is none.
inline HWND IconWindowOfOtherProcess()
{
    HWND window = nullptr;
    while ((window = ::FindWindowExW(nullptr, window, Morvane::kTrayWindowClass, nullptr)) != nullptr) {
        DWORD processId = 0;
        ::GetWindowThreadProcessId(window, &processId);
        if (processId != ::GetCurrentProcessId()) {
            return window;
        }
    }
    return nullptr;
}

// Whatever fails in a test, the watch that a thread runs ends and the thread is joined.
struct WatchThreadEnding {
    std::thread& thread;
    ~WatchThreadEnding()
    {
        if (thread.joinable()) {
            (void)Morvane::SignalRunningWatchToStop();
            thread.join();
        }
    }
};

} // namespace TestSupport
