#include "watch/WindowWatcher.h"

#include "MorvaneTrace.h"
#include "capture/WindowAppearance.h"
#include "capture/WindowText.h"
#include "system/HResult.h"
#include "WatchClock.h"
#include "watch/DisplayChangeWindow.h"
#include "watch/TimerPeriod.h"
#include "watch/WatchEvent.h"

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

// The hook's callback has no context argument; it runs only on the watch thread, inside its
// message pump, so the thread's own queue is reached through a thread-local pointer.
thread_local WatchEventQueue* tEvents = nullptr;

void CALLBACK QueueWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG objectId, LONG childId, DWORD,
                            DWORD eventTick)
{
    if (tEvents != nullptr) {
        tEvents->Receive(event, window, objectId, childId, eventTick);
    }
}

UniqueWinEventHook HookWinEvents(DWORD first, DWORD last)
{
    UniqueWinEventHook hook(::SetWinEventHook(first, last, nullptr, QueueWinEvent, 0, 0,
                                              WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
    if (!hook) {
        // The scan alone still catches windows, later.
        (void)MORVANE_FAIL_LAST_ERROR(kWindowWatcher, TalvexBasic::LastErrorRule::Standard,
                                      "SetWinEventHook error:%u.");
    }
    return hook;
}

HWND AsWindow(std::uint64_t bits) noexcept
{
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(bits));
}

// A top-level window's own style says whether it is visible (its parent, the desktop, always
// is): one call, where IsWindow and IsWindowVisible cost two more for another process's window.
// A visible window may still be cloaked, kept off the screen by the compositor (Store apps,
// Start, Search, windows of other virtual desktops): the compositor is asked of visible ones only.
bool ShowsNow(HWND window) noexcept
{
    return (static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE)) & WS_VISIBLE) != 0 && !IsCloakedNow(window);
}

BOOL CALLBACK AddScannedWindow(HWND window, LPARAM context)
{
    reinterpret_cast<std::vector<ScannedWindow>*>(context)->push_back({PointerBits(window), ShowsNow(window)});
    return TRUE;
}

// All top-level windows with the cheapest look at each; the owner is asked only of windows that
// show and were not seen showing, so that an idle desktop costs one call a window a scan, and one
// more a visible window.
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

// The displays' outline as system metrics give it: a few cheap calls a scan notice a change that
// comes without WM_DISPLAYCHANGE (Wine applies RandR changes without telling the windows).
struct DisplayOutline {
    int monitors = 0;
    RECT virtualScreen{};

    static DisplayOutline Now() noexcept
    {
        DisplayOutline outline;
        outline.monitors = ::GetSystemMetrics(SM_CMONITORS);
        outline.virtualScreen.left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
        outline.virtualScreen.top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
        outline.virtualScreen.right = outline.virtualScreen.left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
        outline.virtualScreen.bottom = outline.virtualScreen.top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
        return outline;
    }

    [[nodiscard]] bool operator==(const DisplayOutline& other) const noexcept
    {
        return monitors == other.monitors && ::EqualRect(&virtualScreen, &other.virtualScreen);
    }
};

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
    if (news.appeared.empty() && news.vanished.empty() && news.displayChanges.empty()) {
        return;
    }
    {
        const TalvexBasic::CriticalSectionLock lock(mNewsLock);
        std::move(news.appeared.begin(), news.appeared.end(), std::back_inserter(mNews.appeared));
        std::move(news.vanished.begin(), news.vanished.end(), std::back_inserter(mNews.vanished));
        mNews.displayChanges.insert(mNews.displayChanges.end(), news.displayChanges.begin(),
                                    news.displayChanges.end());
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
    const UniqueTimerPeriod timerPeriod = BeginMillisecondTimer();
    WindowSightings sightings;
    WatchEventQueue events(sightings);
    tEvents = &events;
    DisplayChangeWindow displays;
    // The thread's message queue exists before the hooks, which post into it. Cloaking events
    // lie far from the others: a hook over the whole range would hear every move of every window.
    MSG message{};
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    const UniqueWinEventHook hook = HookWinEvents(EVENT_OBJECT_CREATE, EVENT_OBJECT_HIDE);
    const UniqueWinEventHook cloakHook = HookWinEvents(EVENT_OBJECT_CLOAKED, EVENT_OBJECT_UNCLOAKED);

    sightings.Baseline(ScanTopLevelWindows(sightings));
    ::SetEvent(mReadyEvent.get());

    bool overflowTold = false;
    long long nextScan = WatchMicroseconds() + kScanInterval;
    DisplayOutline outline = DisplayOutline::Now();
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
        news.displayChanges = displays.TakeChanges();
        if (!news.displayChanges.empty()) {
            outline = DisplayOutline::Now(); // told already: the scan need not tell it again
        }

        for (const WatchEvent& event : events.Take()) {
            Appearance appearance;
            Disappearance disappearance;
            switch (event.kind) {
            case WatchEventKind::Created:
                if (sightings.Created(event.window, event.at) == WindowSightings::Added::Overflow && !overflowTold) {
                    overflowTold = true;
                    MORVANE_TRACE(kWindowWatcher, "More than %u windows wait to show: further ones are dropped.",
                                  static_cast<unsigned>(WindowSightings::kPendingCap));
                }
                break;
            case WatchEventKind::Shown:
                if (sightings.Looked(event.window, ShowsNow(AsWindow(event.window)), WatchMicroseconds(),
                                     CaughtBy::Event, appearance)) {
                    news.appeared.push_back(Describe(appearance));
                }
                break;
            case WatchEventKind::Hidden:
            case WatchEventKind::Destroyed:
                // When it happened, not when it was heard: the window may be long gone by now.
                if (sightings.Vanished(event.window, event.at, event.kind == WatchEventKind::Destroyed,
                                       disappearance)) {
                    news.vanished.push_back(disappearance);
                }
                break;
            case WatchEventKind::Other:
                break;
            }
        }
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
            const DisplayOutline outlineNow = DisplayOutline::Now();
            if (!(outlineNow == outline)) {
                outline = outlineNow;
                if (news.displayChanges.empty()) {
                    news.displayChanges.push_back(now);
                }
            }
            nextScan = WatchMicroseconds() + kScanInterval;
        }
        Publish(news);
    }
    tEvents = nullptr;
}

} // namespace Morvane
