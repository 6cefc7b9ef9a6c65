// The events of a run in the Application log: the rate limit of window events, the counts that end
// a run, the sentences of the message table in the built program (through FormatMessageW, as Event
// Viewer reads them), and the writer's thread, whose ReportEventW is taken through its import slot.

#include "events/RunEventLog.h"
#include "events/RunEvents.h"
#include "events/WindowEventRate.h"
#include "record/RunTally.h"
#include "support/ImportPatch.h"
#include "support/TestPaths.h"
#include "system/UniqueResource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

TEST_SUPPORT_IMPORT_SLOT(ReportEventW);

namespace {

using Morvane::RunEvent;
using Morvane::WindowEventRate;

TEST(WindowEventRate, WritesTenASecondAndTellsTheRestOnce)
{
    // Each step: a window at atMs, or (window false) a look at the clock without one.
    struct Step {
        long long atMs;
        bool window;
        bool written;
        unsigned told; // the count told at this step (before the window's event)
    };
    std::vector<Step> steps;
    for (int index = 0; index < 10; ++index) {
        steps.push_back({1000 + index * 10, true, true, 0}); // ten in the second from 1000
    }
    steps.push_back({1500, true, false, 0}); // the eleventh and twelfth are left out
    steps.push_back({1999, true, false, 0});
    steps.push_back({1999, false, false, 0}); // still their second: nothing told yet
    steps.push_back({2000, true, true, 2});   // the next second: the count first, then the window
    steps.push_back({2001, false, false, 0}); // told once only
    for (int index = 1; index < 10; ++index) {
        steps.push_back({2002, true, true, 0}); // nine more fill the second from 2000
    }
    steps.push_back({2003, true, false, 0});
    steps.push_back({2999, false, false, 0});
    steps.push_back({3000, false, false, 1}); // no window came: the clock tells it
    steps.push_back({3001, true, true, 0});
    steps.push_back({9000, true, true, 0}); // an idle gap changes nothing
    WindowEventRate rate(10);
    EXPECT_EQ(rate.DueAt(), -1);
    for (size_t index = 0; index < steps.size(); ++index) {
        const Step& step = steps[index];
        SCOPED_TRACE("step " + std::to_string(index) + " at " + std::to_string(step.atMs));
        if (step.window) {
            const WindowEventRate::Admission admission = rate.Admit(step.atMs);
            EXPECT_EQ(admission.write, step.written);
            EXPECT_EQ(admission.leftOutTold, step.told);
        } else {
            EXPECT_EQ(rate.Due(step.atMs), step.told);
        }
    }
    EXPECT_EQ(rate.Remaining(), 0u);
}

TEST(WindowEventRate, TheEndTellsWhatIsLeftWhateverTheSecond)
{
    const struct {
        unsigned perSecond;
        unsigned windows; // all in one millisecond
        long long dueAt;
        unsigned remaining;
    } cases[] = {
        {10, 10, -1, 0},
        {10, 11, 6000, 1},
        {10, 250, 6000, 240},
        {1, 3, 6000, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.perSecond) + " a second, " + std::to_string(c.windows) + " windows");
        WindowEventRate rate(c.perSecond);
        unsigned written = 0;
        for (unsigned index = 0; index < c.windows; ++index) {
            written += rate.Admit(5500).write ? 1 : 0;
        }
        EXPECT_EQ(written, std::min(c.windows, c.perSecond));
        EXPECT_EQ(rate.Due(5999), 0u); // still the second they were left out in
        EXPECT_EQ(rate.DueAt(), c.dueAt);
        EXPECT_EQ(rate.Remaining(), c.remaining);
        EXPECT_EQ(rate.Remaining(), 0u);
        EXPECT_EQ(rate.DueAt(), -1);
    }
}

Morvane::RunWindow Entry(const wchar_t* folder, HRESULT record, HRESULT window, HRESULT monitor)
{
    Morvane::RunWindow entry;
    entry.folder = folder;
    entry.shot.record = record;
    entry.shot.window = window;
    entry.shot.monitor = monitor;
    return entry;
}

