// The watch's window events and the platform around it: events heard after their window went (fed
// to the hook's callback unit, as Wine raises none), cloaked windows, the displays changing, and
// the 1 ms timer while the watcher runs.

#include "WatchClock.h"
#include "record/RunRecord.h"
#include "record/RunRecorder.h"
#include "support/CompositorStandIn.h"
#include "support/DebugLineCapture.h"
#include "support/FixtureProcess.h"
#include "support/ImportPatch.h"
#include "system/HResult.h"
#include "system/UniqueResource.h"
#include "watch/DisplayChangeWindow.h"
#include "watch/TimerPeriod.h"
#include "watch/WatchEvent.h"
#include "watch/WindowWatcher.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

TEST_SUPPORT_IMPORT_SLOT(timeBeginPeriod);
TEST_SUPPORT_IMPORT_SLOT(timeEndPeriod);
TEST_SUPPORT_IMPORT_SLOT(SetProcessInformation);
TEST_SUPPORT_IMPORT_SLOT(EnumDisplayMonitors);
TEST_SUPPORT_IMPORT_SLOT(GetMonitorInfoW);
TEST_SUPPORT_IMPORT_SLOT(GetSystemMetrics);

namespace {

using Morvane::WatchEvent;
using Morvane::WatchEventKind;
using TalvexBasic::PointerBits;
using UniqueWindow = Morvane::UniqueWindow;

constexpr long long kMs = 1000;

UniqueWindow MakeWindow(DWORD style, HWND parent)
{
    return UniqueWindow(::CreateWindowExW(0, L"STATIC", L"WatchEvent", style, 10, 10, 50, 50, parent, nullptr,
                                          ::GetModuleHandleW(nullptr), nullptr));
}

// The callback's unit with real handles: a top-level window that was destroyed before its events
// are heard, one alive, and a child window. Events of a tracked window are kept whatever became
// of it, and carry the time they happened, not the time they were heard.
TEST(WatchEventQueue, KeepsLateEventsOfTrackedWindowsWithTheirOwnTime)
{
    UniqueWindow gone = MakeWindow(WS_POPUP, nullptr);
    UniqueWindow alive = MakeWindow(WS_POPUP, nullptr);
    ASSERT_TRUE(gone && alive);
    UniqueWindow child = MakeWindow(WS_CHILD, alive.get());
    ASSERT_TRUE(child);
    const HWND goneHandle = gone.get();
    Morvane::WindowSightings sightings;
    sightings.Baseline({{PointerBits(goneHandle), true}});
    gone.reset();
    ASSERT_FALSE(::IsWindow(goneHandle));

    struct Case {
        const char* name;
        DWORD event;
        HWND window;
        LONG objectId;
        bool kept;
        WatchEventKind kind;
    };
    const Case cases[] = {
        {"destroyed, tracked", EVENT_OBJECT_DESTROY, goneHandle, OBJID_WINDOW, true, WatchEventKind::Destroyed},
        {"hidden, tracked", EVENT_OBJECT_HIDE, goneHandle, OBJID_WINDOW, true, WatchEventKind::Hidden},
        {"cloaked, tracked", EVENT_OBJECT_CLOAKED, goneHandle, OBJID_WINDOW, true, WatchEventKind::Hidden},
        {"uncloaked, tracked", EVENT_OBJECT_UNCLOAKED, goneHandle, OBJID_WINDOW, true, WatchEventKind::Shown},
        {"its client area", EVENT_OBJECT_DESTROY, goneHandle, OBJID_CLIENT, false, WatchEventKind::Other},
        {"no window", EVENT_OBJECT_DESTROY, nullptr, OBJID_WINDOW, false, WatchEventKind::Other},
        {"name change", EVENT_OBJECT_NAMECHANGE, goneHandle, OBJID_WINDOW, false, WatchEventKind::Other},
        {"created, alive", EVENT_OBJECT_CREATE, alive.get(), OBJID_WINDOW, true, WatchEventKind::Created},
        {"uncloaked, alive", EVENT_OBJECT_UNCLOAKED, alive.get(), OBJID_WINDOW, true, WatchEventKind::Shown},
        {"hidden, untracked", EVENT_OBJECT_HIDE, alive.get(), OBJID_WINDOW, false, WatchEventKind::Other},
        {"created, child", EVENT_OBJECT_CREATE, child.get(), OBJID_WINDOW, false, WatchEventKind::Other},
        {"shown, child", EVENT_OBJECT_SHOW, child.get(), OBJID_WINDOW, false, WatchEventKind::Other},
    };
    // The tick count moves in steps (15.6 ms on Windows, 1 ms under Wine).
    constexpr long long kTickStep = 16 * kMs;
    constexpr DWORD kAgeMs = 120;
    for (const Case& one : cases) {
        SCOPED_TRACE(one.name);
        Morvane::WatchEventQueue queue(sightings);
        const long long before = Morvane::WatchMicroseconds();
        queue.Receive(one.event, one.window, one.objectId, CHILDID_SELF, ::GetTickCount() - kAgeMs);
        const long long after = Morvane::WatchMicroseconds();
        const std::vector<WatchEvent> events = queue.Take();
        ASSERT_EQ(events.size(), one.kept ? 1u : 0u);
        if (one.kept) {
            EXPECT_EQ(events[0].window, PointerBits(one.window));
            EXPECT_EQ(events[0].kind, one.kind);
            EXPECT_GE(events[0].at, before - kAgeMs * kMs - kTickStep);
            EXPECT_LE(events[0].at, after - kAgeMs * kMs + kTickStep);
        }
        EXPECT_TRUE(queue.Take().empty());
    }
}

// The compositor as it answers for cloaked windows.
std::atomic<HWND> gCloaked{nullptr};

HRESULT WINAPI CloakingDwmGetWindowAttribute(HWND window, DWORD attribute, void* value, DWORD size)
{
    if (attribute != 14 || size != sizeof(DWORD)) {
        return E_INVALIDARG;
    }
    *static_cast<DWORD*>(value) = window == gCloaked.load() ? 1 : 0;
    return S_OK;
}

// Waits for the watcher's news until the test says it has what it waited for.
template <typename Done> bool WaitForNews(Morvane::WindowWatcher& watcher, Morvane::WatchNews& gathered, Done done)
{
    const ULONGLONG giveUpAt = ::GetTickCount64() + 10'000;
    while (!done(gathered)) {
        if (::GetTickCount64() >= giveUpAt) {
            return false;
        }
        (void)::WaitForSingleObject(watcher.NewsEvent(), 100);
        Morvane::WatchNews news = watcher.TakeNews();
        gathered.appeared.insert(gathered.appeared.end(), news.appeared.begin(), news.appeared.end());
        gathered.vanished.insert(gathered.vanished.end(), news.vanished.begin(), news.vanished.end());
        gathered.displayChanges.insert(gathered.displayChanges.end(), news.displayChanges.begin(),
                                       news.displayChanges.end());
    }
    return true;
}

bool AppearedOf(const Morvane::WatchNews& news, HWND window)
{
    return std::any_of(news.appeared.begin(), news.appeared.end(),
                       [&](const Morvane::SeenWindow& seen) { return seen.appearance.window == PointerBits(window); });
}

bool VanishedOf(const Morvane::WatchNews& news, HWND window)
{
    return std::any_of(news.vanished.begin(), news.vanished.end(),
                       [&](const Morvane::Disappearance& gone) { return gone.window == PointerBits(window); });
}

// A window of another process, visible by style but cloaked when the watch begins, shows for
// the watch only when uncloaked, and goes when cloaked again.
TEST(WindowWatcher, ACloakedWindowShowsWhenUncloaked)
{
    TestSupport::FixtureProcess fixture;
    ASSERT_TRUE(fixture.Start()) << fixture.Failure();
    TestSupport::FixtureWindowSpec layout;
    layout.rect = RECT{620, 40, 760, 140};
    layout.className = L"MorvaneFixtureCloaked";
    layout.fill = RGB(30, 150, 90);
    const TestSupport::FixtureWindow window = fixture.Open(layout);
    ASSERT_TRUE(window) << window.failure;
    gCloaked = window.handle;
    const TestSupport::CompositorStandIn compositor(&CloakingDwmGetWindowAttribute);
    {
        Morvane::WindowWatcher watcher;
        ASSERT_TRUE(watcher.Start());
        Morvane::WatchNews news;
        // Two scans with the window cloaked: it does not show.
        ::Sleep(2 * static_cast<DWORD>(Morvane::WindowWatcher::kScanInterval / kMs));
        news = watcher.TakeNews();
        EXPECT_FALSE(AppearedOf(news, window.handle));

        gCloaked = nullptr;
        ASSERT_TRUE(WaitForNews(watcher, news, [&](const Morvane::WatchNews& got) { return AppearedOf(got, window.handle); }));
        gCloaked = window.handle;
        ASSERT_TRUE(WaitForNews(watcher, news, [&](const Morvane::WatchNews& got) { return VanishedOf(got, window.handle); }));
        EXPECT_TRUE(::IsWindowVisible(window.handle));
        watcher.Stop();
    }
    gCloaked = nullptr;
}

// One monitor more than there is, once the test says so; every other metric is the real one.
std::atomic<int> gExtraMonitors{0};
decltype(&::GetSystemMetrics) gRealGetSystemMetrics = nullptr;

int WINAPI MonitorAddingGetSystemMetrics(int index)
{
    return gRealGetSystemMetrics(index) + (index == SM_CMONITORS ? gExtraMonitors.load() : 0);
}

// The displays changing reaches the watcher's own hidden top-level window, which the system
// tells along with every other one; the news say when. A change nobody announces (Wine applies
// RandR changes without the message) is noticed by the next scan.
TEST(WindowWatcher, HearsTheDisplaysChange)
{
    gExtraMonitors = 0;
    TestSupport::ImportPatch<decltype(&::GetSystemMetrics)> metrics(__imp_GetSystemMetrics,
                                                                   &MonitorAddingGetSystemMetrics);
    gRealGetSystemMetrics = metrics.Original();
    Morvane::WindowWatcher watcher;
    ASSERT_TRUE(watcher.Start());
    const HWND listener = ::FindWindowW(Morvane::DisplayChangeWindow::kClassName, nullptr);
    ASSERT_NE(listener, nullptr);
    EXPECT_FALSE(::IsWindowVisible(listener));
    EXPECT_EQ(::GetAncestor(listener, GA_PARENT), ::GetDesktopWindow()); // not a message-only window
    const long long before = Morvane::WatchMicroseconds();
    DWORD_PTR result = 0;
    ASSERT_NE(::SendMessageTimeoutW(listener, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080), SMTO_ABORTIFHUNG, 5000,
                                    &result),
              0);
    const long long after = Morvane::WatchMicroseconds();
    Morvane::WatchNews news;
    ASSERT_TRUE(WaitForNews(watcher, news, [](const Morvane::WatchNews& got) { return !got.displayChanges.empty(); }));
    ASSERT_EQ(news.displayChanges.size(), 1u);
    EXPECT_GE(news.displayChanges[0], before);
    EXPECT_LE(news.displayChanges[0], after);

