// The real Morvane.exe watching with a small disk budget: the first windows get their pictures,
// and once the run folder holds --max-size the windows after get entries and text records only,
// and the record and page say from when and why.

#include "WatchOfOtherProcess.h"
#include "record/RunRecord.h"
#include "support/FixtureProcess.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "system/HResult.h"
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

// On the test's desktop each window shown writes about 40 KB (mostly its monitor picture), and
// the start next to nothing: the limit lies past the first windows and well before the tenth.
constexpr unsigned kMaxSizeKiB = 250;

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(WatchBudgetEndToEnd, PicturesStopAtMaxSizeAndEntriesGoOn)
{
    TestSupport::FixtureProcess fixture;
    ASSERT_TRUE(fixture.Start()) << fixture.Failure();

    TestSupport::DebugCaptureResult watch;
    std::thread watching([&] {
        TestSupport::DebugCaptureOptions options;
        options.program = TestSupport::ProgramDirectory() + L"\\Morvane.exe";
        options.arguments = L"--watch --for 10m --max-size " + std::to_wstring(kMaxSizeKiB) + L"k";
        options.timeLimitMilliseconds = 180000;
        watch = TestSupport::RunWithDebugCapture(options);
    });
    const TestSupport::WatchThreadEnding ending{watching};
    const std::wstring folder = TestSupport::WaitForWatchFolder(Morvane::kWatchFolderMappingName, 60000);
    ASSERT_FALSE(folder.empty());

    // One after another, each with its own place and colour, and staying: each costs a window
    // picture and a monitor picture that differs from the one before.
    std::vector<FixtureWindow> shown;
    for (int index = 0; index < 10; ++index) {
        FixtureWindowSpec layout;
        layout.rect = {40 + 90 * index, 60 + 40 * index, 340 + 90 * index, 300 + 40 * index};
        layout.caption = L"Budget " + std::to_wstring(index);
        layout.className = L"MorvaneFixtureBudget";
        layout.fill = RGB(25 * index, 200 - 15 * index, 40 + 20 * index);
        shown.push_back(fixture.Open(layout));
        ASSERT_TRUE(shown.back()) << shown.back().failure;
        ::Sleep(700);
    }
    ::Sleep(1500);
    EXPECT_EQ(Morvane::SignalRunningWatchToStop(), Morvane::StopAnswer::Stopped);
    watching.join();
    EXPECT_EQ(watch.exitCode, 0u);
    EXPECT_EQ(TestSupport::CompletionDirectory(watch), folder);

    const json record = json::parse(TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.json"), nullptr, false);
    ASSERT_FALSE(record.is_discarded());
    const json& budget = record["watch"];
    EXPECT_EQ(budget["maxSize"], kMaxSizeKiB * 1024ULL);
    EXPECT_EQ(budget["picturesStopped"], "maxSize");
    ASSERT_TRUE(budget["picturesStoppedAt"].is_string());
    EXPECT_GE(budget["bytesWritten"].get<unsigned long long>(), kMaxSizeKiB * 1024ULL);
    long long stoppedAt = 0;
    ASSERT_TRUE(Morvane::ParseLocalTime(budget["picturesStoppedAt"].get<std::string>(), stoppedAt));

    // In the record's order: saved windows with pictures, then, from the stop on, saved windows
    // with their text record alone. The shown windows are on both sides of it.
    size_t withPictures = 0;
    size_t without = 0;
    std::vector<bool> shownWithPictures;
    for (const json& entry : record["windows"]) {
        if (entry["outcome"] != "saved") {
            continue;
        }
        const std::wstring windowFolder = TestSupport::RecordPath(folder, entry["folder"]);
        EXPECT_TRUE(Exists(windowFolder + L"\\Morvane.Info.txt"));
        const bool pictures = entry["picturesStopped"].is_null();
        if (pictures) {
            EXPECT_EQ(without, 0u) << "pictures again after they stopped: " << entry.dump();
            EXPECT_TRUE(entry["results"]["window"].is_number());
            ++withPictures;
        } else {
            EXPECT_EQ(entry["picturesStopped"], "maxSize");
            EXPECT_TRUE(entry["results"]["window"].is_null()) << entry.dump();
            EXPECT_TRUE(entry["results"]["monitor"].is_null()) << entry.dump();
            EXPECT_TRUE(entry["pictureSource"].is_null());
            EXPECT_FALSE(Exists(windowFolder + L"\\Morvane.Window.jpg"));
            EXPECT_FALSE(Exists(windowFolder + L"\\Morvane.DisplayMonitor.jpg"));
            EXPECT_EQ(entry["results"]["record"], 0);
            ++without;
        }
        if (entry["className"] == "MorvaneFixtureBudget") {
            shownWithPictures.push_back(pictures);
            // Those without pictures appeared after the stop.
            long long appearedAt = 0;
            ASSERT_TRUE(Morvane::ParseLocalTime(entry["appearedAt"].get<std::string>(), appearedAt));
            if (!pictures) {
                EXPECT_GE(appearedAt, stoppedAt - 1000) << entry.dump();
            }
        }
    }
    ASSERT_EQ(shownWithPictures.size(), shown.size());
    EXPECT_TRUE(shownWithPictures.front()) << "the first window shown got no pictures: raise kMaxSizeKiB";
    EXPECT_FALSE(shownWithPictures.back()) << "the last window shown got pictures: lower kMaxSizeKiB";
    EXPECT_GT(withPictures, 0u);

    // The page carries the record as it is.
    const std::string page = TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.html");
    EXPECT_NE(page.find("\"picturesStoppedAt\": \"" + budget["picturesStoppedAt"].get<std::string>()),
              std::string::npos);
    for (const FixtureWindow& window : shown) {
        (void)fixture.Close(window.handle);
    }
}

} // namespace