TEST(RunTally, CountsWindowsAndTheStepsThatFailedAsThePageDoes)
{
    Morvane::RunWindow missed;
    missed.watch.missed = true;
    Morvane::RunWindow dropped = Entry(L"b", S_OK, E_ABORT, E_PENDING);
    dropped.shot.droppedBecause = "hidden";
    Morvane::RunWindow droppedLater = Entry(L"c", S_OK, S_OK, E_ABORT);
    droppedLater.watch.pictureDropped = "moved";
    const struct {
        const char* name;
        Morvane::RunWindow entry;
        unsigned saved, skipped, missed, failed;
    } cases[] = {
        {"saved whole", Entry(L"a", S_OK, S_OK, S_OK), 1, 0, 0, 0},
        {"monitor on purpose", Entry(L"a", S_OK, S_OK, S_FALSE), 1, 0, 0, 0},
        {"monitor still to take", Entry(L"a", S_OK, S_OK, E_PENDING), 1, 0, 0, 0},
        {"record failed", Entry(L"a", E_ACCESSDENIED, S_OK, S_OK), 1, 0, 0, 1},
        {"every step failed", Entry(L"a", E_FAIL, E_OUTOFMEMORY, E_ACCESSDENIED), 1, 0, 0, 3},
        {"aborted without reason", Entry(L"a", S_OK, E_ABORT, S_OK), 1, 0, 0, 1},
        {"dropped window picture", dropped, 1, 0, 0, 0},
        {"dropped monitor picture", droppedLater, 1, 0, 0, 0},
        {"skipped", Entry(L"", E_PENDING, E_PENDING, E_PENDING), 0, 1, 0, 0},
        {"missed", missed, 0, 0, 1, 0},
    };
    Morvane::RunTally all;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Morvane::RunTally one;
        one.CountEntry(c.entry);
        all.CountEntry(c.entry);
        EXPECT_EQ(one.saved, c.saved);
        EXPECT_EQ(one.skipped, c.skipped);
        EXPECT_EQ(one.missed, c.missed);
        EXPECT_EQ(one.failedSteps, c.failed);
    }
    EXPECT_EQ(all.saved, 8u);
    EXPECT_EQ(all.failedSteps, 5u);

    // A watch's monitor picture, taken later.
    Morvane::WindowShotOutcome later;
    later.monitor = E_FAIL;
    all.CountMonitorPicture(later);
    later.monitor = E_ABORT;
    later.droppedBecause = "destroyed";
    all.CountMonitorPicture(later);
    later.monitor = S_OK;
    all.CountMonitorPicture(later);
    EXPECT_EQ(all.failedSteps, 6u);
}

// Their IDs are checked against the message table below; here the level and what each string holds.
TEST(RunEvents, LevelsStringsAndTheWatchEntryCutToLength)
{
    Morvane::RunTally tally{7, 2, 1, 0};
    const RunEvent clean = Morvane::MakeRunEndedEvent(tally, L"C:\\out");
    EXPECT_EQ(clean.type, EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(clean.strings, (std::vector<std::wstring>{L"7", L"2", L"1", L"0", L"C:\\out"}));
    tally.failedSteps = 3;
    const RunEvent failed = Morvane::MakeRunEndedEvent(tally, L"C:\\out");
    EXPECT_EQ(failed.type, EVENTLOG_WARNING_TYPE);
    EXPECT_EQ(failed.strings[3], L"3");
    const RunEvent error = Morvane::MakeRunFailedEvent(Morvane::RunMode::Watch, L"", L"Out of luck.");
    EXPECT_EQ(error.type, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(error.strings, (std::vector<std::wstring>{L"watch", L"(none)", L"Out of luck."}));

    Morvane::RunWindow entry;
    entry.caption = std::wstring(70000, L'c');
    entry.className = L"#32768";
    entry.style = WS_POPUP;
    const Morvane::CaughtWindow window = Morvane::CaughtWindowOf(entry, L"C:\\out\\run");
    EXPECT_EQ(window.kind, L"menu");
    Morvane::SignatureVerdict verdict;
    verdict.state = Morvane::SignatureState::Signed;
    verdict.source = Morvane::SignatureSource::Catalog;
    verdict.signer = L"Some Maker";
    const RunEvent event = Morvane::MakeWindowCaughtEvent(window, verdict);
    ASSERT_EQ(event.strings.size(), 9u);
    EXPECT_EQ(event.strings[0].size(), Morvane::kLongestInsertionString);
    EXPECT_EQ(event.strings[0].substr(event.strings[0].size() - 4), L"c...");
    EXPECT_EQ(event.strings[5], L"signed (catalog)");
    EXPECT_EQ(event.strings[6], L"Some Maker");
}

// Every event as the program makes it, each insertion string a marker of its own.
std::vector<RunEvent> EveryEvent()
{
    Morvane::RunTally tally{11, 12, 13, 14};
    Morvane::CaughtWindow window{L"cap1", L"cls2", L"img3", 44, L"kind5", L"run8", L"win9"};
    Morvane::SignatureVerdict verdict;
    verdict.state = Morvane::SignatureState::Untrusted;
    verdict.signer = L"signer7";
    return {
        Morvane::MakeRunStartedEvent(Morvane::RunMode::OneShot, L"folder2", L"DOMAIN\\user3", L"version4"),
        Morvane::MakeRunEndedEvent(Morvane::RunTally{11, 12, 13, 0}, L"folder5"),
        Morvane::MakeRunEndedEvent(tally, L"folder5"),
        Morvane::MakeWindowCaughtEvent(window, verdict),
        Morvane::MakeWindowEventsLeftOutEvent(31, 32, L"folder33"),
        Morvane::MakeRunFailedEvent(Morvane::RunMode::Watch, L"folder2", L"error3."),
    };
}

struct LibraryTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type module) noexcept { ::FreeLibrary(module); }
};

