// The real Morvane.exe watching: fixture windows of another process that show after the watch
// began are each caught with their own colour, the run's journal is readable while the watch
// runs, and --stop ends it with today's completion message. Its icon's menu holds up no capture,
// and the end of the session finds the last record written. A watch killed keeps every window it
// saved in its journal, and the next start writes its record.

#include "record/RunRecord.h"
#include "WatchOfOtherProcess.h"
#include "support/FixtureProcess.h"
#include "support/JpegReader.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "system/HResult.h"
#include "watch/TrayIcon.h"
#include "watch/WatchSignals.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <thread>
#include <vector>

namespace {

using nlohmann::json;
using TestSupport::FixtureWindow;
using TestSupport::FixtureWindowSpec;

std::string Handle(HWND window)
{
    return Morvane::FormatHandle(TalvexBasic::PointerBits(window));
}

// Runs Morvane.exe with the arguments as a debuggee, confirming its boxes.
TestSupport::DebugCaptureResult RunMorvaneWith(const std::wstring& arguments)
{
    TestSupport::DebugCaptureOptions options;
    options.program = TestSupport::ProgramDirectory() + L"\\Morvane.exe";
    options.arguments = arguments;
    options.timeLimitMilliseconds = 120000;
    return TestSupport::RunWithDebugCapture(options);
}

std::vector<const json*> EntriesOf(const json& record, HWND window)
{
    std::vector<const json*> entries;
    for (const json& entry : record["windows"]) {
        if (entry["handle"] == Handle(window)) {
            entries.push_back(&entry);
        }
    }
    return entries;
}

// The entries of the window in the running watch's journal, and whether every line is an object
// with its kind, as a script reading it line by line finds them.
std::vector<json> JournalEntriesOf(const std::wstring& folder, HWND window, bool& linesWhole)
{
    std::vector<json> entries;
    linesWhole = true;
    const std::string journal = TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.jsonl");
    size_t begin = 0;
    for (size_t end = journal.find('\n'); end != std::string::npos; begin = end + 1, end = journal.find('\n', begin)) {
        const json line = json::parse(journal.substr(begin, end - begin), nullptr, false);
        if (line.is_discarded() || !line.is_object() || !line["line"].is_string() || !line["at"].is_string()) {
            linesWhole = false;
            continue;
        }
        if (line["line"] == "window" && line["entry"]["handle"] == Handle(window)) {
            entries.push_back(line["entry"]);
        }
    }
    linesWhole = linesWhole && begin == journal.size();
    return entries;
}

::testing::AssertionResult PictureShows(const std::wstring& outputDirectory, const json& entry, COLORREF colour)
{
    if (entry["outcome"] != "saved" || !entry["folder"].is_string()) {
        return ::testing::AssertionFailure() << "not saved: " << entry.dump();
    }
    TestSupport::DecodedImage image;
    std::string reason;
    const std::wstring path = TestSupport::RecordPath(outputDirectory, entry["folder"]) + L"\\Morvane.Window.jpg";
    if (!TestSupport::DecodeJpegFile(path, image, reason)) {
        return ::testing::AssertionFailure() << reason;
    }
    const TestSupport::Rgb found = image.MeanAround(image.width / 2, image.height / 2, 4);
    if (colour == CLR_INVALID) {
        // Any picture that is not black: a message box in the system's colours.
        return found.red + found.green + found.blue > 3 * 48 ? ::testing::AssertionSuccess()
                                                             : ::testing::AssertionFailure() << "black";
    }
    if (TestSupport::IsNear(found, GetRValue(colour), GetGValue(colour), GetBValue(colour))) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "found " << TestSupport::Describe(found);
}

struct Flash {
    const char* name;
    RECT rect;
    COLORREF fill;
    unsigned showMs;
    unsigned showings;
    FixtureWindow window;
    // Shown right after a window whose thread stops answering once it has painted.
    bool behindHungWindow = false;
    // A tooltip's class: its entry has a window picture but no monitor picture.
    const wchar_t* className = L"MorvaneFixtureFlash";
    const char* kind = "window";
};

FixtureWindowSpec LayoutOf(const Flash& flash)
{
    FixtureWindowSpec layout;
    layout.rect = flash.rect;
    layout.caption = L"Flash";
    layout.className = flash.className;
    layout.fill = flash.fill;
    return layout;
}

TEST(WatchEndToEnd, CatchesEachWindowThatShowsUntilStopped)
{
    TestSupport::GdiplusSession gdiplus;
    TestSupport::FixtureProcess fixture;
    ASSERT_TRUE(fixture.Start()) << fixture.Failure();

    TestSupport::DebugCaptureResult watch;
    std::thread watching([&] { watch = RunMorvaneWith(L"--watch"); });
    const std::wstring folder = TestSupport::WaitForWatchFolder(Morvane::kWatchFolderMappingName, 60000);
    ASSERT_FALSE(folder.empty());

    // A second watch names the running one's folder and writes nothing.
    const TestSupport::DebugCaptureResult second = RunMorvaneWith(L"/watch --for 10s");
    EXPECT_EQ(second.exitCode, 1u);
    ASSERT_EQ(second.messageBoxTexts.size(), 1u);
    EXPECT_NE(second.messageBoxTexts[0].find(folder), std::wstring::npos);

    // The displays change (as far as the watch can tell; the monitors stay): it lists them again.
    const HWND displays = ::FindWindowW(L"Morvane.WatchDisplays", nullptr);
    ASSERT_NE(displays, nullptr);
    DWORD displaysProcess = 0;
    ::GetWindowThreadProcessId(displays, &displaysProcess);
    EXPECT_NE(displaysProcess, ::GetCurrentProcessId());
    DWORD_PTR answer = 0;
    EXPECT_NE(::SendMessageTimeoutW(displays, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080), SMTO_ABORTIFHUNG, 5000,
                                    &answer),
              0);

