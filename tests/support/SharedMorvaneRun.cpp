#include "support/SharedMorvaneRun.h"

#include "support/FixtureProcess.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "support/TestText.h"

#include "system/HResult.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <memory>
#include <set>
#include <string>
#include <thread>

namespace TestSupport {
namespace {

struct Opening {
    SharedRunWindow SharedRunDesktop::*member;
    bool second; // in the second fixture process
    bool hung;
    FixtureWindowSpec layout;
};

// In opening order: each window lies above those opened before it.
std::vector<Opening> Openings()
{
    constexpr DWORD kPopup = WS_POPUP | WS_VISIBLE;
    return {
        {&SharedRunDesktop::vanishing,
         false,
         false,
         {{1550, 100, 1750, 250}, L"Vanishing", L"ShotVanishing", kPopup, 0, RGB(30, 190, 60)}},
        {&SharedRunDesktop::framed,
         false,
         false,
         {{20, 320, 620, 520},
          L"Fixture main window",
          L"MorvaneRunMain",
          WS_OVERLAPPEDWINDOW | WS_VISIBLE,
          0,
          RGB(200, 30, 30)}},
        {&SharedRunDesktop::leftTop,
         false,
         false,
         {{100, 100, 400, 300}, L"Left top", L"ShotLeftTop", kPopup, 0, RGB(220, 30, 30)}},
        {&SharedRunDesktop::plain,
         false,
         false,
         {{420, 20, 620, 300}, L"Logging fixture plain", L"LoggingFixturePlain", kPopup, 0, RGB(200, 40, 40)}},
        {&SharedRunDesktop::tiny,
         false,
         false,
         {{1000, 50, 1004, 54}, L"Four by four", L"MorvaneRunTiny", kPopup, 0, RGB(0, 0, 255)}},
        {&SharedRunDesktop::wideCaption,
         false,
         false,
         {{660, 120, 960, 380}, L"Logging \x4E2D\x6587 fixture", L"LoggingFixtureWide", kPopup, 0, RGB(200, 40, 40)}},
        {&SharedRunDesktop::centre,
         false,
         false,
         {{800, 400, 1120, 680}, L"Centre", L"ShotCentre", kPopup, 0, RGB(30, 190, 60)}},
        {&SharedRunDesktop::hidden,
         false,
         false,
         {{200, 600, 400, 700}, L"Hidden", L"MorvaneRunHidden", WS_POPUP, 0, RGB(0, 255, 0)}},
        {&SharedRunDesktop::untitled,
         true,
         false,
         {{1300, 100, 1500, 300}, L"", L"MorvaneRunUntitled", kPopup, 0, RGB(9, 9, 9)}},
        {&SharedRunDesktop::hung,
         true,
         true,
         {{1300, 500, 1500, 700}, L"Hung", L"ShotHung", kPopup, 0, RGB(240, 150, 20)}},
        {&SharedRunDesktop::topmost,
         true,
         false,
         {{1300, 760, 1550, 1000},
          L"\x6F22\x5B57 pop-up",
          L"MorvaneRunPopup",
          WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
          WS_EX_TOPMOST | WS_EX_DLGMODALFRAME,
          RGB(230, 230, 0)}},
        {&SharedRunDesktop::rightLow,
         true,
         false,
         {{1600, 860, 1920, 1040}, L"Caf\x00E9 \x6F22\x5B57 \x20AC end", L"ShotRightLow", kPopup, 0, RGB(40, 70, 220)}},
        {&SharedRunDesktop::thin,
         true,
         false,
         {{50, 600, 53, 800}, L"Three wide", L"MorvaneRunNarrow", kPopup, 0, RGB(220, 30, 30)}},
    };
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What the records describe, read while the window is still open.
void ReadBack(SharedRunWindow& shared)
{
    const HWND handle = shared.window.handle;
    if (!::IsWindow(handle)) {
        return;
    }
    shared.style = static_cast<DWORD>(::GetWindowLongPtrW(handle, GWL_STYLE));
    shared.exStyle = static_cast<DWORD>(::GetWindowLongPtrW(handle, GWL_EXSTYLE));
    shared.monitor = ::MonitorFromWindow(handle, MONITOR_DEFAULTTONEAREST);
    shared.monitorInfo.cbSize = sizeof shared.monitorInfo;
    ::GetMonitorInfoW(shared.monitor, &shared.monitorInfo);
}

void Make(SharedMorvaneRun& run)
{
    FixtureProcess first;
    FixtureProcess second;
    if (!first.Start() || !second.Start()) {
        run.failure = "DesktopFixture.exe: " + first.Failure() + second.Failure();
        return;
    }
    for (const Opening& opening : Openings()) {
        FixtureProcess& owner = opening.second ? second : first;
        SharedRunWindow& shared = run.desktop.*opening.member;
        shared.layout = opening.layout;
        shared.window = opening.hung ? owner.OpenHung(opening.layout) : owner.Open(opening.layout);
        if (!shared.window) {
            run.failure = "cannot open " + Narrow(opening.layout.className) + ": " + shared.window.failure;
            return;
        }
    }

    // While the tool waits on the hung window, close the vanishing one below it.
    wchar_t numbers[80];
    std::swprintf(numbers, 80, L"]-0x%016llX-%lu-%lu", TalvexBasic::PointerBits(run.desktop.hung.window.handle),
                  static_cast<unsigned long>(run.desktop.hung.window.processId),
                  static_cast<unsigned long>(run.desktop.hung.window.threadId));
    const std::wstring hungFolder = std::wstring(L"[DesktopFixture.exe") + numbers;
    const std::wstring outputRoot = ProgramDirectory() + L"\\Morvane\\Output";
    std::atomic<bool> stop{false};
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        while (!stop && !closed) {
            for (const std::wstring& folder : NamesIn(outputRoot)) {
                if (!closed &&
                    Exists(outputRoot + L"\\" + folder + L"\\WindowShot\\" + hungFolder + L"\\Morvane.Info.txt")) {
                    closed = first.Close(run.desktop.vanishing.window.handle);
                }
            }
            ::Sleep(5);
        }
    });
    const DWORD start = ::GetTickCount();
    run.result = RunMorvane();
    run.runMilliseconds = ::GetTickCount() - start;
    stop = true;
    closer.join();
    run.vanishingClosed = closed;

