// Who made each window, end to end: the real Morvane.exe over windows of a fixture started by a
// launcher that stays, one whose launcher has left, and one started by this test program. Every
// process member of the run record is checked, each process read once however many windows it
// owns, and the reason for a missing parent is in the run's log.

#include "record/RunRecord.h"
#include "support/FixtureProcess.h"
#include "support/FixtureVersion.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

namespace {

using namespace TestSupport;
using Morvane::ToUtf8;
using nlohmann::json;

std::string Lower(std::string text)
{
    for (char& character : text) {
        if (character >= 'A' && character <= 'Z') {
            character = static_cast<char>(character - 'A' + 'a');
        }
    }
    return text;
}

std::wstring OwnProgramPath()
{
    std::vector<wchar_t> buffer(32768);
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), length);
}

class ProcessRecordEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sStaying = new FixtureProcess;
        sOrphan = new FixtureProcess;
        sPlain = new FixtureProcess;
        ASSERT_TRUE(sStaying->StartThroughLauncher(FixtureProcess::Launcher::Stays)) << sStaying->Failure();
        ASSERT_TRUE(sOrphan->StartThroughLauncher(FixtureProcess::Launcher::Leaves)) << sOrphan->Failure();
        ASSERT_TRUE(sPlain->Start()) << sPlain->Failure();
        const struct {
            FixtureProcess* owner;
            FixtureWindowSpec layout;
        } windows[] = {
            {sStaying, {{100, 100, 400, 300}, L"launched one", L"MorvaneWhoA", WS_POPUP | WS_VISIBLE, 0, RGB(200, 40, 40)}},
            {sStaying, {{500, 100, 800, 300}, L"launched two", L"MorvaneWhoB", WS_POPUP | WS_VISIBLE, 0, RGB(40, 200, 40)}},
            {sOrphan, {{100, 400, 400, 600}, L"orphan", L"MorvaneWhoC", WS_POPUP | WS_VISIBLE, 0, RGB(40, 40, 200)}},
            {sPlain, {{500, 400, 800, 600}, L"plain", L"MorvaneWhoD", WS_POPUP | WS_VISIBLE, 0, RGB(200, 200, 40)}},
        };
        for (const auto& window : windows) {
            const FixtureWindow opened = window.owner->Open(window.layout);
            ASSERT_TRUE(opened) << opened.failure;
            sWindows.push_back(opened);
        }
        sRun = new DebugCaptureResult(RunMorvane());
        sDirectory = CompletionDirectory(*sRun);
        sRecord = json::parse(ReadWholeFile(sDirectory + L"\\Morvane.Run.json"), nullptr, false);
        delete sStaying;
        delete sOrphan;
        delete sPlain;
        sStaying = sOrphan = sPlain = nullptr;
    }

    static void TearDownTestSuite()
    {
        if (!sDirectory.empty()) {
            RemoveTree(sDirectory);
        }
        delete sRun;
    }

    void SetUp() override
    {
        ASSERT_NE(sRun, nullptr);
        ASSERT_TRUE(sRun->failure.empty()) << sRun->failure;
        ASSERT_TRUE(sRecord.is_object()) << "Morvane.Run.json missing or not JSON";
    }

    // The record's processes by id; every id must occur once.
    static std::map<DWORD, json> ProcessesById()
    {
        std::map<DWORD, json> processes;
        for (const json& process : sRecord["processes"]) {
            const DWORD id = process["processId"].get<DWORD>();
            EXPECT_EQ(processes.count(id), 0u) << "process " << id << " twice";
            processes[id] = process;
        }
        return processes;
    }

    static inline FixtureProcess* sStaying = nullptr;
    static inline FixtureProcess* sOrphan = nullptr;
    static inline FixtureProcess* sPlain = nullptr;
    static inline std::vector<FixtureWindow> sWindows;
    static inline DebugCaptureResult* sRun = nullptr;
    static inline std::wstring sDirectory;
    static inline json sRecord;
};