    const FixtureWindow box = fixture.ShowMessageBox(L"A box that comes and goes", 1000);
    ASSERT_TRUE(box) << box.failure;
    ::Sleep(2000);

    // Each on a thread of its own in the fixture, made hidden and then shown.
    Flash flashes[] = {
        {"50 ms", {60, 80, 260, 230}, RGB(220, 30, 30), 50, 1, {}},
        {"300 ms", {300, 80, 500, 230}, RGB(30, 200, 40), 300, 1, {}},
        {"2 s", {540, 80, 740, 230}, RGB(40, 60, 220), 2000, 1, {}},
        {"shown twice", {780, 80, 980, 230}, RGB(230, 200, 20), 400, 2, {}},
        {"300 ms behind a hung window", {300, 300, 500, 450}, RGB(40, 200, 200), 300, 1, {}, true},
        {"tooltip", {540, 300, 740, 360}, RGB(240, 130, 20), 2000, 1, {}, false, L"tooltips_class32", "tooltip"},
    };
    FixtureWindow hung;
    FixtureWindowSpec hungLayout;
    hungLayout.rect = {60, 300, 260, 450};
    hungLayout.caption = L"Hung";
    hungLayout.className = L"MorvaneWatchHung";
    hungLayout.fill = RGB(200, 40, 200);
    for (Flash& flash : flashes) {
        const FixtureWindowSpec layout = LayoutOf(flash);
        if (flash.behindHungWindow) {
            // The watch must not wait on it: the window behind it is gone again within 300 ms.
            hung = fixture.OpenHung(hungLayout);
            ASSERT_TRUE(hung) << hung.failure;
        }
        flash.window = fixture.Flash(layout, flash.showMs, flash.showings, 1200);
        ASSERT_TRUE(flash.window) << flash.window.failure;
        // One after another, so that each is caught on its own: the capture rate of a machine
        // busy with other work is not what this test is about (the benchmark measures it).
        ::Sleep(1500);
    }
    EXPECT_NE(box.threadId, flashes[0].window.threadId);

