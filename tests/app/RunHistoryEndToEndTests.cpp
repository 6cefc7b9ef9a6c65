// New and gone windows between two real runs of a copy of Morvane.exe that has an Output folder
// of its own: the first run has nothing to compare with; before the second, one window closes,
// one opens, and records that are corrupt or older lie beside the first run's.

#include "capture/OutputFileNames.h"
#include "record/RunRecord.h"
#include "basic/PathParts.h"
#include "support/FixtureProcess.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "system/File.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

namespace {

using namespace TestSupport;
using Morvane::FormatHandle;
using Morvane::ToUtf8;
using nlohmann::json;

json ReadRecord(const std::wstring& outputDirectory)
{
    return json::parse(ReadWholeFile(outputDirectory + L"\\" + Morvane::kRunRecordFileName), nullptr, false);
}

const json* FindWindow(const json& record, const FixtureWindow& window)
{
    const std::string handle = FormatHandle(reinterpret_cast<ULONG_PTR>(window.handle));
    for (const json& entry : record["windows"]) {
        if (entry["handle"] == handle) {
            return &entry;
        }
    }
    return nullptr;
}

void PutRecord(const std::wstring& folder, const std::string& text)
{
    ASSERT_EQ(TalvexBasic::Files::File::WriteToFile$Static(folder + L"\\" + Morvane::kRunRecordFileName, text.data(),
                                                           static_cast<unsigned>(text.size()), CREATE_ALWAYS),
              S_OK);
}

TEST(RunHistoryEndToEnd, MarksNewWindowsAndListsGoneOnes)
{
    const std::wstring home = MakeScratchDirectory(L"RunHistory");
    ASSERT_TRUE(::CopyFileW((ProgramDirectory() + L"\\Morvane.exe").c_str(), (home + L"\\Morvane.exe").c_str(), FALSE));

    FixtureProcess fixture;
    ASSERT_TRUE(fixture.Start()) << fixture.Failure();
    const FixtureWindowSpec kept{{100, 100, 400, 300}, L"kept \x6F22", L"MorvaneHistoryKept", WS_POPUP | WS_VISIBLE, 0,
                                 RGB(10, 10, 200)};
    const FixtureWindowSpec leaving{{500, 100, 800, 300},  L"leaving", L"MorvaneHistoryLeaving",
                                    WS_POPUP | WS_VISIBLE, 0,          RGB(10, 200, 10)};
    const FixtureWindowSpec arriving{{900, 100, 1200, 300}, L"arriving", L"MorvaneHistoryArriving",
                                     WS_POPUP | WS_VISIBLE, 0,           RGB(200, 10, 10)};
    const FixtureWindow keptWindow = fixture.Open(kept);
    const FixtureWindow leavingWindow = fixture.Open(leaving);
    ASSERT_TRUE(keptWindow && leavingWindow);

    const DebugCaptureResult first = RunMorvane(home + L"\\Morvane.exe");
    const std::wstring firstDirectory = CompletionDirectory(first);
    ASSERT_FALSE(firstDirectory.empty()) << first.failure;
    const json firstRecord = ReadRecord(firstDirectory);
    ASSERT_TRUE(firstRecord.is_object());
    EXPECT_TRUE(firstRecord["previousRun"].is_null()) << "no earlier run in this Output folder";
    EXPECT_TRUE(firstRecord["goneSinceLastRun"].is_array() && firstRecord["goneSinceLastRun"].empty());
    for (const json& window : firstRecord["windows"]) {
        EXPECT_EQ(window["newSinceLastRun"], false) << window["handle"];
    }

    ASSERT_TRUE(fixture.Close(leavingWindow.handle));
    const FixtureWindow arrivingWindow = fixture.Open(arriving);
    ASSERT_TRUE(arrivingWindow);
    // Beside the first run: a record cut short that claims the latest start, and an intact one
    // whose folder name sorts last but which started long before.
    const std::wstring output(Basic::Paths::FolderPart(firstDirectory));
    const std::string whole = ReadWholeFile(firstDirectory + L"\\" + Morvane::kRunRecordFileName);
    std::string corrupt = whole.substr(0, whole.size() / 2);
    corrupt.replace(corrupt.find("\"startedAt\": \"") + 14, 4, "2999");
    PutRecord(output + L"\\corrupt", corrupt);
    std::string older = whole;
    older.replace(older.find("\"startedAt\": \"") + 14, 4, "2000");
    PutRecord(output + L"\\zzzz-older", older);

    const DebugCaptureResult second = RunMorvane(home + L"\\Morvane.exe");
    const std::wstring secondDirectory = CompletionDirectory(second);
    ASSERT_FALSE(secondDirectory.empty()) << second.failure;
    const json record = ReadRecord(secondDirectory);
    ASSERT_TRUE(record.is_object());
    EXPECT_EQ(record["previousRun"], ToUtf8(Basic::Paths::FileNamePart(firstDirectory)));

    const json* keptEntry = FindWindow(record, keptWindow);
    const json* arrivingEntry = FindWindow(record, arrivingWindow);
    ASSERT_TRUE(keptEntry != nullptr && arrivingEntry != nullptr);
    EXPECT_EQ((*keptEntry)["newSinceLastRun"], false);
    EXPECT_EQ((*arrivingEntry)["newSinceLastRun"], true);
    EXPECT_EQ(FindWindow(record, leavingWindow), nullptr);
    unsigned leavingGone = 0;
    for (const json& gone : record["goneSinceLastRun"]) {
        EXPECT_NE(gone["caption"], "arriving");
        EXPECT_NE(gone["caption"], ToUtf8(kept.caption));
        if (gone["caption"] == "leaving" && gone["className"] == "MorvaneHistoryLeaving") {
            EXPECT_EQ(gone["imagePath"], ToUtf8(DesktopFixturePath()));
            leavingGone += gone["count"].get<unsigned>();
        }
    }
    EXPECT_EQ(leavingGone, 1u);

    // The corrupt record costs one line in the run's log; the first run's and the older one are read.
    const std::vector<std::wstring> logs = FilesIn(secondDirectory + L"\\Log");
    ASSERT_EQ(logs.size(), 1u);
    const std::string log = ReadWholeFile(secondDirectory + L"\\Log\\" + logs.front());
    EXPECT_NE(log.find("corrupt\\Morvane.Run.json passed over, record "), std::string::npos);
    size_t passedOver = 0;
    for (size_t at = log.find("passed over"); at != std::string::npos; at = log.find("passed over", at + 1)) {
        ++passedOver;
    }
    EXPECT_EQ(passedOver, 1u) << log;
    RemoveTree(home);
}

} // namespace
