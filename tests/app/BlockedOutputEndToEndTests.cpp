// The real Morvane.exe, copied beside a file named "Morvane" that blocks its output folder (tests
// run as root, which ignores folder permissions): the output goes below %LOCALAPPDATA% and the
// message names that folder; when that is blocked too, nothing is written anywhere, the message
// says so with an error icon, and the exit code is 1.

#include "EnvironmentOverride.h"
#include "FolderEntries.h"
#include "MessageBoxIcon.h"

#include "support/DebugCapture.h"
#include "support/TestPaths.h"
#include "system/File.h"
#include "system/TextConversion.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

namespace {

using MorvaneTests::BoxIcon;
using MorvaneTests::EntriesIn;
using MorvaneTests::FolderEntry;
using TalvexBasic::ToThreadAnsi;
using TestSupport::DebugCaptureResult;

const std::wregex kRunName(LR"(\d{8}-\d{6}-\d{1,3}-\d+-\d+)");

// The quoted directory of "<verb> Save All Window To \r\n\"<directory>\".", or empty.
std::wstring NamedDirectory(const std::wstring& text, const std::wstring& verb)
{
    const std::wstring prefix = verb + L" Save All Window To \r\n\"";
    const std::wstring suffix = L"\".";
    if (text.size() < prefix.size() + suffix.size() || text.compare(0, prefix.size(), prefix) != 0 ||
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return {};
    }
    return text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
}

// The wide lines of the run with this message after their header, in order.
std::vector<std::wstring> MessagesOf(const DebugCaptureResult& result, const wchar_t* function)
{
    std::vector<std::wstring> messages;
    const std::wstring field = std::wstring(L" ") + function + L",";
    for (const TestSupport::DebugLine& line : result.lines) {
        const size_t header = line.text.find(field);
        const size_t end = line.text.find(L"]:", header == std::wstring::npos ? 0 : header);
        if (header != std::wstring::npos && end != std::wstring::npos) {
            std::wstring message = line.text.substr(end + 2);
            while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
                message.pop_back();
            }
            messages.push_back(message);
        }
    }
    return messages;
}

class BlockedOutputEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        mProgramFolder = TestSupport::MakeScratchDirectory(L"Blocked");
        mLocal = TestSupport::MakeScratchDirectory(L"Local");
        ASSERT_TRUE(::CopyFileW((TestSupport::ProgramDirectory() + L"\\Morvane.exe").c_str(),
                                (mProgramFolder + L"\\Morvane.exe").c_str(), FALSE));
        Block(mProgramFolder);
    }
    void TearDown() override
    {
        TestSupport::RemoveTree(mProgramFolder);
        TestSupport::RemoveTree(mLocal);
    }

    static void Block(const std::wstring& folder)
    {
        ASSERT_EQ(TalvexBasic::Files::File::WriteToFile$Static(folder + L"\\Morvane", "blocks", 6, CREATE_ALWAYS),
                  S_OK);
    }

    // Runs the copy with LOCALAPPDATA pointing at the scratch folder, noting the icon of the box.
    void Run()
    {
        MorvaneTests::EnvironmentOverride local(L"LOCALAPPDATA", mLocal.c_str());
        TestSupport::DebugCaptureOptions options;
        options.program = mProgramFolder + L"\\Morvane.exe";
        options.timeLimitMilliseconds = 120000;
        options.onMessageBox = [this](HWND box, const std::wstring&) {
            mIcons.push_back(MorvaneTests::ShownIcon(box));
        };
        mResult = TestSupport::RunWithDebugCapture(options);
        ASSERT_TRUE(mResult.failure.empty()) << mResult.failure;
        ASSERT_TRUE(mResult.exited);
        ASSERT_FALSE(mResult.timedOut);
        ASSERT_EQ(mResult.messageBoxTexts.size(), 1u);
        ASSERT_EQ(mIcons.size(), 1u);
    }

    std::wstring mProgramFolder;
    std::wstring mLocal;
    DebugCaptureResult mResult;
    std::vector<BoxIcon> mIcons;
};

