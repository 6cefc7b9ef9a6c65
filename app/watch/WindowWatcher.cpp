#include "watch/WindowWatcher.h"

#include "MorvaneTrace.h"
#include "capture/WindowText.h"
#include "system/HResult.h"
#include "WatchClock.h"

#include <process.h>

#include <algorithm>
#include <cerrno>

namespace Morvane {
namespace {

using TalvexBasic::PointerBits;

constexpr const char* kWindowWatcher = "Morvane::WindowWatcher";

struct WinEventHookTraits {
    using Type = HWINEVENTHOOK;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type hook) noexcept { ::UnhookWinEvent(hook); }
};
using UniqueWinEventHook = TalvexBasic::UniqueResource<WinEventHookTraits>;

// One event as the hook's callback queued it.
struct RawEvent {
    HWND window = nullptr;
    DWORD event = 0;
    long long at = 0;
};

// The hook's callback has no context argument; it runs only on the watch thread, inside its
// message pump, so the thread's own queue is reached through a thread-local pointer.
thread_local std::vector<RawEvent>* tRawEvents = nullptr;

void CALLBACK QueueWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG objectId, LONG childId, DWORD, DWORD)
{
    // Only top-level windows themselves; no window message, no capture here.
    if (tRawEvents == nullptr || window == nullptr || objectId != OBJID_WINDOW || childId != CHILDID_SELF ||
        ::GetAncestor(window, GA_ROOT) != window) {
        return;
    }
    tRawEvents->push_back({window, event, WatchMicroseconds()});
}

HWND AsWindow(std::uint64_t bits) noexcept
{
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(bits));
}

// A top-level window's own style says whether it shows (its parent, the desktop, always does):
// one call, where IsWindow and IsWindowVisible cost two more for another process's window.
bool ShowsNow(HWND window) noexcept
{
    return (static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE)) & WS_VISIBLE) != 0;
}

BOOL CALLBACK AddScannedWindow(HWND window, LPARAM context)
{
    reinterpret_cast<std::vector<ScannedWindow>*>(context)->push_back({PointerBits(window), ShowsNow(window)});
    return TRUE;
}

// All top-level windows with the cheapest look at each; the owner is asked only of windows that
// show and were not seen showing, so that an idle desktop costs one call a window a scan.
std::vector<ScannedWindow> ScanTopLevelWindows(const WindowSightings& sightings)
{
    std::vector<ScannedWindow> windows;
    windows.reserve(512);
    ::EnumWindows(AddScannedWindow, reinterpret_cast<LPARAM>(&windows));
    const DWORD ownProcess = ::GetCurrentProcessId();
    const auto own = [&](const ScannedWindow& scanned) {
        if (!scanned.visible || sightings.SeenShowing(scanned.window)) {
            return false;
        }
        DWORD processId = 0;
        ::GetWindowThreadProcessId(AsWindow(scanned.window), &processId);
        return processId == ownProcess;
    };
    windows.erase(std::remove_if(windows.begin(), windows.end(), own), windows.end());
    return windows;
}

SeenWindow Describe(const Appearance& appearance)
{
    const HWND window = AsWindow(appearance.window);
    SeenWindow seen;
    seen.appearance = appearance;
    seen.threadId = ::GetWindowThreadProcessId(window, &seen.processId);
    seen.className = ReadClassName(window);
    seen.caption = ReadWholeWindowText(window);
    return seen;
}

// Milliseconds to wait for the next check: rounded up, so a check is never early.
DWORD WaitMilliseconds(long long microseconds) noexcept
{
    return microseconds <= 0 ? 0 : static_cast<DWORD>((microseconds + 999) / 1000);
}

} // namespace

WindowWatcher::WindowWatcher()
    : mStopEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      mReadyEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      mNewsEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

WindowWatcher::~WindowWatcher()
{
    Stop();
}

bool WindowWatcher::Start()
{
    if (!mStopEvent || !mReadyEvent || !mNewsEvent) {
        MORVANE_TRACE(kWindowWatcher, "CreateEventW failed.");
        return false;
    }
    mThread.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadMain, this, 0, nullptr)));
    if (!mThread) {
        MORVANE_TRACE(kWindowWatcher, "_beginthreadex failed errno:%d.", errno);
        return false;
    }
    const HANDLE waits[] = {mReadyEvent.get(), mThread.get()};
    return ::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0;
}

void WindowWatcher::Stop() noexcept
{
    if (mThread) {
        ::SetEvent(mStopEvent.get());
        ::WaitForSingleObject(mThread.get(), INFINITE);
        mThread.reset();
    }
}

