#pragma once

#include "support/DebugCapture.h"
#include "support/FixtureWindows.h"

#include <windows.h>

#include <string>
#include <vector>

namespace TestSupport {

// A fixture window of the shared run and what the platform said of it while it was open: the
// fixture windows are gone by the time the first test reads the run.
struct SharedRunWindow {
    FixtureWindowSpec layout;
    FixtureWindow window;
    DWORD style = 0;
    DWORD exStyle = 0;
    HMONITOR monitor = nullptr;
    MONITORINFOEXW monitorInfo{};
};

// The desktop the tool sees: windows of two DesktopFixture.exe processes, none overlapping
// another's centre, so that the monitor picture shows each in its own colour.
struct SharedRunDesktop {
    // First process. The vanishing window is opened first, so it lies lowest: the tool reaches
    // it after the hung window, and it is closed while the tool waits there.
    SharedRunWindow vanishing;
    SharedRunWindow framed;      // WS_OVERLAPPEDWINDOW, left top
    SharedRunWindow leftTop;     // pop-up, left top
    SharedRunWindow plain;       // pop-up, left top
    SharedRunWindow tiny;        // 4 x 4, middle band
    SharedRunWindow wideCaption; // caption outside the ANSI code page, middle band
    SharedRunWindow centre;      // middle band
    SharedRunWindow hidden;      // never shown
    // Second process.
    SharedRunWindow untitled; // empty caption, right top
    SharedRunWindow hung;     // its thread stops pumping messages once painted, right bottom
    SharedRunWindow topmost;  // WS_EX_TOPMOST framed pop-up, caption outside the code page
    SharedRunWindow rightLow; // caption partly inside the code page, right bottom
    SharedRunWindow thin;     // three pixels wide

    // Every window above, in that order.
    [[nodiscard]] std::vector<const SharedRunWindow*> All() const;
};

struct SharedMorvaneRun {
    std::string failure; // why the desktop or the run could not be made; empty when it ran
    SharedRunDesktop desktop;
    DebugCaptureResult result;          // debugger lines, boxes and exit of Morvane.exe
    std::wstring outputDirectory;       // named by the completion message
    std::wstring shotFolder;            // outputDirectory\WindowShot
    std::wstring logFolder;             // outputDirectory\Log
    std::vector<std::wstring> logFiles; // names of the plain files in the log folder, sorted
    bool vanishingClosed = false;       // the vanishing window was closed during the run
    DWORD runMilliseconds = 0;
};

// One run of the real Morvane.exe over the desktop above, shared by the end-to-end suites
// (each start of the tool under Wine costs seconds). Made before the first test when a test of
// a suite declared with UsesSharedMorvaneRun is selected, on a desktop no test has touched yet,
// otherwise at the first call. Its fixture windows are closed as soon as the run has ended, so
// later tests see none of them; its output folder is removed after the last test.
[[nodiscard]] const SharedMorvaneRun& TheSharedMorvaneRun();

// Declares a test suite that reads the shared run; at namespace scope:
//     const bool kUsesSharedRun = TestSupport::UsesSharedMorvaneRun("RunEndToEnd");
bool UsesSharedMorvaneRun(const char* suiteName);

} // namespace TestSupport