    // A scan or two later, still nothing more; then a monitor comes unannounced.
    ::Sleep(2 * static_cast<DWORD>(Morvane::WindowWatcher::kScanInterval / kMs));
    EXPECT_TRUE(watcher.TakeNews().displayChanges.empty());
    news = Morvane::WatchNews{};
    const long long added = Morvane::WatchMicroseconds();
    gExtraMonitors = 1;
    ASSERT_TRUE(WaitForNews(watcher, news, [](const Morvane::WatchNews& got) { return !got.displayChanges.empty(); }));
    EXPECT_EQ(news.displayChanges.size(), 1u);
    EXPECT_GE(news.displayChanges[0], added);
    watcher.Stop();
    gExtraMonitors = 0;
    EXPECT_EQ(::FindWindowW(Morvane::DisplayChangeWindow::kClassName, nullptr), nullptr);
}

// What the timer and power routines were asked.
struct TimerCalls {
    std::vector<UINT> begun;
    std::vector<UINT> ended;
    std::vector<PROCESS_POWER_THROTTLING_STATE> throttling;
    MMRESULT beginResult = TIMERR_NOERROR;
    BOOL throttlingResult = TRUE;
};
TimerCalls gTimer;

MMRESULT WINAPI CountingTimeBeginPeriod(UINT period)
{
    gTimer.begun.push_back(period);
    return gTimer.beginResult;
}