TEST(RunEventMessages, EveryEventIsASentenceOfTheProgramsMessageTable)
{
    const std::wstring program = TestSupport::ProgramDirectory() + L"\\Morvane.exe";
    const TalvexBasic::UniqueResource<LibraryTraits> module(
        ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module) << ::GetLastError();
    std::vector<DWORD> ids;
    for (const RunEvent& event : EveryEvent()) {
        SCOPED_TRACE(event.id);
        ids.push_back(event.id);
        std::vector<DWORD_PTR> arguments;
        for (const std::wstring& text : event.strings) {
            arguments.push_back(reinterpret_cast<DWORD_PTR>(text.c_str()));
        }
        wchar_t text[4096] = {};
        const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                              module.get(), event.id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                              text, ARRAYSIZE(text), reinterpret_cast<va_list*>(arguments.data()));
        ASSERT_GT(length, 0u) << ::GetLastError();
        const std::wstring sentence(text, length);
        EXPECT_EQ(sentence.find(L"Morvane"), 0u) << sentence.c_str();
        for (size_t index = 0; index < event.strings.size(); ++index) {
            EXPECT_NE(sentence.find(event.strings[index]), std::wstring::npos)
                << "%" << index + 1 << " in " << std::string(sentence.begin(), sentence.end());
        }
        // Nothing left to insert: the table asks for no more strings than the event gives.
        EXPECT_EQ(sentence.find(L'%'), std::wstring::npos) << std::string(sentence.begin(), sentence.end());
    }
    EXPECT_EQ(ids, (std::vector<DWORD>{1000, 1001, 1002, 1010, 1011, 1090}));
}

// What the writer's thread reported, through the import slot of ReportEventW.
struct Reported {
    static inline std::mutex lock;
    static inline std::vector<RunEvent> events;
    static inline std::vector<bool> withUser;
    static inline HANDLE hold = nullptr; // while set and not signalled, a report waits
    static inline std::atomic<int> inside{0};

    static BOOL WINAPI Report(HANDLE, WORD type, WORD, DWORD id, PSID user, WORD count, DWORD, LPCWSTR* strings,
                              LPVOID)
    {
        ++inside;
        if (hold != nullptr) {
            ::WaitForSingleObject(hold, INFINITE);
        }
        RunEvent event{id, type, {}};
        for (WORD index = 0; index < count; ++index) {
            event.strings.emplace_back(strings[index]);
        }
        {
            const std::lock_guard<std::mutex> guard(lock);
            events.push_back(std::move(event));
            withUser.push_back(user != nullptr && ::IsValidSid(user));
        }
        --inside;
        return TRUE;
    }

    static void Clear()
    {
        const std::lock_guard<std::mutex> guard(lock);
        events.clear();
        withUser.clear();
    }
};

Morvane::CaughtWindow TestWindow(int index)
{
    // The test program's own image: unsigned, and read in process.
    const std::wstring image = TestSupport::ProgramDirectory() + L"\\MorvaneTests.exe";
    return {L"Pop-up " + std::to_wstring(index), L"PopClass", image, 77, L"window", L"C:\\run", L"C:\\run\\w"};
}

