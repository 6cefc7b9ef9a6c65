// The run's journal, in-process: each line form written and folded back into the record's
// entries, the record folded from a whole journal against the record written at once, and how a
// journal without an end line ends.

#include "record/RunHistory.h"
#include "record/RunJournal.h"
#include "record/RunRecord.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace Morvane;
using nlohmann::json;

constexpr char kStart[] = "2026-12-07T05:59:57.704+01:00";
constexpr char kLater[] = "2026-12-07T06:10:00.250+01:00";
constexpr char kEnd[] = "2026-12-07T07:00:00.000+01:00";
constexpr char kNow[] = "2026-12-07T08:00:00.000+01:00";

RunWindow Saved(std::uint64_t handle, std::wstring folder, std::wstring caption)
{
    RunWindow window;
    window.handle = handle;
    window.processId = 40;
    window.threadId = 41;
    window.caption = std::move(caption);
    window.className = L"Cls";
    window.imagePath = L"C:\\app\\a.exe";
    window.rect = {10, 20, 300, 400};
    window.frame = window.rect;
    window.zone = LeftTopCornet;
    window.monitor = 0x10001;
    window.folder = std::move(folder);
    window.shot = {S_OK, S_OK, S_OK, PictureSource::Screen, true, window.folder};
    window.hasProcess = true;
    window.processStartedAt = kStart;
    return window;
}

