// The real Morvane.exe watching: fixture windows of another process that show after the watch
// began are each caught with their own colour, the record and page are readable while the
// watch runs, and --stop ends it with today's completion message. Its icon's menu holds up no
// capture, and the end of the session finds the last record written.

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
};

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
    };
    FixtureWindow hung;
    FixtureWindowSpec hungLayout;
    hungLayout.rect = {60, 300, 260, 450};
    hungLayout.caption = L"Hung";
    hungLayout.className = L"MorvaneWatchHung";
    hungLayout.fill = RGB(200, 40, 200);
    for (Flash& flash : flashes) {
        FixtureWindowSpec layout;
        layout.rect = flash.rect;
        layout.caption = L"Flash";
        layout.className = L"MorvaneFixtureFlash";
        layout.fill = flash.fill;
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

    // Everything has shown and gone, and the record of the running watch has been written again.
    ::Sleep(4000);
    const json running = json::parse(TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.json"), nullptr, false);
    ASSERT_FALSE(running.is_discarded());
    EXPECT_EQ(running["watch"]["running"], true);
    EXPECT_EQ(EntriesOf(running, flashes[2].window.handle).size(), 1u);
    const std::string page = TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.html");
    EXPECT_NE(page.find(Handle(flashes[2].window.handle)), std::string::npos);
    EXPECT_NE(page.find("</html>"), std::string::npos);

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
    // The hung window is taken from the screen, where it painted before its thread stopped.
    const std::vector<const json*> hungEntries = EntriesOf(record, hung.handle);
    ASSERT_EQ(hungEntries.size(), 1u);
    EXPECT_TRUE(PictureShows(folder, *hungEntries[0], hungLayout.fill));
    const std::vector<const json*> boxEntries = EntriesOf(record, box.handle);
    ASSERT_EQ(boxEntries.size(), 1u);
    EXPECT_TRUE(PictureShows(folder, *boxEntries[0], CLR_INVALID));
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
    json record;
    for (int tries = 0; tries < 600; ++tries) {
        ::Sleep(50);
        record = json::parse(TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.json"), nullptr, false);
        if (!record.is_discarded() && !EntriesOf(record, shown.handle).empty()) {
            break;
        }
    }
    ASSERT_FALSE(record.is_discarded());
    EXPECT_EQ(record["watch"]["running"], true);
    const std::vector<const json*> whileOpen = EntriesOf(record, shown.handle);
    ASSERT_EQ(whileOpen.size(), 1u);
    EXPECT_TRUE(PictureShows(folder, *whileOpen[0], layout.fill));
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
        {L"--help", 0, L"--watch [--for <duration>]"},
        {L"/?", 0, L"--watch [--for <duration>]"},
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
