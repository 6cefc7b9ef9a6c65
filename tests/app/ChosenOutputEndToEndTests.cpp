// The real Morvane.exe, copied into a scratch program folder, run with --output: the run folders
// go directly below the chosen folder (variables expanded, missing levels made private), later
// runs compare with the earlier ones there, a long folder works, a watch writes there too, and a
// bad folder ends the run with an error box naming it, exit code 1, and nothing written anywhere.

#include "EnvironmentOverride.h"
#include "FolderEntries.h"
#include "MessageBoxIcon.h"
#include "UnixFolderMode.h"

#include "support/DebugCapture.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "support/TestText.h"
#include "system/File.h"
#include "system/TextConversion.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace {

using MorvaneTests::BoxIcon;
using MorvaneTests::EntriesIn;
using MorvaneTests::FolderEntry;
using nlohmann::json;

const std::wregex kRunName(LR"(\d{8}-\d{6}-\d{1,3}-\d+-\d+)");

class ChosenOutputEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        mRoot = TestSupport::MakeScratchDirectory(L"ChosenOutput");
        mProgramFolder = TestSupport::MakeScratchDirectory(L"ChosenProgram");
        mLocal = TestSupport::MakeScratchDirectory(L"ChosenLocal");
        ASSERT_TRUE(::CopyFileW((TestSupport::ProgramDirectory() + L"\\Morvane.exe").c_str(),
                                (mProgramFolder + L"\\Morvane.exe").c_str(), FALSE));
    }
    void TearDown() override
    {
        TestSupport::RemoveTree(mRoot);
        TestSupport::RemoveTree(mProgramFolder);
        TestSupport::RemoveTree(mLocal);
    }

    // Runs the copy with LOCALAPPDATA pointing at a scratch folder; one box, whose icon is noted.
    void Run(const std::wstring& arguments)
    {
        MorvaneTests::EnvironmentOverride local(L"LOCALAPPDATA", mLocal.c_str());
        TestSupport::DebugCaptureOptions options;
        options.program = mProgramFolder + L"\\Morvane.exe";
        options.arguments = arguments;
        options.timeLimitMilliseconds = 120000;
        mIcon = BoxIcon::None;
        options.onMessageBox = [this](HWND box, const std::wstring&) { mIcon = MorvaneTests::ShownIcon(box); };
        mResult = TestSupport::RunWithDebugCapture(options);
        ASSERT_TRUE(mResult.failure.empty()) << mResult.failure;
        ASSERT_TRUE(mResult.exited);
        ASSERT_FALSE(mResult.timedOut);
        ASSERT_EQ(mResult.messageBoxTexts.size(), 1u);
    }

    // The run folder the completion box names, checked to lie directly below the folder.
    std::wstring RunFolderBelow(const std::wstring& folder)
    {
        EXPECT_EQ(mResult.exitCode, 0u);
        EXPECT_EQ(mIcon, BoxIcon::None) << NameOf(mIcon);
        const std::wstring run = TestSupport::CompletionDirectory(mResult);
        const std::wstring name = run.substr(std::min(run.size(), folder.size() + 1));
        if (run.compare(0, folder.size() + 1, folder + L"\\") != 0 || !std::regex_match(name, kRunName)) {
            ADD_FAILURE() << TestSupport::Utf8(mResult.messageBoxTexts[0]);
            return {};
        }
        return run;
    }

    // Nothing beside the executable, nothing below the local application data.
    void ExpectNothingWrittenElsewhere()
    {
        EXPECT_EQ(EntriesIn(mProgramFolder), (std::vector<FolderEntry>{{L"Morvane.exe", false}}));
        EXPECT_TRUE(EntriesIn(mLocal).empty());
    }

    static json RecordOf(const std::wstring& runFolder)
    {
        const std::string text = TestSupport::ReadWholeFile(runFolder + L"\\Morvane.Run.json");
        EXPECT_FALSE(text.empty()) << TestSupport::Utf8(runFolder);
        return json::parse(text, nullptr, false);
    }

    std::wstring mRoot;
    std::wstring mProgramFolder;
    std::wstring mLocal;
    TestSupport::DebugCaptureResult mResult;
    BoxIcon mIcon = BoxIcon::None;
};