WatchNews WindowWatcher::TakeNews()
{
    const TalvexBasic::CriticalSectionLock lock(mNewsLock);
    WatchNews news = std::move(mNews);
    mNews = WatchNews{};
    return news;
}

void WindowWatcher::Publish(WatchNews& news)
{
    if (news.appeared.empty() && news.vanished.empty()) {
        return;
    }
    {
        const TalvexBasic::CriticalSectionLock lock(mNewsLock);
        std::move(news.appeared.begin(), news.appeared.end(), std::back_inserter(mNews.appeared));
        std::move(news.vanished.begin(), news.vanished.end(), std::back_inserter(mNews.vanished));
    }
    news = WatchNews{};
    ::SetEvent(mNewsEvent.get());
}

unsigned __stdcall WindowWatcher::ThreadMain(void* self)
{
    static_cast<WindowWatcher*>(self)->Watch();
    return 0;
}

void WindowWatcher::Watch()
{
    std::vector<RawEvent> rawEvents;
    tRawEvents = &rawEvents;
    // The thread's message queue exists before the hook, which posts into it.
    MSG message{};
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    const UniqueWinEventHook hook(::SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_HIDE, nullptr, QueueWinEvent, 0,
                                                    0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
    if (!hook) {
        // The scan alone still catches windows, later.
        (void)MORVANE_FAIL_LAST_ERROR(kWindowWatcher, TalvexBasic::LastErrorRule::Standard,
                                      "SetWinEventHook error:%u.");
    }

    WindowSightings sightings;
    sightings.Baseline(ScanTopLevelWindows(sightings));
    ::SetEvent(mReadyEvent.get());

    bool overflowTold = false;
    long long nextScan = WatchMicroseconds() + kScanInterval;
    WatchNews news;
    for (;;) {
        long long now = WatchMicroseconds();
        const long long untilDue = sightings.UntilNextDue(now);
        const long long untilScan = nextScan - now;
        const DWORD wait = WaitMilliseconds(untilDue >= 0 ? std::min(untilDue, untilScan) : untilScan);
        const HANDLE stop = mStopEvent.get();
        const DWORD woken = ::MsgWaitForMultipleObjectsEx(1, &stop, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0) {
            break;
        }
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&message);
        }

        for (const RawEvent& raw : rawEvents) {
            Appearance appearance;
            Disappearance disappearance;
            switch (raw.event) {
            case EVENT_OBJECT_CREATE:
                if (sightings.Created(PointerBits(raw.window), raw.at) == WindowSightings::Added::Overflow &&
                    !overflowTold) {
                    overflowTold = true;
                    MORVANE_TRACE(kWindowWatcher, "More than %u windows wait to show: further ones are dropped.",
                                  static_cast<unsigned>(WindowSightings::kPendingCap));
                }
                break;
            case EVENT_OBJECT_SHOW:
                if (sightings.Looked(PointerBits(raw.window), ShowsNow(raw.window), WatchMicroseconds(),
                                     CaughtBy::Event, appearance)) {
                    news.appeared.push_back(Describe(appearance));
                }
                break;
            case EVENT_OBJECT_HIDE:
            case EVENT_OBJECT_DESTROY:
                if (sightings.Vanished(PointerBits(raw.window), raw.at, raw.event == EVENT_OBJECT_DESTROY,
                                       disappearance)) {
                    news.vanished.push_back(disappearance);
                }
                break;
            default:
                break;
            }
        }
        rawEvents.clear();
        if (overflowTold && sightings.WaitingCount() < WindowSightings::kPendingCap / 2) {
            overflowTold = false;
        }

        now = WatchMicroseconds();
        for (const std::uint64_t window : sightings.Due(now)) {
            Appearance appearance;
            if (sightings.Looked(window, ShowsNow(AsWindow(window)), WatchMicroseconds(), CaughtBy::Event,
                                 appearance)) {
                news.appeared.push_back(Describe(appearance));
            }
        }
        if (now >= nextScan) {
            std::vector<Appearance> appeared;
            sightings.Scanned(ScanTopLevelWindows(sightings), WatchMicroseconds(), appeared, news.vanished);
            for (const Appearance& appearance : appeared) {
                news.appeared.push_back(Describe(appearance));
            }
            nextScan = WatchMicroseconds() + kScanInterval;
        }
        Publish(news);
    }
    tRawEvents = nullptr;
}

} // namespace Morvane