MMRESULT WINAPI CountingTimeEndPeriod(UINT period)
{
    gTimer.ended.push_back(period);
    return TIMERR_NOERROR;
}

BOOL WINAPI CountingSetProcessInformation(HANDLE process, PROCESS_INFORMATION_CLASS kind, LPVOID value, DWORD size)
{
    if (process == ::GetCurrentProcess() && kind == ProcessPowerThrottling && size == sizeof(PROCESS_POWER_THROTTLING_STATE)) {
        gTimer.throttling.push_back(*static_cast<PROCESS_POWER_THROTTLING_STATE*>(value));
    }
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return gTimer.throttlingResult;
}

// The watcher asks for 1 ms waits, opted out of the throttling that would ignore the request,
// from its start to its end; a refusal of either costs a trace line and nothing else.
TEST(WindowWatcher, AsksForMillisecondWaitsWhileItRuns)
{
    const struct {
        MMRESULT beginResult;
        BOOL throttlingResult;
        unsigned ended;
        const char* line; // a trace line expected, or nothing
    } cases[] = {
        {TIMERR_NOERROR, TRUE, 1, nullptr},
        {TIMERR_NOCANDO, TRUE, 0, "timeBeginPeriod(1) return:97."},
        {TIMERR_NOERROR, FALSE, 1, "SetProcessInformation(ProcessPowerThrottling) error:87."},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(one.line == nullptr ? "granted" : one.line);
        gTimer = TimerCalls{};
        gTimer.beginResult = one.beginResult;
        gTimer.throttlingResult = one.throttlingResult;
        TestSupport::DebugLineCapture capture;
        TestSupport::ImportPatch<decltype(&::timeBeginPeriod)> begin(__imp_timeBeginPeriod, &CountingTimeBeginPeriod);
        TestSupport::ImportPatch<decltype(&::timeEndPeriod)> end(__imp_timeEndPeriod, &CountingTimeEndPeriod);
        TestSupport::ImportPatch<decltype(&::SetProcessInformation)> power(__imp_SetProcessInformation,
                                                                          &CountingSetProcessInformation);
        {
            Morvane::WindowWatcher watcher;
            ASSERT_TRUE(watcher.Start());
            EXPECT_EQ(gTimer.begun, std::vector<UINT>{1});
            EXPECT_TRUE(gTimer.ended.empty());
            ASSERT_EQ(gTimer.throttling.size(), 1u);
            EXPECT_EQ(gTimer.throttling[0].Version, static_cast<ULONG>(PROCESS_POWER_THROTTLING_CURRENT_VERSION));
            EXPECT_EQ(gTimer.throttling[0].ControlMask, static_cast<ULONG>(PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION));
            EXPECT_EQ(gTimer.throttling[0].StateMask, 0u);
        }
        EXPECT_EQ(gTimer.ended, std::vector<UINT>(one.ended, 1));
        EXPECT_EQ(capture.CountContaining("BeginMillisecondTimer"), one.line == nullptr ? 0u : 1u);
        if (one.line != nullptr) {
            EXPECT_EQ(capture.CountContaining(one.line), 1u);
        }
    }
}

