#include "watch/WatchEvent.h"

#include "WatchClock.h"
#include "system/HResult.h"

#include <utility>

namespace Morvane {

WatchEventKind KindOfWinEvent(DWORD event) noexcept
{
    switch (event) {
    case EVENT_OBJECT_CREATE:
        return WatchEventKind::Created;
    case EVENT_OBJECT_SHOW:
    case EVENT_OBJECT_UNCLOAKED:
        return WatchEventKind::Shown;
    case EVENT_OBJECT_HIDE:
    case EVENT_OBJECT_CLOAKED:
        return WatchEventKind::Hidden;
    case EVENT_OBJECT_DESTROY:
        return WatchEventKind::Destroyed;
    default:
        return WatchEventKind::Other;
    }
}

EventFilter FilterWinEvent(WatchEventKind kind, LONG objectId, LONG childId, bool tracked) noexcept
{
    if (kind == WatchEventKind::Other || objectId != OBJID_WINDOW || childId != CHILDID_SELF) {
        return EventFilter::Drop;
    }
    if (tracked) {
        return EventFilter::Keep;
    }
    // An untracked window that hides or goes was not showing as far as the watch knows.
    return kind == WatchEventKind::Created || kind == WatchEventKind::Shown ? EventFilter::KeepIfTopLevel
                                                                          : EventFilter::Drop;
}

long long EventTimeOnWatchClock(DWORD eventTick, DWORD nowTick, long long now) noexcept
{
    // Unsigned difference: right across the wrap; a "future" event reads as a huge age.
    const DWORD age = nowTick - eventTick;
    if (age > 0x7FFFFFFFu) {
        return now;
    }
    return now - static_cast<long long>(age) * 1000;
}

void WatchEventQueue::Receive(DWORD event, HWND window, LONG objectId, LONG childId, DWORD eventTick)
{
    if (window == nullptr) {
        return;
    }
    const WatchEventKind kind = KindOfWinEvent(event);
    const std::uint64_t bits = TalvexBasic::PointerBits(window);
    const EventFilter filter = FilterWinEvent(kind, objectId, childId, mSightings.Tracks(bits));
    if (filter == EventFilter::Drop ||
        (filter == EventFilter::KeepIfTopLevel && ::GetAncestor(window, GA_ROOT) != window)) {
        return;
    }
    const DWORD nowTick = ::GetTickCount();
    mEvents.push_back({bits, kind, EventTimeOnWatchClock(eventTick, nowTick, WatchMicroseconds())});
}

std::vector<WatchEvent> WatchEventQueue::Take()
{
    return std::exchange(mEvents, {});
}

} // namespace Morvane
