#pragma once

#include "watch/WindowSightings.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace Morvane {

// What a window event means to the watch.
enum class WatchEventKind {
    Created,
    Shown,     // shown, or uncloaked: the compositor puts it on the screen
    Hidden,    // hidden, or cloaked: visible by style, kept off the screen
    Destroyed,
    Other,
};

[[nodiscard]] WatchEventKind KindOfWinEvent(DWORD event) noexcept;

// Whether an event is worth queueing. Events arrive after the fact: by the time a hide or destroy
// event is heard the window may be gone, and a question to it fails. A window the watch tracks is
// known to be a top-level window, so its events are kept without a question; any other window
// must first prove it is one, and only its creation or showing matters.
enum class EventFilter {
    Drop,
    Keep,
    KeepIfTopLevel,
};

[[nodiscard]] EventFilter FilterWinEvent(WatchEventKind kind, LONG objectId, LONG childId, bool tracked) noexcept;

// The event's own time (the tick count it carries, in milliseconds) on the watch's clock, given
// the tick count and the watch's clock read together now. The tick count wraps after 49.7 days;
// a time ahead of now (the two are read apart) counts as now.
[[nodiscard]] long long EventTimeOnWatchClock(DWORD eventTick, DWORD nowTick, long long now) noexcept;

// One event as queued: the window, what happened, when it happened.
struct WatchEvent {
    std::uint64_t window = 0;
    WatchEventKind kind = WatchEventKind::Other;
    long long at = 0; // microseconds of the watch's clock
};

// The work of the event hook's callback: the filter and the time, no window message, nothing
// else, so that the callback stays short. Runs on the watch thread, as the sightings do.
class WatchEventQueue {
public:
    explicit WatchEventQueue(const WindowSightings& sightings) noexcept : mSightings(sightings) {}

    void Receive(DWORD event, HWND window, LONG objectId, LONG childId, DWORD eventTick);

    // The events queued so far, oldest first.
    [[nodiscard]] std::vector<WatchEvent> Take();

private:
    const WindowSightings& mSightings;
    std::vector<WatchEvent> mEvents;
};

} // namespace Morvane
