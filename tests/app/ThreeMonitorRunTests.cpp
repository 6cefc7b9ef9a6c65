// The real Morvane.exe on three monitors (scripts/three-monitors.conf): a primary 1920x1080 at
// (0,0), a 1280x1024 left of it at negative x, a 1600x900 above it at negative y, and a corner of
// the virtual screen that belongs to no monitor. One run over windows on each monitor, one across
// two monitors and one in that corner. ctest runs it on its own desktop (tests/own-desktop.sh);
// on any other desktop it is skipped. The run, of a copy of Morvane.exe, stays in
// build/.../bin/ThreeMonitorSample for the browser test of the page's monitor map.

#include "record/RunRecord.h"
#include "support/FixtureProcess.h"
#include "support/JpegReader.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "support/TestText.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace TestSupport;
using nlohmann::json;

constexpr RECT kPrimary{0, 0, 1920, 1080};
constexpr RECT kLeft{-1280, 0, 0, 1024};
constexpr RECT kAbove{0, -900, 1600, 0};

struct Placed {
    FixtureWindowSpec layout;
    RECT monitor;      // the monitor the window belongs to
    const char* zone;  // in that monitor's own terms
    Rgb colour;
};

// In opening order; none covers another.
std::vector<Placed> Placements()
{
    constexpr DWORD kPopup = WS_POPUP | WS_VISIBLE;
    return {
        {{{-1100, 100, -700, 400}, L"On the left monitor", L"MonitorsLeft", kPopup, 0, RGB(220, 30, 30)},
         kLeft,
         "LeftTopCornet",
         {220, 30, 30}},
        {{{1200, -300, 1500, -100}, L"On the upper monitor", L"MonitorsAbove", kPopup, 0, RGB(30, 60, 220)},
         kAbove,
         "RightBottomCorner",
         {30, 60, 220}},
        // Two thirds on the primary, one third on the left monitor.
        {{{-200, 600, 400, 900}, L"Across two monitors", L"MonitorsAcross", kPopup, 0, RGB(30, 190, 60)},
         kPrimary,
         "LeftBottomCornet",
         {30, 190, 60}},
        // Where no monitor shows anything: the nearest monitor is the left one, 400 pixels below.
        {{{-900, -700, -500, -400}, L"Beside every monitor", L"MonitorsNowhere", kPopup, 0, RGB(230, 200, 20)},
         kLeft,
         "Center",
         {230, 200, 20}},
        {{{1500, 700, 1800, 1000}, L"On the primary", L"MonitorsPrimary", kPopup, 0, RGB(200, 30, 200)},
         kPrimary,
         "RightBottomCorner",
         {200, 30, 200}},
    };
}

std::string Line(const std::vector<std::string>& lines, size_t number)
{
    return number <= lines.size() ? lines[number - 1] : "<missing line " + std::to_string(number) + ">";
}

bool SameRect(const json& rect, const RECT& expected)
{
    return rect["left"] == expected.left && rect["top"] == expected.top && rect["right"] == expected.right &&
           rect["bottom"] == expected.bottom;
}

class ThreeMonitorRun : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (::GetSystemMetrics(SM_CMONITORS) != 3) {
            return;
        }
        sFixture = new FixtureProcess();
        ASSERT_TRUE(sFixture->Start()) << sFixture->Failure();
        for (const Placed& placed : Placements()) {
            sWindows.push_back(sFixture->Open(placed.layout));
            ASSERT_TRUE(sWindows.back()) << sWindows.back().failure;
        }
        const std::wstring home = ProgramDirectory() + L"\\ThreeMonitorSample";
        RemoveTree(home);
        ASSERT_TRUE(::CreateDirectoryW(home.c_str(), nullptr));
        ASSERT_TRUE(::CopyFileW((ProgramDirectory() + L"\\Morvane.exe").c_str(), (home + L"\\Morvane.exe").c_str(),
                                FALSE));
        sRun = new DebugCaptureResult(RunMorvane(home + L"\\Morvane.exe"));
        sDirectory = CompletionDirectory(*sRun);
        sRecord = json::parse(ReadWholeFile(sDirectory + L"\\Morvane.Run.json"), nullptr, false);
        (void)sFixture->Quit();
    }

    static void TearDownTestSuite()
    {
        delete sRun;
        delete sFixture;
        sRun = nullptr;
        sFixture = nullptr;
    }

    void SetUp() override
    {
        if (::GetSystemMetrics(SM_CMONITORS) != 3) {
            GTEST_SKIP() << "not a three-monitor desktop (ctest runs this on one: ThreeMonitorRun)";
        }
        ASSERT_NE(sRun, nullptr);
        ASSERT_TRUE(sRun->failure.empty()) << sRun->failure;
        ASSERT_FALSE(sDirectory.empty());
        ASSERT_TRUE(sRecord.is_object()) << "Morvane.Run.json missing or not JSON";
        ASSERT_EQ(sWindows.size(), Placements().size());
    }

    static const json& Entry(size_t index)
    {
        static const json missing;
        const std::string handle = Morvane::FormatHandle(reinterpret_cast<ULONG_PTR>(sWindows[index].handle));
        for (const json& window : sRecord["windows"]) {
            if (window["handle"] == handle) {
                return window;
            }
        }
        return missing;
    }

    static inline FixtureProcess* sFixture = nullptr;
    static inline std::vector<FixtureWindow> sWindows;
    static inline DebugCaptureResult* sRun = nullptr;
    static inline std::wstring sDirectory;
    static inline json sRecord;
};