// The displays as the fake routines list them: handles 0x1001, 0x1002, ... for the listed ones.
struct FakeMonitor {
    ULONG_PTR handle;
    RECT rect;
    const wchar_t* device;
};
std::vector<FakeMonitor> gMonitors;

BOOL WINAPI FakeEnumDisplayMonitors(HDC, LPCRECT, MONITORENUMPROC callback, LPARAM context)
{
    for (const FakeMonitor& monitor : gMonitors) {
        RECT rect = monitor.rect;
        if (!callback(reinterpret_cast<HMONITOR>(monitor.handle), nullptr, &rect, context)) {
            break;
        }
    }
    return TRUE;
}

BOOL WINAPI FakeGetMonitorInfoW(HMONITOR handle, LPMONITORINFO info)
{
    for (const FakeMonitor& monitor : gMonitors) {
        if (reinterpret_cast<HMONITOR>(monitor.handle) == handle && info->cbSize == sizeof(MONITORINFOEXW)) {
            auto* extended = reinterpret_cast<MONITORINFOEXW*>(info);
            extended->rcMonitor = monitor.rect;
            extended->rcWork = monitor.rect;
            extended->dwFlags = monitor.handle == 0x1001 ? MONITORINFOF_PRIMARY : 0;
            wcscpy_s(extended->szDevice, monitor.device);
            return TRUE;
        }
    }
    return FALSE;
}