TEST_F(ChosenOutputEndToEnd, VariablesExpandMissingLevelsArePrivateAndRunsCompareWithinTheFolder)
{
    MorvaneTests::EnvironmentOverride variable(L"MORVANE_CHOSEN", (mRoot + L"\\Chosen").c_str());
    const std::wstring chosen = mRoot + L"\\Chosen\\sub\\deeper";
    Run(L"--output %MORVANE_CHOSEN%\\sub\\deeper");
    const std::wstring first = RunFolderBelow(chosen);
    ASSERT_FALSE(first.empty());
    Run(L"/OUTPUT \"%MORVANE_CHOSEN%\\sub\\deeper\\\"");
    const std::wstring second = RunFolderBelow(chosen);
    ASSERT_FALSE(second.empty());

    const std::wstring firstName = first.substr(chosen.size() + 1);
    const std::wstring secondName = second.substr(chosen.size() + 1);
    std::vector<FolderEntry> runs{{firstName, true}, {secondName, true}};
    std::sort(runs.begin(), runs.end(), [](const FolderEntry& l, const FolderEntry& r) { return l.name < r.name; });
    EXPECT_EQ(EntriesIn(chosen), runs);
    const json earlier = RecordOf(first);
    const json later = RecordOf(second);
    ASSERT_TRUE(earlier.is_object());
    ASSERT_TRUE(later.is_object());
    EXPECT_EQ(earlier["outputDirectory"], TestSupport::Utf8(first));
    EXPECT_TRUE(earlier["previousRun"].is_null());
    EXPECT_EQ(later["previousRun"], TestSupport::Utf8(firstName));
    // The log went with the run, and says which folder the argument became.
    const std::vector<std::wstring> logs = TestSupport::FilesIn(first + L"\\Log");
    ASSERT_EQ(logs.size(), 1u);
    const std::string log = TestSupport::ReadWholeFile(first + L"\\Log\\" + logs[0]);
    EXPECT_NE(log.find("]:--output %MORVANE_CHOSEN%\\sub\\deeper: " + TestSupport::Utf8(chosen) + ".\r\n"),
              std::string::npos)
        << log.substr(0, 1500);

    for (const std::wstring& level : {mRoot + L"\\Chosen", mRoot + L"\\Chosen\\sub", chosen, first, second}) {
        const std::string mode = MorvaneTests::UnixModeOf(level, mLocal);
        EXPECT_TRUE(MorvaneTests::UsersAlone(mode)) << mode << " " << TestSupport::Utf8(level);
    }
    // The answers of the mode checks are the only thing below the local application data.
    for (const std::wstring& file : TestSupport::FilesIn(mLocal)) {
        EXPECT_EQ(file.compare(0, 7, L"answer-"), 0) << TestSupport::Utf8(file);
    }
    EXPECT_EQ(EntriesIn(mProgramFolder), (std::vector<FolderEntry>{{L"Morvane.exe", false}}));
}

TEST_F(ChosenOutputEndToEnd, AFolderPastTheClassicLengthTakesTheRun)
{
    std::wstring chosen = mRoot;
    while (chosen.size() <= MAX_PATH) {
        chosen += L"\\" + std::wstring(40, L'l');
    }
    Run(L"--output \"" + chosen + L"\"");
    const std::wstring run = RunFolderBelow(L"\\\\?\\" + chosen);
    ASSERT_FALSE(run.empty());
    const json record = RecordOf(run);
    ASSERT_TRUE(record.is_object());
    EXPECT_EQ(record["outputDirectory"], TestSupport::Utf8(run));
    EXPECT_FALSE(record["windows"].empty());
    ExpectNothingWrittenElsewhere();
}

