// The events of real runs of Morvane.exe, read where Wine puts them: Wine's ReportEventW stores
// nothing and prints each event on its debug channels (its ID with the routine's "fixme" line of
// advapi, each insertion string on the channel eventlog), on the Unix standard error of the
// process. So the program is started from a Unix shell that sends that standard error to a file,
// and its completion box is confirmed from here.

#include "support/FixtureProcess.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "system/TextConversion.h"
#include "system/UniqueResource.h"
#include "watch/WatchSignals.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using TestSupport::FixtureWindow;
using TestSupport::FixtureWindowSpec;

// One event as the debug channels show it: its ID and level, and its insertion strings.
struct ChannelEvent {
    unsigned long id = 0;
    unsigned type = 0;
    std::vector<std::string> strings;
};

// Wine's debug form of a string (L"C:\\run") as the string itself, for ASCII text.
std::string Undebug(const std::string& shown)
{
    const size_t open = shown.find("L\"");
    const size_t close = shown.rfind('"');
    if (open == std::string::npos || close <= open + 1) {
        return {};
    }
    std::string text;
    for (size_t index = open + 2; index < close; ++index) {
        if (shown[index] == '\\' && index + 1 < close) {
            ++index;
            text += shown[index] == 'n' ? '\n' : shown[index];
        } else {
            text += shown[index];
        }
    }
    return text;
}

std::vector<ChannelEvent> ReadChannelEvents(const std::string& output)
{
    std::vector<ChannelEvent> events;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t call = line.find("ReportEventW (");
        if (line.find(":advapi:") != std::string::npos && call != std::string::npos) {
            const size_t afterHandle = line.find(',', call);
            ChannelEvent event;
            unsigned category = 0;
            if (afterHandle != std::string::npos &&
                std::sscanf(line.c_str() + afterHandle, ",0x%x,0x%x,0x%lx", &event.type, &category, &event.id) == 3) {
                events.push_back(event);
            }
        } else if (line.find(":eventlog:ReportEventW") != std::string::npos && !events.empty()) {
            events.back().strings.push_back(Undebug(line));
        }
    }
    return events;
}

std::vector<unsigned long> IdsOf(const std::vector<ChannelEvent>& events)
{
    std::vector<unsigned long> ids;
    for (const ChannelEvent& event : events) {
        ids.push_back(event.id);
    }
    return ids;
}

// The message box of another process with the caption "Morvane"; null while there is none.
HWND OtherProcessBox()
{
    HWND box = nullptr;
    while ((box = ::FindWindowExW(nullptr, box, L"#32770", L"Morvane")) != nullptr) {
        DWORD processId = 0;
        ::GetWindowThreadProcessId(box, &processId);
        if (processId != ::GetCurrentProcessId() && ::IsWindowVisible(box)) {
            return box;
        }
    }
    return nullptr;
}

// Runs Morvane.exe with the arguments from a Unix shell, with the debug channels of the events on
// and its standard error in a file; whileRunning is called once it started. Confirms its boxes
// (their texts collected) until it has ended, two minutes at most. Returns that standard error.
std::string RunWithEventChannels(const std::string& arguments, const std::function<void()>& whileRunning,
                                 std::vector<std::wstring>& boxTexts)
{
    const std::wstring scratch = TestSupport::MakeScratchDirectory(L"events");
    const std::string errors = TestSupport::UnixPathOf(scratch + L"\\stderr.txt");
    const std::string program = TestSupport::UnixPathOf(TestSupport::ProgramDirectory() + L"\\Morvane.exe");
    if (errors.empty() || program.empty()) {
        ADD_FAILURE() << "no Unix paths: not under Wine";
        return {};
    }
    std::wstring commandLine = TalvexBasic::FromUtf8(
        "sh -c \"WINEDEBUG=-all,fixme+advapi,+eventlog /usr/bin/wine '" + program + "' " + arguments + " 2> '" +
        errors + ".part'; mv '" + errors + ".part' '" + errors + "'\"");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION information{};
    if (!::CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &information)) {
        ADD_FAILURE() << "sh not started: " << ::GetLastError();
        return {};
    }
    const TalvexBasic::UniqueHandle process(information.hProcess);
    const TalvexBasic::UniqueHandle thread(information.hThread);
    whileRunning();
    const std::wstring done = scratch + L"\\stderr.txt";
    for (int attempt = 0; attempt < 1200 && ::GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES;
         ++attempt) {
        if (const HWND box = OtherProcessBox()) {
            wchar_t text[1024] = {};
            ::GetDlgItemTextW(box, 0xFFFF, text, ARRAYSIZE(text));
            boxTexts.emplace_back(text);
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            while (::IsWindow(box)) {
                ::Sleep(20);
            }
        }
        ::Sleep(100);
    }
    const std::string output = TestSupport::ReadWholeFile(done);
    TestSupport::RemoveTree(scratch);
    return output;
}