// The recorder lists the monitors again when told the displays changed, keeps those that went,
// and the record gives those that came the time they came; the monitors of the start have no such
// member.
TEST(RunRecorder, KeepsEveryMonitorSeenWithTheTimeTheLaterOnesCame)
{
    TestSupport::ImportPatch<decltype(&::EnumDisplayMonitors)> enumerate(__imp_EnumDisplayMonitors,
                                                                        &FakeEnumDisplayMonitors);
    TestSupport::ImportPatch<decltype(&::GetMonitorInfoW)> describe(__imp_GetMonitorInfoW, &FakeGetMonitorInfoW);
    const FakeMonitor primary{0x1001, RECT{0, 0, 1920, 1080}, L"\\\\.\\DISPLAY1"};
    const FakeMonitor docked{0x1002, RECT{1920, 0, 3200, 1024}, L"\\\\.\\DISPLAY2"};
    const FakeMonitor resized{0x1001, RECT{0, 0, 2560, 1440}, L"\\\\.\\DISPLAY1"};
    const std::string kDocked = "2026-12-07T10:00:01.000+00:00";
    const std::string kResized = "2026-12-07T10:00:02.000+00:00";
    Morvane::RunClock clock;
    Morvane::RunRecorder recorder;
    recorder.Start(clock);

    const std::string first = Morvane::FormatHandle(0x1001) + " ";
    const std::string second = Morvane::FormatHandle(0x1002) + " ";
    const struct {
        std::vector<FakeMonitor> listed;
        const std::string* since;
        std::vector<std::string> expected; // each monitor's handle and since, "-" for none
    } steps[] = {
        {{primary}, nullptr, {first + "-"}},
        {{primary, docked}, &kDocked, {first + "-", second + kDocked}},
        {{resized}, &kResized, {first + "-", second + kDocked, first + kResized}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.expected.size());
        gMonitors = step.listed;
        recorder.NoteMonitors(step.since == nullptr ? std::string() : *step.since);
        EXPECT_EQ(recorder.MonitorCount(), step.expected.size());
        const nlohmann::json record = nlohmann::json::parse(Morvane::MakeRunRecordJson(recorder.Summary()));
        std::vector<std::string> found;
        for (const nlohmann::json& monitor : record["monitors"]) {
            found.push_back(monitor["handle"].get<std::string>() + " " +
                            (monitor.contains("since") ? monitor["since"].get<std::string>() : "-"));
        }
        EXPECT_EQ(found, step.expected);
    }
    gMonitors.clear();
}

} // namespace