// Wine reaches "\\server\share" through the prefix's dosdevices\unc\server\share: a link there
// to a scratch folder stands for a share.
TEST_F(ChosenOutputEndToEnd, AShareTakesTheRunBelowItsServerAndShare)
{
    wchar_t prefix[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH) == 0) {
        GTEST_SKIP() << "no Wine prefix to map a share in";
    }
    const std::string server = "morvane-share-" + std::to_string(::GetCurrentProcessId());
    const std::string servers = TestSupport::Utf8(prefix) + "/dosdevices/unc";
    ASSERT_EQ(MorvaneTests::UnixCommandOutput("mkdir -p '" + servers + "/" + server + "' && ln -s '" +
                                                  TestSupport::UnixPathOf(mRoot) + "' '" + servers + "/" + server +
                                                  "/share' && echo mapped",
                                              mLocal),
              "mapped");

    Run(L"--output \\\\" + TalvexBasic::FromUtf8(server) + L"\\share\\%COMPUTERNAME%\\runs");
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(::GetComputerNameW(computer, &length));
    const std::wstring run =
        RunFolderBelow(L"\\\\" + TalvexBasic::FromUtf8(server) + L"\\share\\" + computer + L"\\runs");
    const std::wstring local = mRoot + L"\\" + computer + L"\\runs";
    (void)MorvaneTests::UnixCommandOutput("rm -r '" + servers + "/" + server + "' && echo removed", mLocal);
    ASSERT_FALSE(run.empty());
    const std::wstring runName = run.substr(run.rfind(L'\\') + 1);
    EXPECT_EQ(EntriesIn(local), (std::vector<FolderEntry>{{runName, true}}));
    const json record = RecordOf(local + L"\\" + runName);
    ASSERT_TRUE(record.is_object());
    EXPECT_EQ(record["outputDirectory"], TestSupport::Utf8(run));
    for (const std::wstring& level : {mRoot + L"\\" + computer, local, local + L"\\" + runName}) {
        const std::string mode = MorvaneTests::UnixModeOf(level, mLocal);
        EXPECT_TRUE(MorvaneTests::UsersAlone(mode)) << mode << " " << TestSupport::Utf8(level);
    }
}

TEST_F(ChosenOutputEndToEnd, ABadFolderFailsNamingItAndWritesNothingAnywhere)
{
    ASSERT_EQ(TalvexBasic::Files::File::WriteToFile$Static(mRoot + L"\\File", "in the way", 10, CREATE_ALWAYS), S_OK);
    const struct {
        std::wstring argument;
        std::wstring named; // the folder the box names, besides the argument
        std::wstring why;   // a part of the reason
    } folders[] = {
        {mRoot + L"\\File\\sub", mRoot + L"\\File\\sub", L"(error 183)."},
        {mRoot + L"\\File", mRoot + L"\\File", L"(error 183)."},
        {mRoot + L"\\bad<name\\x", mRoot + L"\\bad<name\\x", L"'<'"},
        {L"%MORVANE_NOT_DEFINED_ANYWHERE%\\x", L"%MORVANE_NOT_DEFINED_ANYWHERE%", L" is not defined."},
    };
    for (const auto& folder : folders) {
        SCOPED_TRACE(TestSupport::Utf8(folder.argument));
        Run(L"--output \"" + folder.argument + L"\"");
        EXPECT_EQ(mResult.exitCode, 1u);
        EXPECT_EQ(mIcon, BoxIcon::Error) << NameOf(mIcon);
        const std::wstring& text = mResult.messageBoxTexts[0];
        EXPECT_EQ(text.compare(0, 26, L"Failed Save All Window To "), 0) << TestSupport::Utf8(text);
        for (const std::wstring& part : {L"The output folder \"" + folder.argument + L"\" cannot be used:\r\n",
                                         folder.named, folder.why}) {
            EXPECT_NE(text.find(part), std::wstring::npos) << TestSupport::Utf8(text);
        }
        ExpectNothingWrittenElsewhere();
        EXPECT_EQ(EntriesIn(mRoot), (std::vector<FolderEntry>{{L"File", false}}));
    }
}

TEST_F(ChosenOutputEndToEnd, AWatchWritesBelowTheChosenFolder)
{
    const std::wstring chosen = mRoot + L"\\Watched";
    Run(L"--watch --output \"" + chosen + L"\" --for 2s");
    const std::wstring run = RunFolderBelow(chosen);
    ASSERT_FALSE(run.empty());
    EXPECT_EQ(EntriesIn(chosen), (std::vector<FolderEntry>{{run.substr(chosen.size() + 1), true}}));
    const json record = RecordOf(run);
    ASSERT_TRUE(record.is_object());
    EXPECT_EQ(record["ended"], "stopped");
    EXPECT_FALSE(TestSupport::ReadWholeFile(run + L"\\Morvane.Run.jsonl").empty());
    ExpectNothingWrittenElsewhere();
}

} // namespace
