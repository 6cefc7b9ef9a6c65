#pragma once

#include "system/CriticalSection.h"
#include "system/UniqueResource.h"
#include "watch/WindowSightings.h"

#include <windows.h>

#include <string>
#include <vector>

namespace Morvane {

// A window that appeared, with what could be read of it at once without a message to it.
struct SeenWindow {
    Appearance appearance;
    DWORD processId = 0;
    DWORD threadId = 0;
    std::wstring className;
    std::wstring caption;
};

// What the watcher saw since the last time it was asked.
struct WatchNews {
    std::vector<SeenWindow> appeared;
    std::vector<Disappearance> vanished;
    std::vector<long long> displayChanges; // when the displays changed, the watch's clock
};

// Watches for top-level windows of other processes that become visible, on a thread of its own
// that pumps messages: a creation/show/hide/destroy and cloak/uncloak event hook (out of
// context), frequent checks of created windows until they show, and a scan of all top-level
// windows a few times a second for what the events miss (a hidden window shown again, where the
// platform sends no show event). A window shows when it is visible and not cloaked. The thread
// never sends a message to another window, so no window can stall it; it hears the displays
// change through a hidden window of its own, and asks for 1 ms waits while it runs.
class WindowWatcher {
public:
    static constexpr long long kScanInterval = 250'000; // microseconds

    WindowWatcher();
    ~WindowWatcher();
    WindowWatcher(const WindowWatcher&) = delete;
    WindowWatcher& operator=(const WindowWatcher&) = delete;

    // Starts the thread and returns once the windows visible now are known (they are not
    // reported); false when the thread could not start.
    [[nodiscard]] bool Start();

    // Ends the thread; the destructor calls this.
    void Stop() noexcept;

    // Signalled whenever news arrive.
    [[nodiscard]] HANDLE NewsEvent() const noexcept { return mNewsEvent.get(); }

    // Takes the news gathered so far.
    [[nodiscard]] WatchNews TakeNews();

private:
    static unsigned __stdcall ThreadMain(void* self);
    void Watch();
    void Publish(WatchNews& news);

    TalvexBasic::UniqueHandle mStopEvent;
    TalvexBasic::UniqueHandle mReadyEvent;
    TalvexBasic::UniqueHandle mNewsEvent;
    TalvexBasic::UniqueHandle mThread;
    TalvexBasic::CriticalSection mNewsLock;
    WatchNews mNews;
};

} // namespace Morvane
