// The real Morvane.exe on a display scaled to 144 DPI (150 %): its manifest declares per-monitor
// DPI awareness, so window rectangles, monitor rectangles and pictures are all in physical pixels
// and agree. ctest runs it in a prefix of its own (tests/own-desktop.sh --dpi 144); at any other
// scale it is skipped.

#include "record/RunRecord.h"
#include "support/FixtureProcess.h"
#include "support/JpegReader.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace {

using namespace TestSupport;
using nlohmann::json;

constexpr DWORD kScaledDpi = 144;

DWORD PrefixDpi()
{
    DWORD dpi = 0;
    DWORD size = sizeof dpi;
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", RRF_RT_REG_DWORD, nullptr, &dpi,
                       &size) != ERROR_SUCCESS) {
        return 96;
    }
    return dpi;
}

int Width(const json& rect)
{
    return rect["right"].get<int>() - rect["left"].get<int>();
}

int Height(const json& rect)
{
    return rect["bottom"].get<int>() - rect["top"].get<int>();
}

// The manifest built into Morvane.exe, as the loader reads it.
std::string ManifestOf(const std::wstring& program)
{
    const HMODULE module = ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        return {};
    }
    std::string manifest;
    if (const HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        if (const HGLOBAL loaded = ::LoadResource(module, resource)) {
            manifest.assign(static_cast<const char*>(::LockResource(loaded)), ::SizeofResource(module, resource));
        }
    }
    ::FreeLibrary(module);
    return manifest;
}

// Windows reads these from the manifest alone: written for Windows 10 and 11, and long paths
// where the system allows them (Wine has no MAX_PATH limit to lift).
TEST(ProgramManifest, DeclaresWindows10AndLongPaths)
{
    const std::string manifest = ManifestOf(ProgramDirectory() + L"\\Morvane.exe");
    EXPECT_NE(manifest.find("<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"), std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find("WindowsSettings\">true</longPathAware>"), std::string::npos) << manifest;
}

TEST(ScaledRun, RectanglesAndPicturesAgreeInPhysicalPixels)
{
    // Wine 8 scales the windows of no process, aware or not, so the run below cannot tell an
    // unaware tool from an aware one: the declaration is checked where Windows reads it.
    const std::string manifest = ManifestOf(ProgramDirectory() + L"\\Morvane.exe");
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos) << manifest;
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos) << manifest;

    if (PrefixDpi() != kScaledDpi) {
        GTEST_SKIP() << "the display is not scaled to 144 DPI (ctest runs this in such a prefix: ScaledRun)";
    }
    GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.Started());
    FixtureProcess fixture;
    ASSERT_TRUE(fixture.Start()) << fixture.Failure();
    const std::vector<FixtureWindowSpec> layouts = {
        {{100, 100, 500, 400}, L"Scaled left", L"ScaledLeft", WS_POPUP | WS_VISIBLE, 0, RGB(220, 30, 30)},
        {{700, 200, 1000, 600}, L"Scaled right", L"ScaledRight", WS_POPUP | WS_VISIBLE, 0, RGB(30, 60, 220)},
    };
    std::vector<FixtureWindow> windows;
    for (const FixtureWindowSpec& layout : layouts) {
        windows.push_back(fixture.Open(layout));
        ASSERT_TRUE(windows.back()) << windows.back().failure;
    }
    const DebugCaptureResult run = RunMorvane();
    (void)fixture.Quit();
    ASSERT_TRUE(run.failure.empty()) << run.failure;
    const std::wstring directory = CompletionDirectory(run);
    ASSERT_FALSE(directory.empty());
    const json record = json::parse(ReadWholeFile(directory + L"\\Morvane.Run.json"), nullptr, false);
    ASSERT_TRUE(record.is_object());

    ASSERT_EQ(record["monitors"].size(), 1u);
    const json& monitor = record["monitors"][0];
    EXPECT_EQ(monitor["dpi"], kScaledDpi);
    // The monitor in physical pixels, and its picture of the same size.
    EXPECT_EQ(Width(monitor["rect"]), 1920);
    EXPECT_EQ(Height(monitor["rect"]), 1080);
    DecodedImage screen;
    std::string reason;
    ASSERT_TRUE(DecodeJpegFile(RecordPath(directory, monitor["picture"]), screen, reason)) << reason;
    EXPECT_EQ(screen.width, 1920);
    EXPECT_EQ(screen.height, 1080);

    for (size_t index = 0; index < windows.size(); ++index) {
        const std::string handle = Morvane::FormatHandle(reinterpret_cast<ULONG_PTR>(windows[index].handle));
        const json* entry = nullptr;
        for (const json& window : record["windows"]) {
            if (window["handle"] == handle) {
                entry = &window;
            }
        }
        ASSERT_NE(entry, nullptr) << handle;
        ASSERT_EQ((*entry)["outcome"], "saved") << handle;
        EXPECT_EQ((*entry)["dpi"], kScaledDpi) << handle;
        const json& rect = (*entry)["rect"];
        const COLORREF fill = layouts[index].fill;

        // The window picture is exactly the recorded rectangle, and shows the window all over.
        DecodedImage picture;
        ASSERT_TRUE(DecodeJpegFile(RecordPath(directory, (*entry)["folder"]) + L"\\Morvane.Window.jpg", picture,
                                   reason))
            << reason;
        EXPECT_EQ(picture.width, Width(rect)) << handle;
        EXPECT_EQ(picture.height, Height(rect)) << handle;
        for (const POINT& point : {POINT{6, 6}, POINT{picture.width / 2, picture.height / 2},
                                   POINT{picture.width - 7, picture.height - 7}}) {
            const Rgb seen = picture.MeanAround(point.x, point.y, 3);
            EXPECT_TRUE(IsNear(seen, GetRValue(fill), GetGValue(fill), GetBValue(fill)))
                << handle << " at " << point.x << "," << point.y << " shows " << Describe(seen);
        }
        // The monitor picture shows the window just inside each corner of the recorded rectangle
        // and not just outside it: rectangle and pixels agree.
        const int left = rect["left"].get<int>();
        const int top = rect["top"].get<int>();
        const int right = rect["right"].get<int>();
        const int bottom = rect["bottom"].get<int>();
        const Rgb inside = screen.MeanAround(right - 6, bottom - 6, 3);
        const Rgb outside = screen.MeanAround(right + 6, bottom + 6, 3);
        EXPECT_TRUE(IsNear(inside, GetRValue(fill), GetGValue(fill), GetBValue(fill))) << Describe(inside);
        EXPECT_FALSE(IsNear(outside, GetRValue(fill), GetGValue(fill), GetBValue(fill))) << Describe(outside);
        EXPECT_TRUE(IsNear(screen.MeanAround(left + 6, top + 6, 3), GetRValue(fill), GetGValue(fill), GetBValue(fill)));
    }
    RemoveTree(directory);
}

} // namespace