    // A burst: windows that show together are all taken first, their pictures encoded and
    // written afterwards on the worker, each with its own colour.
    Flash burst[] = {
        {"burst 1", {60, 520, 200, 620}, RGB(250, 80, 80), 1500, 1, {}},
        {"burst 2", {220, 520, 360, 620}, RGB(80, 250, 80), 1500, 1, {}},
        {"burst 3", {380, 520, 520, 620}, RGB(80, 80, 250), 1500, 1, {}},
        {"burst 4", {540, 520, 680, 620}, RGB(250, 250, 80), 1500, 1, {}},
        {"burst 5", {700, 520, 840, 620}, RGB(250, 80, 250), 1500, 1, {}},
        {"burst 6", {860, 520, 1000, 620}, RGB(80, 250, 250), 1500, 1, {}},
    };
    for (Flash& flash : burst) {
        flash.window = fixture.Flash(LayoutOf(flash), flash.showMs, flash.showings, 1200);
        ASSERT_TRUE(flash.window) << flash.window.failure;
    }

    // Everything has shown and gone: the running watch's journal holds each showing, and no
    // record or page is rewritten while it runs.
    ::Sleep(4000);
    bool linesWhole = false;
    for (const Flash& flash : burst) {
        EXPECT_EQ(JournalEntriesOf(folder, flash.window.handle, linesWhole).size(), 1u) << flash.name;
    }
    for (const Flash& flash : flashes) {
        EXPECT_EQ(JournalEntriesOf(folder, flash.window.handle, linesWhole).size(), flash.showings) << flash.name;
        EXPECT_TRUE(linesWhole);
    }
    EXPECT_EQ(::GetFileAttributesW((folder + L"\\Morvane.Run.json").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(::GetFileAttributesW((folder + L"\\Morvane.Run.html").c_str()), INVALID_FILE_ATTRIBUTES);

    // --stop ends it: exit code 0 of both, and today's completion message.
    const TestSupport::DebugCaptureResult stop = RunMorvaneWith(L"--stop");
    EXPECT_EQ(stop.exitCode, 0u);
    EXPECT_TRUE(stop.messageBoxTexts.empty());
    watching.join();
    EXPECT_EQ(watch.exitCode, 0u);
    EXPECT_FALSE(watch.timedOut);
    EXPECT_EQ(TestSupport::CompletionDirectory(watch), folder);

    const json record = json::parse(TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.json"), nullptr, false);
    ASSERT_FALSE(record.is_discarded());
    EXPECT_EQ(record["watch"]["running"], false);
    EXPECT_EQ(record["ended"], "stopped");
    const std::string page = TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.html");
    EXPECT_NE(page.find(Handle(flashes[2].window.handle)), std::string::npos);
    EXPECT_NE(page.find("</html>"), std::string::npos);
    for (const Flash& flash : flashes) {
        SCOPED_TRACE(flash.name);
        const std::vector<const json*> entries = EntriesOf(record, flash.window.handle);
        ASSERT_EQ(entries.size(), flash.showings);
        for (size_t showing = 0; showing < entries.size(); ++showing) {
            const json& entry = *entries[showing];
            EXPECT_TRUE(entry["caughtBy"] == "event" || entry["caughtBy"] == "scan") << entry["caughtBy"];
            EXPECT_TRUE(entry["appearedAt"].is_string());
            EXPECT_TRUE(entry["goneAt"].is_string());
            EXPECT_TRUE(entry["savedAfterMs"].is_number());
            EXPECT_TRUE(PictureShows(folder, entry, flash.fill));
            EXPECT_EQ(entry["threadId"], flash.window.threadId);
            EXPECT_EQ(entry["kind"], flash.kind);
            if (std::string(flash.kind) != "window") {
                EXPECT_EQ(entry["results"]["monitor"], 1);
                EXPECT_EQ(entry["monitorSkipped"], "kind");
                const std::wstring monitorPicture =
                    TestSupport::RecordPath(folder, entry["folder"]) + L"\\Morvane.DisplayMonitor.jpg";
                EXPECT_EQ(::GetFileAttributesW(monitorPicture.c_str()), INVALID_FILE_ATTRIBUTES);
            } else {
                EXPECT_TRUE(entry["monitorSkipped"].is_null());
            }
            // Covered only by windows above it when it was taken: never by itself as it was when
            // it showed before, nor by the flashes that had gone. (Under Wine every picture of
            // another process's window comes from the screen.)
            ASSERT_EQ(entry["pictureSource"], "screen");
            ASSERT_TRUE(entry["coveredBy"].is_object()) << entry["coveredBy"];
            for (const json& above : entry["coveredBy"]["handles"]) {
                EXPECT_NE(above, Handle(flash.window.handle));
                for (const Flash& other : flashes) {
                    EXPECT_NE(above, Handle(other.window.handle));
                }
            }
        }
        if (flash.showings == 2) {
            const std::string first = (*entries[0])["folder"];
            EXPECT_EQ((*entries[1])["folder"], first + "-2");
        }
    }
    // The burst's pictures all found room in the encode queue.
    EXPECT_EQ(record["watch"]["picturesDroppedQueueFull"], 0);
    for (const Flash& flash : burst) {
        SCOPED_TRACE(flash.name);
        const std::vector<const json*> entries = EntriesOf(record, flash.window.handle);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_TRUE(PictureShows(folder, *entries[0], flash.fill));
        EXPECT_EQ((*entries[0])["results"]["window"], 0);
        EXPECT_EQ((*entries[0])["results"]["record"], 0);
        EXPECT_TRUE((*entries[0])["pictureSkipped"].is_null());
        EXPECT_TRUE((*entries[0])["savedAfterMs"].is_number());
    }
    // The hung window is taken from the screen, where it painted before its thread stopped.
    const std::vector<const json*> hungEntries = EntriesOf(record, hung.handle);
    ASSERT_EQ(hungEntries.size(), 1u);
    EXPECT_TRUE(PictureShows(folder, *hungEntries[0], hungLayout.fill));
    const std::vector<const json*> boxEntries = EntriesOf(record, box.handle);
    ASSERT_EQ(boxEntries.size(), 1u);
    EXPECT_TRUE(PictureShows(folder, *boxEntries[0], CLR_INVALID));
    // The change was heard; the same monitors are kept once each, none of them as come later.
    const std::string heard = "The displays changed: " + std::to_string(record["monitors"].size()) + " monitors";
    size_t heardLines = 0;
    for (const std::wstring& log : TestSupport::FilesIn(folder + L"\\Log")) {
        const std::string text = TestSupport::ReadWholeFile(folder + L"\\Log\\" + log);
        for (size_t at = text.find(heard); at != std::string::npos; at = text.find(heard, at + 1)) {
            ++heardLines;
        }
    }
    EXPECT_EQ(heardLines, 1u);
    for (const json& monitor : record["monitors"]) {
        EXPECT_FALSE(monitor.contains("since")) << monitor.dump();
    }
    // Present at the start: the fixture's process had no window then, the others did.
    for (const json& entry : record["windows"]) {
        if (entry["appearedAt"].is_null()) {
            EXPECT_EQ(entry["caughtBy"], "start");
        }
    }
}

// The menu of the icon's window once it shows.
HWND ShownMenuOfThread(DWORD threadId)
{
    HWND menu = nullptr;
    while ((menu = ::FindWindowExW(nullptr, menu, L"#32768", nullptr)) != nullptr) {
        if (::IsWindowVisible(menu) && ::GetWindowThreadProcessId(menu, nullptr) == threadId) {
            return menu;
        }
    }
    return nullptr;
}

TEST(WatchEndToEnd, CatchesWindowsWhileTheIconsMenuIsOpenAndEndsWithTheSession)
{
    TestSupport::GdiplusSession gdiplus;
    TestSupport::FixtureProcess fixture;
    ASSERT_TRUE(fixture.Start()) << fixture.Failure();

    TestSupport::DebugCaptureResult watch;
    std::thread watching([&] { watch = RunMorvaneWith(L"--watch --for 10m"); });
    const TestSupport::WatchThreadEnding ending{watching};
    const std::wstring folder = TestSupport::WaitForWatchFolder(Morvane::kWatchFolderMappingName, 60000);
    ASSERT_FALSE(folder.empty());
    const HWND icon = TestSupport::IconWindowOfOtherProcess();
    ASSERT_NE(icon, nullptr);
    const DWORD iconThread = ::GetWindowThreadProcessId(icon, nullptr);

    // A right click on the icon: its menu's modal loop runs until something is chosen.
    ::PostMessageW(icon, Morvane::kTrayIconMessage, 1, WM_RBUTTONUP);
    HWND menu = nullptr;
    for (int tries = 0; tries < 600 && menu == nullptr; ++tries) {
        ::Sleep(50);
        menu = ShownMenuOfThread(iconThread);
    }
    ASSERT_NE(menu, nullptr);

    FixtureWindowSpec layout;
    layout.rect = {400, 300, 600, 450};
    layout.caption = L"Shown while the menu is open";
    layout.className = L"MorvaneFixtureMenuOpen";
    layout.fill = RGB(230, 120, 20);
    const FixtureWindow shown = fixture.Open(layout);
    ASSERT_TRUE(shown) << shown.failure;
    std::vector<json> whileOpen;
    bool linesWhole = false;
    for (int tries = 0; tries < 600 && whileOpen.empty(); ++tries) {
        ::Sleep(50);
        whileOpen = JournalEntriesOf(folder, shown.handle, linesWhole);
    }
    EXPECT_TRUE(linesWhole);
    ASSERT_EQ(whileOpen.size(), 1u);
    EXPECT_TRUE(PictureShows(folder, whileOpen[0], layout.fill));
    EXPECT_EQ(ShownMenuOfThread(iconThread), menu) << "the menu closed before the window was caught";

    // The session ends: once the icon's window has answered, the last record is written.
    DWORD_PTR answer = 0;
    EXPECT_NE(::SendMessageTimeoutW(icon, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 60000, &answer), 0);
    const json last = json::parse(TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.json"), nullptr, false);
    ASSERT_FALSE(last.is_discarded());
    EXPECT_EQ(last["watch"]["running"], false);
    EXPECT_EQ(EntriesOf(last, shown.handle).size(), 1u);
    watching.join();
    EXPECT_EQ(watch.exitCode, 0u);
    EXPECT_FALSE(watch.timedOut);
    EXPECT_EQ(TestSupport::CompletionDirectory(watch), folder);
}

TEST(WatchEndToEnd, CommandLineAnswersWithoutWritingAnything)
{
    struct Case {
        const wchar_t* arguments;
        DWORD exitCode;
        const wchar_t* boxPart;
    };
    const Case cases[] = {
        {L"--stop", 1, L"No watch is running."},
        {L"--help", 0, L"--for <duration>"},
        {L"/?", 0, L"--for <duration>"},
        {L"--watch --for 8d", 2, L"\"8d\""},
        {L"--look", 2, L"\"--look\""},
    };
    const std::wstring outputs = TestSupport::ProgramDirectory() + L"\\Morvane\\Output";
    const size_t before = TestSupport::NamesIn(outputs).size();
    for (const Case& example : cases) {
        SCOPED_TRACE(std::string(example.arguments, example.arguments + wcslen(example.arguments)));
        const TestSupport::DebugCaptureResult result = RunMorvaneWith(example.arguments);
        EXPECT_EQ(result.exitCode, example.exitCode);
        ASSERT_EQ(result.messageBoxTexts.size(), 1u);
        EXPECT_NE(result.messageBoxTexts[0].find(example.boxPart), std::wstring::npos);
    }
    EXPECT_EQ(TestSupport::NamesIn(outputs).size(), before);
}

} // namespace

TEST(WatchEndToEnd, KilledWatchKeepsItsJournalAndTheNextStartWritesItsRecord)
{
    TestSupport::GdiplusSession gdiplus;
    TestSupport::FixtureProcess fixture;
    ASSERT_TRUE(fixture.Start()) << fixture.Failure();

    // Started plainly, not as a debuggee, so that nothing but the kill ends it.
    const std::wstring program = TestSupport::ProgramDirectory() + L"\\Morvane.exe";
    std::wstring commandLine = L"\"" + program + L"\" --watch";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &started));
    const TalvexBasic::UniqueHandle process(started.hProcess);
    const TalvexBasic::UniqueHandle thread(started.hThread);
    struct Kill {
        HANDLE process;
        ~Kill()
        {
            ::TerminateProcess(process, 9);
            ::WaitForSingleObject(process, 10000);
        }
    } kill{process.get()};
    const std::wstring folder = TestSupport::WaitForWatchFolder(Morvane::kWatchFolderMappingName, 60000);
    ASSERT_FALSE(folder.empty());

    FixtureWindowSpec layouts[2];
    layouts[0].rect = {100, 120, 300, 270};
    layouts[0].caption = L"Caught before the kill";
    layouts[0].className = L"MorvaneFixtureBeforeKill";
    layouts[0].fill = RGB(20, 160, 220);
    layouts[1] = layouts[0];
    layouts[1].rect = {400, 120, 600, 270};
    layouts[1].fill = RGB(220, 60, 140);
    FixtureWindow shown[2];
    bool linesWhole = false;
    for (int index = 0; index < 2; ++index) {
        shown[index] = fixture.Open(layouts[index]);
        ASSERT_TRUE(shown[index]) << shown[index].failure;
        for (int tries = 0; tries < 600 && JournalEntriesOf(folder, shown[index].handle, linesWhole).empty(); ++tries) {
            ::Sleep(50);
        }
        ASSERT_EQ(JournalEntriesOf(folder, shown[index].handle, linesWhole).size(), 1u);
    }

    // Killed at once: every window saved so far is in its journal, whole lines only, and no end.
    ASSERT_TRUE(::TerminateProcess(process.get(), 9));
    ASSERT_EQ(::WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
    const std::string journal = TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.jsonl");
    for (const FixtureWindow& window : shown) {
        EXPECT_EQ(JournalEntriesOf(folder, window.handle, linesWhole).size(), 1u);
        EXPECT_TRUE(linesWhole);
    }
    const size_t lastLine = journal.rfind('\n', journal.size() - 2) + 1;
    const json last = json::parse(journal.substr(lastLine), nullptr, false);
    ASSERT_TRUE(last.is_object());
    EXPECT_NE(last["line"], "end");
    EXPECT_EQ(::GetFileAttributesW((folder + L"\\Morvane.Run.json").c_str()), INVALID_FILE_ATTRIBUTES);

    // The next start writes the killed run's record and page from its journal, says so in its
    // log, and compares with that run as with any other.
    const TestSupport::DebugCaptureResult next = TestSupport::RunMorvane();
    EXPECT_EQ(next.exitCode, 0u);
    const std::wstring nextFolder = TestSupport::CompletionDirectory(next);
    ASSERT_FALSE(nextFolder.empty());
    const std::vector<std::wstring> logs = TestSupport::FilesIn(nextFolder + L"\\Log");
    ASSERT_EQ(logs.size(), 1u);
    const std::string log = TestSupport::ReadWholeFile(nextFolder + L"\\Log\\" + logs[0]);
    const std::string told = "]:" + TalvexBasic::ToThreadAnsi(folder) + " ended unexpectedly at " +
                             last["at"].get<std::string>() + ": its record and page are written from its journal.\r\n";
    EXPECT_NE(log.find(told), std::string::npos) << log.substr(0, 3000);
    const json record = json::parse(TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.json"), nullptr, false);
    ASSERT_FALSE(record.is_discarded());
    EXPECT_EQ(record["ended"], "unexpectedly");
    EXPECT_EQ(record["endedAt"], last["at"]);
    EXPECT_EQ(record["watch"]["running"], false);
    for (int index = 0; index < 2; ++index) {
        const std::vector<const json*> entries = EntriesOf(record, shown[index].handle);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_TRUE(PictureShows(folder, *entries[0], layouts[index].fill));
    }
    const std::string page = TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.html");
    EXPECT_NE(page.find(Handle(shown[1].handle)), std::string::npos);
    EXPECT_NE(page.find("</html>"), std::string::npos);
    // Its journal now ends, so that no later start writes it again.
    const std::string ended = TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.jsonl");
    ASSERT_GT(ended.size(), journal.size());
    const json endLine = json::parse(ended.substr(journal.size()), nullptr, false);
    EXPECT_EQ(endLine["line"], "end");
    EXPECT_EQ(endLine["ended"], "unexpectedly");

    const json nextRecord = json::parse(TestSupport::ReadWholeFile(nextFolder + L"\\Morvane.Run.json"), nullptr, false);
    ASSERT_FALSE(nextRecord.is_discarded());
    EXPECT_EQ(Morvane::FromUtf8(nextRecord["previousRun"].get<std::string>()),
              folder.substr(folder.rfind(L'\\') + 1));
    for (const FixtureWindow& window : shown) {
        const std::vector<const json*> entries = EntriesOf(nextRecord, window.handle);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ((*entries[0])["newSinceLastRun"], false);
    }
}
