// Menus, tooltips and other short-lived windows, end to end: the real Morvane.exe over fixture
// windows of the system's short-lived classes and one ordinary window. Each short-lived one gets
// its entry, its kind, its text record and its window picture, but no monitor picture, and the
// record and the log say that it was left out on purpose; the ordinary window is saved in full.

#include "capture/OutputFileNames.h"
#include "support/FixtureProcess.h"
#include "support/JpegReader.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "system/HResult.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace TestSupport;
using nlohmann::json;

struct KindWindow {
    FixtureWindowSpec layout;
    const char* kind;
    FixtureWindow window{};
};

std::string Handle(HWND window)
{
    char text[24];
    std::snprintf(text, sizeof(text), "0x%016llX", TalvexBasic::PointerBits(window));
    return text;
}

class WindowKindEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Opened from the bottom up: the short-lived ones lie above the ordinary window and are
        // enumerated before it, so that its monitor picture is the first the monitor could name.
        sWindows = new std::vector<KindWindow>{
            {{{60, 80, 360, 280}, L"ordinary", L"MorvaneKindPlain", WS_POPUP | WS_VISIBLE, 0, RGB(220, 30, 30)},
             "window"},
            {{{420, 80, 620, 280}, L"menu", L"#32768", WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
              RGB(30, 190, 60)},
             "menu"},
            {{{680, 80, 880, 160}, L"tip", L"tooltips_class32", WS_POPUP | WS_VISIBLE,
              WS_EX_TOOLWINDOW | WS_EX_TOPMOST, RGB(40, 70, 220)},
             "tooltip"},
            {{{60, 340, 260, 440}, L"", L"SysShadow", WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, RGB(240, 150, 20)},
             "shadow"},
            {{{420, 340, 620, 440}, L"", L"MSCTFIME UI", WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, RGB(150, 40, 200)},
             "ime"},
        };
        sFixture = new FixtureProcess;
        ASSERT_TRUE(sFixture->Start()) << sFixture->Failure();
        for (KindWindow& window : *sWindows) {
            window.window = sFixture->Open(window.layout);
            ASSERT_TRUE(window.window) << window.kind << ": " << window.window.failure;
        }
        const DebugCaptureResult result = RunMorvane();
        ASSERT_TRUE(result.failure.empty()) << result.failure;
        sDirectory = new std::wstring(CompletionDirectory(result));
        ASSERT_FALSE(sDirectory->empty());
        sRecord = new json(json::parse(ReadWholeFile(*sDirectory + L"\\" + Morvane::kRunRecordFileName), nullptr, false));
        sLog = new std::string;
        for (const std::wstring& name : FilesIn(*sDirectory + L"\\Log")) {
            *sLog += ReadWholeFile(*sDirectory + L"\\Log\\" + name);
        }
    }

    static void TearDownTestSuite()
    {
        if (sFixture != nullptr) {
            (void)sFixture->Quit();
        }
        if (sDirectory != nullptr && !sDirectory->empty()) {
            RemoveTree(*sDirectory);
        }
        delete sFixture;
        delete sWindows;
        delete sDirectory;
        delete sRecord;
        delete sLog;
    }

    void SetUp() override
    {
        ASSERT_TRUE(sRecord != nullptr && sRecord->is_object()) << "Morvane.Run.json missing or not JSON";
        ASSERT_TRUE(mGdiplus.Started());
    }

    static const json* EntryOf(const KindWindow& window)
    {
        for (const json& entry : (*sRecord)["windows"]) {
            if (entry["handle"] == Handle(window.window.handle)) {
                return &entry;
            }
        }
        return nullptr;
    }

    static size_t CountInLog(const std::string& text)
    {
        size_t count = 0;
        for (size_t at = sLog->find(text); at != std::string::npos; at = sLog->find(text, at + 1)) {
            ++count;
        }
        return count;
    }

    // The picture at the path shows the colour at the point.
    static void ExpectColourAt(const std::wstring& path, int x, int y, COLORREF colour)
    {
        DecodedImage picture;
        std::string reason;
        ASSERT_TRUE(DecodeJpegFile(path, picture, reason)) << reason;
        const Rgb found = picture.MeanAround(x, y, 4);
        EXPECT_TRUE(IsNear(found, GetRValue(colour), GetGValue(colour), GetBValue(colour))) << Describe(found);
    }

    static inline FixtureProcess* sFixture = nullptr;
    static inline std::vector<KindWindow>* sWindows = nullptr;
    static inline std::wstring* sDirectory = nullptr;
    static inline json* sRecord = nullptr;
    static inline std::string* sLog = nullptr;
    GdiplusSession mGdiplus;
};

TEST_F(WindowKindEndToEnd, ShortLivedWindowsKeepTheirWindowPictureButTakeNoMonitorPicture)
{
    for (const KindWindow& window : *sWindows) {
        if (std::string(window.kind) == "window") {
            continue;
        }
        SCOPED_TRACE(window.kind);
        const json* entry = EntryOf(window);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ((*entry)["kind"], window.kind);
        ASSERT_EQ((*entry)["outcome"], "saved");
        EXPECT_EQ((*entry)["results"]["record"], 0);
        EXPECT_EQ((*entry)["results"]["window"], 0);
        EXPECT_EQ((*entry)["results"]["monitor"], 1) << "left out on purpose, no failure";
        EXPECT_EQ((*entry)["monitorSkipped"], "kind");

        const std::wstring folder = RecordPath(*sDirectory, (*entry)["folder"].get<std::string>());
        const std::vector<std::wstring> files = FilesIn(folder);
        EXPECT_EQ(files, (std::vector<std::wstring>{Morvane::kInfoFileName, Morvane::kWindowPictureFileName}));
        const RECT& rect = window.layout.rect;
        ExpectColourAt(folder + L"\\" + Morvane::kWindowPictureFileName, (rect.right - rect.left) / 2,
                       (rect.bottom - rect.top) / 2, window.layout.fill);
        EXPECT_EQ(CountInLog("]:No monitor picture of " + Handle(window.window.handle) + ": the window is of the kind " +
                             window.kind + "."),
                  1u);
    }
}

TEST_F(WindowKindEndToEnd, OrdinaryWindowIsSavedInFullAndNamesTheMonitorPicture)
{
    const KindWindow& ordinary = sWindows->front();
    const json* entry = EntryOf(ordinary);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ((*entry)["kind"], "window");
    EXPECT_EQ((*entry)["results"]["monitor"], 0);
    EXPECT_TRUE((*entry)["monitorSkipped"].is_null());
    EXPECT_EQ(CountInLog("]:No monitor picture of " + Handle(ordinary.window.handle)), 0u);

    const std::wstring folder = RecordPath(*sDirectory, (*entry)["folder"].get<std::string>());
    const RECT& rect = ordinary.layout.rect;
    ExpectColourAt(folder + L"\\" + Morvane::kMonitorPictureFileName, (rect.left + rect.right) / 2,
                   (rect.top + rect.bottom) / 2, ordinary.layout.fill);

    // The monitor's picture is one that was written, never a short-lived window's folder.
    bool named = false;
    for (const json& monitor : (*sRecord)["monitors"]) {
        if (monitor["handle"] != (*entry)["monitor"]) {
            continue;
        }
        ASSERT_TRUE(monitor["picture"].is_string());
        const std::wstring picture = RecordPath(*sDirectory, monitor["picture"].get<std::string>());
        EXPECT_NE(::GetFileAttributesW(picture.c_str()), INVALID_FILE_ATTRIBUTES);
        named = true;
    }
    EXPECT_TRUE(named);
}

} // namespace