TEST_F(ProcessRecordEndToEnd, EachSavedWindowNamesItsProcessAndEachProcessIsReadOnce)
{
    const std::map<DWORD, json> processes = ProcessesById();
    std::map<std::string, json> windows;
    for (const json& window : sRecord["windows"]) {
        windows[window["handle"].get<std::string>()] = window;
        if (window["outcome"] == "skipped") {
            EXPECT_TRUE(window["process"].is_null()) << window["handle"];
            continue;
        }
        // Every saved window's process is in the list, under the same start.
        ASSERT_TRUE(window["process"].is_object()) << window["handle"];
        const DWORD id = window["process"]["processId"].get<DWORD>();
        EXPECT_EQ(id, window["processId"].get<DWORD>());
        ASSERT_EQ(processes.count(id), 1u) << id;
        EXPECT_EQ(window["process"]["startedAt"], processes.at(id)["startedAt"]);
        EXPECT_EQ(window["imagePath"], processes.at(id)["imagePath"]);
    }
    for (const FixtureWindow& fixture : sWindows) {
        const json& window = windows[Morvane::FormatHandle(reinterpret_cast<ULONG_PTR>(fixture.handle))];
        ASSERT_EQ(window["outcome"], "saved");
        EXPECT_EQ(window["process"]["processId"].get<DWORD>(), fixture.processId);
        long long started = 0;
        long long runStarted = 0;
        ASSERT_TRUE(Morvane::ParseLocalTime(window["process"]["startedAt"].get<std::string>(), started));
        ASSERT_TRUE(Morvane::ParseLocalTime(sRecord["startedAt"].get<std::string>(), runStarted));
        EXPECT_LT(started, runStarted);
        EXPECT_GT(started, runStarted - 10 * 60 * 1000);
    }
}

TEST_F(ProcessRecordEndToEnd, RecordsCommandLineParentVersionAndSignature)
{
    const std::map<DWORD, json> processes = ProcessesById();
    const std::wstring fixture = DesktopFixturePath();
    const std::string launched = ToUtf8(FixtureLaunch::LaunchedCommandLine(fixture));
    const DWORD stayingId = sWindows[0].processId;
    const DWORD orphanId = sWindows[2].processId;
    const DWORD plainId = sWindows[3].processId;
    ASSERT_EQ(processes.count(stayingId), 1u);
    ASSERT_EQ(processes.count(orphanId), 1u);
    ASSERT_EQ(processes.count(plainId), 1u);

    const json& staying = processes.at(stayingId);
    EXPECT_EQ(staying["commandLine"], launched);
    EXPECT_EQ(Lower(staying["imagePath"].get<std::string>()), Lower(ToUtf8(fixture)));
    ASSERT_TRUE(staying["parentProcessId"].is_number());
    EXPECT_EQ(Lower(staying["parentImagePath"].get<std::string>()), Lower(ToUtf8(fixture)));
    EXPECT_EQ(staying["parentGone"], false);
    EXPECT_EQ(staying["parentUnreadable"], false);
    EXPECT_EQ(staying["company"], ToUtf8(FIXTURE_VERSION_COMPANY));
    EXPECT_EQ(staying["product"], ToUtf8(FIXTURE_VERSION_PRODUCT));
    EXPECT_EQ(staying["description"], ToUtf8(FIXTURE_VERSION_DESCRIPTION));
    EXPECT_EQ(staying["fileVersion"], ToUtf8(FIXTURE_VERSION_FILE_VERSION));
    EXPECT_EQ(staying["originalFilename"], ToUtf8(FIXTURE_VERSION_ORIGINAL_FILENAME));
    EXPECT_EQ(staying["signature"], "unsigned");
    EXPECT_TRUE(staying["signer"].is_null());
    EXPECT_EQ(staying["signatureResult"].get<std::int32_t>(), static_cast<std::int32_t>(TRUST_E_NOSIGNATURE));

    const json& orphan = processes.at(orphanId);
    EXPECT_EQ(orphan["commandLine"], launched);
    EXPECT_TRUE(orphan["parentProcessId"].is_number());
    EXPECT_NE(orphan["parentProcessId"], staying["parentProcessId"]);
    EXPECT_TRUE(orphan["parentImagePath"].is_null());
    EXPECT_EQ(orphan["parentGone"], true);
    EXPECT_EQ(orphan["parentUnreadable"], false);
    EXPECT_EQ(orphan["company"], ToUtf8(FIXTURE_VERSION_COMPANY));

    // Started by this test program, with its path alone as command line.
    const json& plain = processes.at(plainId);
    EXPECT_EQ(plain["commandLine"], ToUtf8(L"\"" + fixture + L"\""));
    EXPECT_EQ(plain["parentProcessId"].get<DWORD>(), ::GetCurrentProcessId());
    EXPECT_EQ(Lower(plain["parentImagePath"].get<std::string>()), Lower(ToUtf8(OwnProgramPath())));
    EXPECT_EQ(plain["parentGone"], false);

    // The missing parent costs one line in the run's log, with its reason.
    std::string log;
    for (const std::wstring& name : FilesIn(sDirectory + L"\\Log")) {
        log += ReadWholeFile(sDirectory + L"\\Log\\" + name);
    }
    const std::string gone = "parent " + orphan["parentProcessId"].dump() + " of process " + std::to_string(orphanId) +
                             " is gone.";
    EXPECT_NE(log.find(gone), std::string::npos) << gone;
}

} // namespace