RunSummary WatchedRun()
{
    RunSummary run;
    run.startedAt = kStart;
    run.outputDirectory = L"C:\\Tools\\Morvane\\Output\\run \x6F22";
    run.computerName = L"HOST";
    run.monitors.push_back({0x10001, {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, MONITORINFOF_PRIMARY, L"\\\\.\\DISPLAY1"});
    run.previousRun = L"20261206-101010-5-1-2";
    run.watch = {true, kStart, 600, true};
    return run;
}

RunProcess Process(SignatureState state)
{
    RunProcess process;
    process.facts.processId = 40;
    process.facts.imagePath = L"C:\\app\\a.exe";
    process.facts.commandLine = L"a.exe --line \"\x6F22\"";
    process.startedAt = kStart;
    process.signature.state = state;
    return process;
}

std::string Head(const RunSummary& run)
{
    return JournalStartLine(kStart, run) + JournalMonitorsLine(kStart, run.monitors);
}

// The record is the library's own indented dump of the value it holds: with the values equal, the
// same bytes as a record built whole and dumped, which the fold did before it kept the lines' text.
std::string ExpectLibraryBytes(const std::string& record)
{
    const nlohmann::ordered_json value = nlohmann::ordered_json::parse(record);
    EXPECT_EQ(value.dump(1, '\t', false, nlohmann::ordered_json::error_handler_t::replace) + "\n", record);
    return record;
}

json Fold(const std::string& journal, bool watchRuns = false)
{
    return json::parse(ExpectLibraryBytes(FoldJournal(journal, nullptr, watchRuns, kNow)));
}

TEST(RunJournalFold, GivesTheRecordThatTheRunWouldHaveWrittenAtOnce)
{
    RunSummary run = WatchedRun();
    RunWindow first = Saved(0xA0, L"WindowShot/[a.exe]-0xA0-40-41", L"\x6F22\x5B57 \"quoted\"\r\nsecond line");
    first.watch.caughtBy = CaughtBy::Event;
    first.watch.appearedAt = kLater;
    first.watch.savedAfterMs = 7;
    first.coveredBy = {0xB0};
    first.coveredShare = 0.25;
    RunWindow again = Saved(0xA0, L"WindowShot/[a.exe]-0xA0-40-41-2", first.caption);
    RunWindow other = Saved(0xC0, L"WindowShot/[a.exe]-0xC0-40-41", L"known before");
    RunWindow missed;
    missed.handle = 0xD0;
    missed.skipReason = SkipReason::Invisible;
    missed.watch.missed = true;
    run.windows = {first, again, other, missed};
    run.processes = {Process(SignatureState::Unsigned)};

    std::string journal = Head(run);
    for (const RunWindow& window : run.windows) {
        journal += JournalWindowLine(kLater, window);
    }
    journal += JournalProcessLine(kEnd, run.processes[0]) + JournalEndLine(kEnd, "stopped");
    EarlierRun previous;
    previous.savedWindows = {{"C:\\app\\a.exe", "Cls", "known before"}, {"C:\\b.exe", "Gone", "was here"}};
    const json folded = json::parse(ExpectLibraryBytes(FoldJournal(journal, &previous, false, kNow)));

    run.gone = CompareWithEarlierRun(run.windows, previous.savedWindows);
    run.endedAt = kEnd;
    run.watch.running = false;
    json atOnce = json::parse(ExpectLibraryBytes(MakeRunRecordJson(run)));
    atOnce["ended"] = "stopped";
    EXPECT_EQ(folded, atOnce);
    EXPECT_EQ(folded["windows"][0]["newSinceLastRun"], true);
    EXPECT_EQ(folded["windows"][2]["newSinceLastRun"], false);
    EXPECT_EQ(folded["goneSinceLastRun"].size(), 1u);
    // Written at once, a record has no "ended": a one-shot run's record keeps its members.
    EXPECT_FALSE(json::parse(MakeRunRecordJson(run)).contains("ended"));
}

// Thousands of entries are indented on two threads: the halves meet without a byte lost or doubled.
TEST(RunJournalFold, KeepsEveryByteOfALongWatch)
{
    RunSummary run = WatchedRun();
    std::string journal = Head(run);
    for (std::uint64_t index = 0; index < 5000; ++index) {
        RunWindow window = Saved(0x1000 + index, L"WindowShot/W-" + std::to_wstring(index),
                                 L"caption " + std::to_wstring(index % 7));
        if (index % 3 == 0) {
            window.skipReason = SkipReason::TooSmall;
        }
        journal += JournalWindowLine(kLater, window);
        if (index % 5 == 0) {
            window.watch.goneAt = kEnd;
            window.watch.shownForMs = static_cast<long long>(index);
            journal += JournalGoneLine(kEnd, window);
        }
        run.windows.push_back(window);
    }
    journal += JournalEndLine(kEnd, "stopped");
    EarlierRun previous;
    previous.savedWindows = {{"C:\\app\\a.exe", "Cls", "caption 1"}, {"C:\\app\\a.exe", "Cls", "caption 2"}};
    const std::string folded = ExpectLibraryBytes(FoldJournal(journal, &previous, false, kNow));

    run.gone = CompareWithEarlierRun(run.windows, previous.savedWindows);
    run.endedAt = kEnd;
    run.watch.running = false;
    json atOnce = json::parse(MakeRunRecordJson(run));
    atOnce["ended"] = "stopped";
    const json value = json::parse(folded);
    EXPECT_EQ(value["windows"].size(), 5000u);
    EXPECT_EQ(value, atOnce);
}

// Lines not in the form Morvane writes them (edited by hand, say) are read as the library reads them.
TEST(RunJournalFold, ReadsLinesWrittenOtherwiseAsTheLibraryDoes)
{
    using ordered = nlohmann::ordered_json;
    RunSummary run = WatchedRun();
    const RunWindow known = Saved(0xA0, L"WindowShot/A", L"Abc");
    const std::string line = JournalWindowLine(kLater, known);
    const auto edited = [&](const std::string& from, const std::string& to) {
        std::string text = line;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    const std::string gone = JournalGoneLine(kEnd, [&] {
        RunWindow window = known;
        window.watch.goneAt = kEnd;
        window.watch.shownForMs = 99;
        return window;
    }());
    struct Case {
        const char* name;
        std::string line;
    };
    const Case cases[] = {
        {"as written", line},
        {"spaces", edited("\"caption\":\"Abc\",\"className\":", "\"caption\" : \"Abc\" , \"className\":")},
        {"an escape the library does not write", edited("\"Abc\"", "\"\\u0041bc\"")},
        {"a number written otherwise", edited("\"processId\":40", "\"processId\":4e1")},
        {"a member twice", edited("\"caption\":\"Abc\"", "\"caption\":\"Abc\",\"caption\":\"twice\"")},
        {"without its mark", edited(",\"newSinceLastRun\":false", "")},
    };
    EarlierRun previous;
    previous.savedWindows = {{"C:\\app\\a.exe", "Cls", "twice"}};
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        const std::string journal = Head(run) + "not a line\n" + item.line + gone + "\r\n";
        const ordered folded = ordered::parse(ExpectLibraryBytes(FoldJournal(journal, &previous, false, kNow)));
        ordered expected = ordered::parse(item.line)["entry"];
        expected["goneAt"] = kEnd;
        expected["shownForMs"] = 99;
        expected["newSinceLastRun"] = expected["caption"] != "twice";
        ASSERT_EQ(folded["windows"].size(), 1u);
        EXPECT_EQ(folded["windows"][0], expected);
        EXPECT_EQ(folded["monitors"][0]["picture"], "WindowShot/A/Morvane.DisplayMonitor.jpg");
        EXPECT_EQ(ReadJournalState(journal).unreadLines, 1u);
    }
}

TEST(RunJournalLines, EachLineFoldsBackIntoTheRecordsEntries)
{
    const RunSummary run = WatchedRun();
    RunWindow pending = Saved(0xA0, L"WindowShot/A", L"first");
    pending.shot.monitor = E_PENDING;
    RunWindow pendingAgain = Saved(0xA0, L"WindowShot/A-2", L"first");
    pendingAgain.shot.monitor = E_PENDING;
    RunWindow taken = pending;
    taken.shot.monitor = S_OK;
    RunWindow dropped = pending;
    dropped.shot.monitor = E_FAIL;
    dropped.watch.pictureDropped = "moved";
    RunWindow gone = Saved(0xA0, L"WindowShot/A", L"first");
    gone.watch.goneAt = kEnd;
    gone.watch.shownForMs = 1234;
    RunWindow skipped;
    skipped.handle = 0xE0;
    skipped.skipReason = SkipReason::TooSmall;
    RunWindow skippedGone = skipped;
    skippedGone.watch.goneAt = kEnd;
    skippedGone.watch.shownForMs = 5;

    struct Case {
        const char* name;
        std::string lines;
        std::function<void(const json& record)> check;
    };
    const Case cases[] = {
        {"a window, its monitor picture still to take", JournalWindowLine(kLater, pending),
         [](const json& record) {
             ASSERT_EQ(record["windows"].size(), 1u);
             EXPECT_TRUE(record["windows"][0]["results"]["monitor"].is_null());
             EXPECT_EQ(record["windows"][0]["results"]["window"], 0);
             EXPECT_TRUE(record["monitors"][0]["picture"].is_null());
         }},
        {"its monitor picture taken later",
         JournalWindowLine(kLater, pending) + JournalMonitorPictureLine(kEnd, taken),
         [](const json& record) {
             ASSERT_EQ(record["windows"].size(), 1u);
             EXPECT_EQ(record["windows"][0]["results"]["monitor"], 0);
             EXPECT_EQ(record["monitors"][0]["picture"], "WindowShot/A/Morvane.DisplayMonitor.jpg");
         }},
        {"its monitor picture failed and dropped",
         JournalWindowLine(kLater, pending) + JournalMonitorPictureLine(kEnd, dropped),
         [](const json& record) {
             EXPECT_EQ(record["windows"][0]["results"]["monitor"], static_cast<std::int32_t>(E_FAIL));
             EXPECT_EQ(record["windows"][0]["pictureDropped"], "moved");
             EXPECT_TRUE(record["monitors"][0]["picture"].is_null());
         }},
        {"the monitor picture of an earlier showing, after the window showed again",
         JournalWindowLine(kLater, pending) + JournalWindowLine(kLater, pendingAgain) +
             JournalMonitorPictureLine(kEnd, taken),
         [](const json& record) {
             ASSERT_EQ(record["windows"].size(), 2u);
             EXPECT_EQ(record["windows"][0]["results"]["monitor"], 0);
             EXPECT_TRUE(record["windows"][1]["results"]["monitor"].is_null());
         }},
        {"a window gone", JournalWindowLine(kLater, Saved(0xA0, L"WindowShot/A", L"first")) + JournalGoneLine(kEnd, gone),
         [](const json& record) {
             EXPECT_EQ(record["windows"][0]["goneAt"], kEnd);
             EXPECT_EQ(record["windows"][0]["shownForMs"], 1234);
         }},
        {"a skipped window gone", JournalWindowLine(kLater, skipped) + JournalGoneLine(kEnd, skippedGone),
         [](const json& record) {
             EXPECT_EQ(record["windows"][0]["outcome"], "skipped");
             EXPECT_EQ(record["windows"][0]["goneAt"], kEnd);
             EXPECT_EQ(record["windows"][0]["shownForMs"], 5);
         }},
        {"an update of no entry written", JournalGoneLine(kEnd, gone),
         [](const json& record) { EXPECT_TRUE(record["windows"].empty()); }},
        {"a process while its signature is checked, then at the end",
         JournalProcessLine(kLater, Process(SignatureState::Unknown)) +
             JournalProcessLine(kEnd, Process(SignatureState::Unsigned)),
         [](const json& record) {
             ASSERT_EQ(record["processes"].size(), 1u);
             EXPECT_EQ(record["processes"][0]["signature"], "unsigned");
             EXPECT_EQ(record["processes"][0]["commandLine"], "a.exe --line \"\xE6\xBC\xA2\"");
         }},
        {"monitors listed again after the displays changed",
         JournalMonitorsLine(kLater, {run.monitors[0], {0x20002, {1920, 0, 3840, 1080}, {}, 0, L"\\\\.\\DISPLAY2", 96, kLater}}),
         [](const json& record) {
             ASSERT_EQ(record["monitors"].size(), 2u);
             EXPECT_EQ(record["monitors"][1]["since"], kLater);
             EXPECT_FALSE(record["monitors"][0].contains("since"));
         }},
        {"a last line cut short", JournalWindowLine(kLater, skipped) + JournalWindowLine(kLater, pending).substr(0, 40),
         [](const json& record) { EXPECT_EQ(record["windows"].size(), 1u); }},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        const std::string journal = Head(run) + item.lines;
        for (size_t end = journal.find('\n'); end != std::string::npos && end + 1 < journal.size();
             end = journal.find('\n', end + 1)) {
            EXPECT_NE(journal[end + 1], '\n') << "one object a line";
        }
        const json record = Fold(journal);
        EXPECT_EQ(record["startedAt"], kStart);
        EXPECT_EQ(record["outputDirectory"], "C:\\Tools\\Morvane\\Output\\run \xE6\xBC\xA2");
        EXPECT_EQ(record["previousRun"], "20261206-101010-5-1-2");
        item.check(record);
    }
}

TEST(RunJournalEnding, FollowsTheEndLineOrTheWatchThatRunsStill)
{
    const RunSummary run = WatchedRun();
    const std::string lastWindow = JournalWindowLine(kLater, Saved(0xA0, L"WindowShot/A", L"first"));
    const std::string cutShort = Head(run) + lastWindow + "{\"line\":\"window\",\"at\":\"" + kEnd;
    struct Case {
        const char* name;
        std::string journal;
        bool watchRuns;
        const char* ended; // nullptr: no such member
        const char* endedAt;
        bool running;
        bool endLine;
        unsigned unread;
    };
    const Case cases[] = {
        {"stopped", Head(run) + lastWindow + JournalEndLine(kEnd, "stopped"), false, "stopped", kEnd, false, true, 0},
        {"killed", Head(run) + lastWindow, false, "unexpectedly", kLater, false, false, 0},
        {"killed in the middle of a line", cutShort, false, "unexpectedly", kLater, false, false, 1},
        {"still watching", Head(run) + lastWindow, true, nullptr, kNow, true, false, 0},
        {"ended while its menu opened the page", Head(run) + lastWindow + JournalEndLine(kEnd, "stopped"), true,
         "stopped", kEnd, false, true, 0},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        const json record = Fold(item.journal, item.watchRuns);
        EXPECT_EQ(record.contains("ended"), item.ended != nullptr);
        if (item.ended != nullptr) {
            EXPECT_EQ(record["ended"], item.ended);
        }
        EXPECT_EQ(record["endedAt"], item.endedAt);
        EXPECT_EQ(record["watch"]["running"], item.running);
        EXPECT_EQ(record["watch"]["forSeconds"], 600);
        EXPECT_EQ(record["windows"].size(), 1u);
        const JournalState state = ReadJournalState(item.journal);
        EXPECT_TRUE(state.started);
        EXPECT_EQ(state.ended, item.endLine);
        EXPECT_EQ(state.lastAt, item.endLine ? kEnd : kLater);
        EXPECT_EQ(state.previousRun, "20261206-101010-5-1-2");
        EXPECT_EQ(state.unreadLines, item.unread);
        // A start reads the tail alone first: whole journals only of runs that did not end.
        EXPECT_EQ(TailEndsTheRun(item.journal), item.endLine);
        EXPECT_EQ(TailEndsTheRun(std::string_view(item.journal).substr(item.journal.size() - lastWindow.size() / 2)),
                  item.endLine);
    }
    EXPECT_FALSE(ReadJournalState("").started);
}

} // namespace