TEST_F(BlockedOutputEndToEnd, OutputGoesBelowLocalApplicationDataAndTheMessageNamesIt)
{
    Run();
    EXPECT_EQ(mResult.exitCode, 0u);
    EXPECT_EQ(mIcons[0], BoxIcon::None) << NameOf(mIcons[0]);

    const std::wstring directory = NamedDirectory(mResult.messageBoxTexts[0], L"Success");
    const std::wstring base = mLocal + L"\\Morvane\\Output\\";
    ASSERT_EQ(directory.compare(0, base.size(), base), 0) << mResult.messageBoxTexts[0];
    const std::wstring runName = directory.substr(base.size());
    EXPECT_TRUE(std::regex_match(runName, kRunName)) << runName;
    EXPECT_EQ(EntriesIn(mLocal + L"\\Morvane\\Output"), (std::vector<FolderEntry>{{runName, true}}));
    // The run really wrote there: its log and the folders of the windows on the desktop.
    const std::vector<FolderEntry> written = EntriesIn(directory);
    EXPECT_NE(std::find(written.begin(), written.end(), FolderEntry{L"Log", true}), written.end());

    // Nothing beside the executable but the executable and the file in the way.
    EXPECT_EQ(EntriesIn(mProgramFolder), (std::vector<FolderEntry>{{L"Morvane", false}, {L"Morvane.exe", false}}));

    // The log names the folder that could not be made, just before the one in use.
    const std::vector<std::wstring> logs = TestSupport::FilesIn(directory + L"\\Log");
    ASSERT_EQ(logs.size(), 1u);
    const std::string log = TestSupport::ReadWholeFile(directory + L"\\Log\\" + logs[0]);
    const std::string failed = "]:MakeSureDirectoryPathExists$Static(" + ToThreadAnsi(mProgramFolder) +
                               "\\Morvane\\Output\\" + ToThreadAnsi(runName) + ") return:0x800700b7.\r\n";
    const size_t failedAt = log.find(failed);
    ASSERT_NE(failedAt, std::string::npos) << log.substr(0, 2000);
    const size_t next = log.find("\r\n", failedAt) + 2;
    const std::string used = "]:gOutputDirectory:" + ToThreadAnsi(directory) + ".\r\n";
    EXPECT_EQ(log.find(used, next), log.find("]:", next)) << log.substr(failedAt, 800);
    EXPECT_NE(log.find(used, next), std::string::npos);
}

TEST_F(BlockedOutputEndToEnd, NoFolderAnywhereFailsWithAnErrorBoxAndExitCodeOne)
{
    Block(mLocal);
    Run();
    EXPECT_EQ(mResult.exitCode, 1u);
    EXPECT_EQ(mIcons[0], BoxIcon::Error) << NameOf(mIcons[0]);

    const std::wstring directory = NamedDirectory(mResult.messageBoxTexts[0], L"Failed");
    const std::wstring base = mProgramFolder + L"\\Morvane\\Output\\";
    ASSERT_EQ(directory.compare(0, base.size(), base), 0) << mResult.messageBoxTexts[0];
    const std::wstring runName = directory.substr(base.size());
    EXPECT_TRUE(std::regex_match(runName, kRunName)) << runName;

    // Nothing was created, neither beside the executable nor below the local application data.
    EXPECT_EQ(EntriesIn(mProgramFolder), (std::vector<FolderEntry>{{L"Morvane", false}, {L"Morvane.exe", false}}));
    EXPECT_EQ(EntriesIn(mLocal), (std::vector<FolderEntry>{{L"Morvane", false}}));

    // Every line of the tool went to the debugger output, the failed folders before the one named.
    const std::vector<std::wstring> initialize = MessagesOf(mResult, L"Initialize");
    const std::vector<std::wstring> expected = {
        L"begin~.",
        L"MakeSureDirectoryPathExists$Static(" + directory + L") return:0x800700b7.",
        L"MakeSureDirectoryPathExists$Static(" + mLocal + L"\\Morvane\\Output\\" + runName + L") return:0x800700b7.",
        L"gOutputDirectory:" + directory + L".",
        L"GdiplusStartup return:0.",
    };
    EXPECT_EQ(initialize, expected);
    EXPECT_EQ(MessagesOf(mResult, L"Finalize"), std::vector<std::wstring>{L"end.."});
}

} // namespace
