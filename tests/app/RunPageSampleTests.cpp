// Leaves two real runs of a copy of Morvane.exe in build/.../bin/RunPageSample for the browser
// test (tests/browser): a first run with nothing to compare with, then a second one after one
// window closed and two opened. Run by ctest on its own, before the browser test.

#include "support/FixtureProcess.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace TestSupport;

TEST(RunPageSample, LeavesTwoRunsForTheBrowser)
{
    const std::wstring home = ProgramDirectory() + L"\\RunPageSample";
    RemoveTree(home);
    ASSERT_TRUE(::CreateDirectoryW(home.c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW((ProgramDirectory() + L"\\Morvane.exe").c_str(), (home + L"\\Morvane.exe").c_str(), FALSE));

    FixtureProcess editor;
    FixtureProcess player;
    // Who made the windows: a fixture whose launcher stays, and one whose launcher has left.
    ASSERT_TRUE(editor.StartThroughLauncher(FixtureProcess::Launcher::Stays)) << editor.Failure();
    ASSERT_TRUE(player.StartThroughLauncher(FixtureProcess::Launcher::Leaves)) << player.Failure();
    const std::vector<FixtureWindowSpec> first = {
        {{40, 40, 900, 600},
         L"Report \x2014 \x6F22\x5B57 draft",
         L"SampleEditor",
         WS_POPUP | WS_VISIBLE,
         0,
         RGB(70, 110, 180)},
        {{960, 60, 1500, 420},
         L"<img src=x onerror=window.pwned=1></script><b id=\"injected\">bold</b>",
         L"SampleMarkup",
         WS_POPUP | WS_VISIBLE,
         0,
         RGB(220, 180, 40)},
        {{1560, 700, 1880, 1000},
         L"Palette",
         L"SampleTool",
         WS_POPUP | WS_VISIBLE,
         WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
         RGB(60, 170, 90)},
    };
    std::vector<FixtureWindow> windows;
    for (const FixtureWindowSpec& layout : first) {
        windows.push_back(editor.Open(layout));
        ASSERT_TRUE(windows.back()) << windows.back().failure;
    }
    const FixtureWindow leaving = player.Open(
        {{300, 650, 800, 950}, L"Now playing", L"SamplePlayer", WS_POPUP | WS_VISIBLE, 0, RGB(150, 60, 150)});
    ASSERT_TRUE(leaving) << leaving.failure;
    const DebugCaptureResult firstRun = RunMorvane(home + L"\\Morvane.exe");
    ASSERT_FALSE(CompletionDirectory(firstRun).empty()) << firstRun.failure;

    ASSERT_TRUE(player.Close(leaving.handle));
    const FixtureWindow popup = player.Open({{1000, 500, 1400, 700},
                                             L"Unexpected offer!\r\nClick here",
                                             L"SamplePopup",
                                             WS_POPUP | WS_VISIBLE,
                                             WS_EX_TOPMOST,
                                             RGB(210, 50, 50)});
    const FixtureWindow second = editor.Open({{120, 640, 700, 1000},
                                              L"Report \x2014 \x6F22\x5B57 draft",
                                              L"SampleEditor",
                                              WS_POPUP | WS_VISIBLE,
                                              0,
                                              RGB(90, 140, 210)});
    // Opened last, so above the editor on the screen and in the z-order: it covers the editor's
    // lower right corner, which the editor's card marks.
    const FixtureWindow notes = player.Open(
        {{560, 860, 760, 1040}, L"Notepad", L"SampleNotes", WS_POPUP | WS_VISIBLE, 0, RGB(240, 240, 240)});
    ASSERT_TRUE(popup && second && notes);
    const DebugCaptureResult secondRun = RunMorvane(home + L"\\Morvane.exe");
    ASSERT_FALSE(CompletionDirectory(secondRun).empty()) << secondRun.failure;
}

} // namespace