TEST_F(ThreeMonitorRun, RecordsEveryMonitorWithItsPlace)
{
    ASSERT_EQ(sRecord["monitors"].size(), 3u);
    std::map<std::string, json> byDevice;
    for (const json& monitor : sRecord["monitors"]) {
        byDevice[monitor["device"].get<std::string>()] = monitor;
    }
    const std::pair<const char*, RECT> expected[] = {
        {"\\\\.\\DISPLAY1", kPrimary}, {"\\\\.\\DISPLAY2", kLeft}, {"\\\\.\\DISPLAY3", kAbove}};
    for (const auto& [device, rect] : expected) {
        ASSERT_EQ(byDevice.count(device), 1u) << device;
        const json& monitor = byDevice[device];
        EXPECT_TRUE(SameRect(monitor["rect"], rect)) << monitor["rect"];
        EXPECT_TRUE(SameRect(monitor["workRect"], rect)) << monitor["workRect"];
        EXPECT_EQ((monitor["flags"].get<unsigned>() & MONITORINFOF_PRIMARY) != 0, device == expected[0].first);
        EXPECT_EQ(monitor["dpi"], 96) << device;
        // Each monitor picture is of its own monitor's size.
        ASSERT_TRUE(monitor["picture"].is_string()) << device;
        DecodedImage picture;
        std::string reason;
        ASSERT_TRUE(DecodeJpegFile(RecordPath(sDirectory, monitor["picture"]), picture, reason)) << reason;
        EXPECT_EQ(picture.width, rect.right - rect.left) << device;
        EXPECT_EQ(picture.height, rect.bottom - rect.top) << device;
    }
}

TEST_F(ThreeMonitorRun, RecordsEachWindowInItsOwnMonitorsTerms)
{
    GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.Started());
    const std::vector<Placed> placements = Placements();
    for (size_t index = 0; index < placements.size(); ++index) {
        const Placed& placed = placements[index];
        const RECT& window = placed.layout.rect;
        const json& entry = Entry(index);
        ASSERT_TRUE(entry.is_object()) << index << " has no entry";
        ASSERT_EQ(entry["outcome"], "saved") << index;
        EXPECT_TRUE(SameRect(entry["rect"], window)) << index << " " << entry["rect"];
        EXPECT_EQ(entry["zone"], placed.zone) << index;
        EXPECT_EQ(entry["dpi"], 96) << index;

        // The text record: negative numbers as they are, the zone and the monitor's rectangle.
        const std::wstring folder = RecordPath(sDirectory, entry["folder"]) + L"\\";
        const std::vector<std::string> lines = CrLfLines(ReadWholeFile(folder + L"Morvane.Info.txt"));
        ASSERT_EQ(lines.size(), 34u) << index;
        EXPECT_EQ(Line(lines, 2), std::string("ZonePosition: ") + placed.zone) << index;
        EXPECT_EQ(Line(lines, 9), "WindowRectangle.left: " + std::to_string(window.left)) << index;
        EXPECT_EQ(Line(lines, 11), "WindowRectangle.top: " + std::to_string(window.top)) << index;
        EXPECT_EQ(Line(lines, 19), "DisplayMonitorHandle: " + entry["monitor"].get<std::string>()) << index;
        EXPECT_EQ(Line(lines, 27), "DisplayMonitorRectangle.left: " + std::to_string(placed.monitor.left)) << index;
        EXPECT_EQ(Line(lines, 29), "DisplayMonitorRectangle.top: " + std::to_string(placed.monitor.top)) << index;
        EXPECT_EQ(Line(lines, 31), "DisplayMonitorWidth: " + std::to_string(placed.monitor.right - placed.monitor.left))
            << index;

        // The monitor picture is of the window's monitor and shows the window at its place there.
        DecodedImage monitor;
        std::string reason;
        ASSERT_TRUE(DecodeJpegFile(folder + L"Morvane.DisplayMonitor.jpg", monitor, reason)) << index << reason;
        EXPECT_EQ(monitor.width, placed.monitor.right - placed.monitor.left) << index;
        EXPECT_EQ(monitor.height, placed.monitor.bottom - placed.monitor.top) << index;
        const int centreX = (std::max(window.left, placed.monitor.left) + std::min(window.right, placed.monitor.right)) / 2;
        const int centreY = (std::max(window.top, placed.monitor.top) + std::min(window.bottom, placed.monitor.bottom)) / 2;
        const bool onMonitor = window.left < placed.monitor.right && placed.monitor.left < window.right &&
                               window.top < placed.monitor.bottom && placed.monitor.top < window.bottom;
        if (onMonitor) {
            const Rgb seen = monitor.MeanAround(centreX - placed.monitor.left, centreY - placed.monitor.top, 4);
            EXPECT_TRUE(IsNear(seen, placed.colour.red, placed.colour.green, placed.colour.blue))
                << index << " shows " << Describe(seen);
        }

        // The window picture is the window's size; where a monitor shows the window, it shows
        // its colour, on both monitors for the window across two.
        DecodedImage picture;
        ASSERT_TRUE(DecodeJpegFile(folder + L"Morvane.Window.jpg", picture, reason)) << index << reason;
        EXPECT_EQ(picture.width, window.right - window.left) << index;
        EXPECT_EQ(picture.height, window.bottom - window.top) << index;
        std::vector<POINT> shown; // window coordinates of points some monitor shows
        if (index == 2) {
            shown = {{100, 150}, {500, 150}}; // left of x = 0 and right of it
        } else if (onMonitor) {
            shown = {{picture.width / 2, picture.height / 2}};
        }
        for (const POINT& point : shown) {
            const Rgb seen = picture.MeanAround(point.x, point.y, 4);
            EXPECT_TRUE(IsNear(seen, placed.colour.red, placed.colour.green, placed.colour.blue))
                << index << " at " << point.x << "," << point.y << " shows " << Describe(seen);
        }
    }
}

} // namespace