// The folder the one completion box names.
std::string FolderOfBox(const std::vector<std::wstring>& boxTexts)
{
    TestSupport::DebugCaptureResult shown;
    shown.messageBoxTexts = boxTexts;
    return TalvexBasic::ToUtf8(TestSupport::CompletionDirectory(shown));
}

TEST(RunEventsEndToEnd, ARunAndAWatchTellTheirStartEndAndCaughtWindows)
{
    TestSupport::FixtureProcess fixture;
    ASSERT_TRUE(fixture.Start()) << fixture.Failure();
    FixtureWindowSpec present;
    present.rect = {100, 100, 300, 250};
    present.caption = L"Present at the start";
    present.className = L"MorvaneEventsPresent";
    present.fill = RGB(200, 40, 40);
    const FixtureWindow presentWindow = fixture.Open(present);
    ASSERT_TRUE(presentWindow) << presentWindow.failure;

    // A one-shot run: its start and its end, which counts the window saved.
    std::vector<std::wstring> boxes;
    const std::vector<ChannelEvent> run = ReadChannelEvents(RunWithEventChannels("", [] {}, boxes));
    const std::string runFolder = FolderOfBox(boxes);
    ASSERT_FALSE(runFolder.empty());
    ASSERT_EQ(IdsOf(run), (std::vector<unsigned long>{1000, 1001}));
    EXPECT_EQ(run[0].type, static_cast<unsigned>(EVENTLOG_INFORMATION_TYPE));
    ASSERT_EQ(run[0].strings.size(), 4u);
    EXPECT_EQ(run[0].strings[0], "one-shot");
    EXPECT_EQ(run[0].strings[1], runFolder);
    EXPECT_NE(run[0].strings[2].find('\\'), std::string::npos) << run[0].strings[2];
    EXPECT_EQ(run[0].strings[3], "1.0.0.0");
    ASSERT_EQ(run[1].strings.size(), 5u);
    EXPECT_GE(std::stoi(run[1].strings[0]), 1);
    EXPECT_EQ(run[1].strings[3], "0");
    EXPECT_EQ(run[1].strings[4], runFolder);

    // A watch: a window that shows while it watches is told with its facts.
    std::wstring watchFolder;
    FixtureWindow caught;
    boxes.clear();
    const std::vector<ChannelEvent> watch = ReadChannelEvents(RunWithEventChannels(
        "--watch --for 8s",
        [&] {
            watchFolder = TestSupport::WaitForWatchFolder(Morvane::kWatchFolderMappingName, 60000);
            FixtureWindowSpec shown;
            shown.rect = {400, 100, 600, 250};
            shown.caption = L"Caught by the watch";
            shown.className = L"MorvaneEventsCaught";
            shown.fill = RGB(40, 40, 200);
            caught = fixture.Open(shown);
        },
        boxes));
    ASSERT_FALSE(watchFolder.empty());
    ASSERT_TRUE(caught) << caught.failure;
    const std::vector<unsigned long> ids = IdsOf(watch);
    ASSERT_GE(ids.size(), 3u);
    EXPECT_EQ(ids.front(), 1000u);
    EXPECT_EQ(ids.back(), 1001u);
    EXPECT_EQ(watch.front().strings.at(0), "watch");
    const std::string folder = TalvexBasic::ToUtf8(watchFolder);
    EXPECT_EQ(watch.front().strings.at(1), folder);
    EXPECT_EQ(FolderOfBox(boxes), folder);
    bool found = false;
    for (const ChannelEvent& event : watch) {
        if (event.id != 1010 || event.strings.size() != 9 || event.strings[0] != "Caught by the watch") {
            continue;
        }
        found = true;
        EXPECT_EQ(event.strings[1], "MorvaneEventsCaught");
        EXPECT_NE(event.strings[2].find("DesktopFixture.exe"), std::string::npos) << event.strings[2];
        EXPECT_EQ(event.strings[3], std::to_string(caught.processId));
        EXPECT_EQ(event.strings[4], "window");
        EXPECT_EQ(event.strings[5], "unsigned");
        EXPECT_EQ(event.strings[6], "(none)");
        EXPECT_EQ(event.strings[7], folder);
        // The window folder lies in the run folder and holds the window's text record.
        EXPECT_EQ(event.strings[8].rfind(folder + "\\WindowShot\\", 0), 0u) << event.strings[8];
        const std::wstring record = TalvexBasic::FromUtf8(event.strings[8]) + L"\\Morvane.Info.txt";
        EXPECT_NE(::GetFileAttributesW(record.c_str()), INVALID_FILE_ATTRIBUTES) << event.strings[8];
    }
    EXPECT_TRUE(found);
    EXPECT_GE(std::stoi(watch.back().strings.at(0)), 2);
}

} // namespace