    for (const Opening& opening : Openings()) {
        ReadBack(run.desktop.*opening.member);
    }
    // A hung window's thread is released first; the processes then end by themselves.
    (void)second.Close(run.desktop.hung.window.handle);
    (void)second.Quit();
    (void)first.Quit();

    if (!run.result.failure.empty()) {
        run.failure = "Morvane.exe: " + run.result.failure;
        return;
    }
    run.outputDirectory = CompletionDirectory(run.result);
    if (run.outputDirectory.empty()) {
        run.failure = "Morvane.exe showed no completion message naming its output folder";
        return;
    }
    run.shotFolder = run.outputDirectory + L"\\WindowShot";
    run.logFolder = run.outputDirectory + L"\\Log";
    run.logFiles = FilesIn(run.logFolder);
}

std::unique_ptr<SharedMorvaneRun>& Storage()
{
    static std::unique_ptr<SharedMorvaneRun> run;
    return run;
}

std::set<std::string>& UserSuites()
{
    static std::set<std::string> names;
    return names;
}

// Makes the run before the first test when a test that reads it is selected, and removes what
// it wrote after the last test.
class SharedRunEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
        for (int index = 0; index < unit.total_test_suite_count(); ++index) {
            const ::testing::TestSuite& suite = *unit.GetTestSuite(index);
            if (suite.test_to_run_count() > 0 && UserSuites().count(suite.name()) != 0) {
                (void)TheSharedMorvaneRun();
                return;
            }
        }
    }

    void TearDown() override
    {
        std::unique_ptr<SharedMorvaneRun>& run = Storage();
        if (run && !run->outputDirectory.empty()) {
            RemoveTree(run->outputDirectory);
        }
        run.reset();
    }
};

[[maybe_unused]] ::testing::Environment* const sEnvironment =
    ::testing::AddGlobalTestEnvironment(new SharedRunEnvironment());

} // namespace

std::vector<const SharedRunWindow*> SharedRunDesktop::All() const
{
    std::vector<const SharedRunWindow*> windows;
    for (const Opening& opening : Openings()) {
        windows.push_back(&(this->*opening.member));
    }
    return windows;
}

const SharedMorvaneRun& TheSharedMorvaneRun()
{
    std::unique_ptr<SharedMorvaneRun>& run = Storage();
    if (!run) {
        run = std::make_unique<SharedMorvaneRun>();
        Make(*run);
    }
    return *run;
}

bool UsesSharedMorvaneRun(const char* suiteName)
{
    UserSuites().insert(suiteName);
    return true;
}

} // namespace TestSupport