// ReportEventW taken for the test, its reports held until hold is set.
class RunEventLog : public ::testing::Test {
protected:
    RunEventLog()
    {
        Reported::Clear();
        Reported::hold = hold.get();
    }
    ~RunEventLog() override { Reported::hold = nullptr; }

    const TestSupport::ImportPatch<decltype(&::ReportEventW)> patch{__imp_ReportEventW, &Reported::Report};
    const TalvexBasic::UniqueHandle hold{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

TEST_F(RunEventLog, WritesInOrderOffTheCallersThreadAndCountsWhatTheRateLeavesOut)
{
    {
        Morvane::RunEventLog log;
        log.RunStarted(Morvane::RunMode::Watch, L"C:\\run");
        // The writer is held inside the log: posting goes on regardless.
        for (int wait = 0; wait < 10000 && Reported::inside.load() == 0; ++wait) {
            ::Sleep(1);
        }
        ASSERT_EQ(Reported::inside.load(), 1) << "the start event never reached the log";
        for (int index = 0; index < 25; ++index) {
            log.WindowCaught(TestWindow(index));
        }
        EXPECT_EQ(Reported::inside.load(), 1);
        {
            const std::lock_guard<std::mutex> guard(Reported::lock);
            EXPECT_TRUE(Reported::events.empty());
        }
        ::SetEvent(hold.get());
        Morvane::RunTally tally{3, 0, 0, 0};
        log.End(Morvane::MakeRunEndedEvent(tally, L"C:\\run"));
    }

    const std::lock_guard<std::mutex> guard(Reported::lock);
    std::vector<DWORD> ids;
    for (const RunEvent& event : Reported::events) {
        ids.push_back(event.id);
    }
    // Within one second at most ten windows; if the posting crossed into the next second, the
    // count comes in its place and more windows follow. The rest is told at the end, before 1001.
    ASSERT_GE(ids.size(), 13u);
    EXPECT_EQ(ids.front(), 1000u);
    EXPECT_EQ(ids.back(), 1001u);
    unsigned windows = 0;
    unsigned toldLeftOut = 0;
    for (const RunEvent& event : Reported::events) {
        if (event.id == 1010) {
            ++windows;
        } else if (event.id == 1011) {
            ASSERT_EQ(event.strings.size(), 3u);
            EXPECT_EQ(event.strings[1], L"10");
            EXPECT_EQ(event.strings[2], L"C:\\run");
            EXPECT_EQ(event.type, EVENTLOG_WARNING_TYPE);
            toldLeftOut += static_cast<unsigned>(std::stoul(event.strings[0]));
        }
    }
    EXPECT_GE(windows, 10u);
    EXPECT_LE(windows, 20u);
    EXPECT_EQ(windows + toldLeftOut, 25u);
    EXPECT_EQ(ids[ids.size() - 2], 1011u);
    // Windows in the order they came, each with its signature checked.
    int previous = -1;
    for (const RunEvent& event : Reported::events) {
        if (event.id != 1010) {
            continue;
        }
        ASSERT_EQ(event.strings.size(), 9u);
        const int index = std::stoi(event.strings[0].substr(7));
        EXPECT_GT(index, previous);
        previous = index;
        EXPECT_EQ(event.strings[5], L"unsigned");
    }
    for (bool user : Reported::withUser) {
        EXPECT_TRUE(user);
    }
}

TEST_F(RunEventLog, EndsWithinItsBoundWhenTheLogHangs)
{
    {
        Morvane::RunEventLog log;
        log.Post(Morvane::MakeRunFailedEvent(Morvane::RunMode::OneShot, L"C:\\run", L"First."));
        log.End(Morvane::MakeRunFailedEvent(Morvane::RunMode::OneShot, L"C:\\run", L"Second."));
        // End gave up waiting: the second event is still queued behind the held one.
        const std::lock_guard<std::mutex> guard(Reported::lock);
        EXPECT_TRUE(Reported::events.empty());
    }
    // Let the thread left behind finish before the patch goes.
    ::SetEvent(hold.get());
    for (int wait = 0; wait < 5000 && Reported::inside.load() != 0; ++wait) {
        ::Sleep(1);
    }
    ::Sleep(50);
    const std::lock_guard<std::mutex> guard(Reported::lock);
    ASSERT_GE(Reported::events.size(), 1u);
    EXPECT_EQ(Reported::events.front().strings[2], L"First.");
}

} // namespace
