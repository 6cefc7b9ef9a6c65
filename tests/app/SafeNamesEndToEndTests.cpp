// The real Morvane.exe on windows of fixture copies whose executable names hold CJK, Greek and
// Cyrillic characters and fullwidth look-alikes of the backslash, and on windows whose captions
// and class names hold line breaks: each window's folder keeps the exact image name, nothing lands
// outside WindowShot, and every text record keeps its 34 lines.

#include "capture/OutputFileNames.h"
#include "FolderEntries.h"

#include "support/FixtureProcess.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "system/HResult.h"

#include "support/TestText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

using MorvaneTests::EntriesIn;
using MorvaneTests::FolderEntry;
using TestSupport::FixtureProcess;
using TestSupport::FixtureWindow;
using TestSupport::FixtureWindowSpec;

// CJK, Greek and Cyrillic: none of them has a place in the ANSI code page.
const std::wstring kCjkName = L"\x6F22\x5B57\x30C6\x30B9\x30C8 \x03A9\x043C\x0435\x0433\x0430.exe";
// "..\..\..\" in fullwidth reverse solidi: through the ANSI code page they became three real
// backslashes and took the folder out of WindowShot, into the run's own folder.
const std::wstring kLookAlikeName = L"..\xFF3C..\xFF3C..\xFF3Cx.exe";

const std::wstring kForgingCaption = L"x\r\nProcessDosPath: C:\\Windows\\explorer.exe";
const std::wstring kForgingClass = L"MorvaneForged\nWindowCaption: y";
const std::wstring kPlainCaption = L"tab\there \\back\\slash \rlone CR";

std::wstring FolderNameOf(const std::wstring& imageName, const FixtureWindow& window)
{
    wchar_t tail[96];
    std::swprintf(tail, 96, L"]-0x%016llX-%u-%u", TalvexBasic::PointerBits(window.handle),
                  static_cast<unsigned>(window.processId), static_cast<unsigned>(window.threadId));
    return L"[" + imageName + tail;
}

class SafeNamesEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sScratch = new std::wstring(TestSupport::MakeScratchDirectory(L"Names"));
        const std::wstring fixture = TestSupport::DesktopFixturePath();
        for (const std::wstring* name : {&kCjkName, &kLookAlikeName}) {
            ASSERT_TRUE(::CopyFileW(fixture.c_str(), (*sScratch + L"\\" + *name).c_str(), FALSE));
        }
        sCjk = new FixtureProcess();
        sLookAlike = new FixtureProcess();
        ASSERT_TRUE(sCjk->StartFrom(*sScratch + L"\\" + kCjkName)) << sCjk->Failure();
        ASSERT_TRUE(sLookAlike->StartFrom(*sScratch + L"\\" + kLookAlikeName)) << sLookAlike->Failure();

        sForging = sCjk->Open(FixtureWindowSpec{
            {60, 60, 360, 260}, kForgingCaption, kForgingClass, WS_POPUP | WS_VISIBLE, 0, RGB(180, 20, 20)});
        sPlain = sLookAlike->Open(FixtureWindowSpec{
            {420, 60, 720, 260}, kPlainCaption, L"MorvaneLookAlike", WS_POPUP | WS_VISIBLE, 0, RGB(20, 20, 180)});
        ASSERT_TRUE(sForging) << sForging.failure;
        ASSERT_TRUE(sPlain) << sPlain.failure;

        sRun = new TestSupport::DebugCaptureResult(TestSupport::RunMorvane());
    }

    static void TearDownTestSuite()
    {
        delete sRun;
        delete sCjk;
        delete sLookAlike;
        if (sScratch != nullptr) {
            TestSupport::RemoveTree(*sScratch);
        }
        delete sScratch;
        sRun = nullptr;
        sCjk = sLookAlike = nullptr;
        sScratch = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(sRun, nullptr);
        ASSERT_TRUE(sRun->failure.empty()) << sRun->failure;
        ASSERT_TRUE(sRun->exited);
        ASSERT_EQ(sRun->exitCode, 0u);
        mOutput = TestSupport::CompletionDirectory(*sRun);
        ASSERT_FALSE(mOutput.empty());
    }

    std::string RecordOf(const std::wstring& imageName, const FixtureWindow& window) const
    {
        return TestSupport::ReadWholeFile(mOutput + L"\\WindowShot\\" + FolderNameOf(imageName, window) +
                                          L"\\" + Morvane::kInfoFileName);
    }

    static inline std::wstring* sScratch = nullptr;
    static inline FixtureProcess* sCjk = nullptr;
    static inline FixtureProcess* sLookAlike = nullptr;
    static inline FixtureWindow sForging;
    static inline FixtureWindow sPlain;
    static inline TestSupport::DebugCaptureResult* sRun = nullptr;
    std::wstring mOutput;
};

TEST_F(SafeNamesEndToEnd, EachFolderKeepsTheExactImageNameWithItsThreeFiles)
{
    const std::vector<FolderEntry> threeFiles = {
        {Morvane::kMonitorPictureFileName, false}, {Morvane::kInfoFileName, false}, {Morvane::kWindowPictureFileName, false}};
    EXPECT_EQ(EntriesIn(mOutput + L"\\WindowShot\\" + FolderNameOf(kCjkName, sForging)), threeFiles);
    EXPECT_EQ(EntriesIn(mOutput + L"\\WindowShot\\" + FolderNameOf(kLookAlikeName, sPlain)), threeFiles);
}

TEST_F(SafeNamesEndToEnd, NothingLandsOutsideTheWindowFolders)
{
    // WindowShot holds only window folders, each named "[image]-0x<handle>-<pid>-<tid>".
    const std::wregex windowFolder(LR"(\[[^\\/]+\]-0x[0-9A-F]{16}-\d+-\d+)");
    const std::vector<FolderEntry> shots = EntriesIn(mOutput + L"\\WindowShot");
    ASSERT_FALSE(shots.empty());
    for (const FolderEntry& entry : shots) {
        EXPECT_TRUE(entry.folder && std::regex_match(entry.name, windowFolder)) << testing::PrintToString(entry.name);
    }
    // Beside WindowShot: the log folder and plain files only; above the run's folder and beside
    // the copied executables, nothing of any window.
    for (const FolderEntry& entry : EntriesIn(mOutput)) {
        EXPECT_TRUE(!entry.folder || entry.name == L"WindowShot" || entry.name == L"Log")
            << testing::PrintToString(entry.name);
    }
    for (const std::wstring& folder : {mOutput + L"\\..", TestSupport::ProgramDirectory(), *sScratch}) {
        for (const FolderEntry& entry : EntriesIn(folder)) {
            EXPECT_EQ(entry.name.find(L"]-0x"), std::wstring::npos)
                << testing::PrintToString(folder + L": " + entry.name);
            EXPECT_EQ(entry.name.find(L"x.exe]"), std::wstring::npos)
                << testing::PrintToString(folder + L": " + entry.name);
        }
    }
    EXPECT_EQ(EntriesIn(*sScratch), (std::vector<FolderEntry>{{kLookAlikeName, false}, {kCjkName, false}}));
}

TEST_F(SafeNamesEndToEnd, CaptionsAndClassNamesCannotForgeRecordLines)
{
    const std::vector<std::string> forged = TestSupport::CrLfLines(RecordOf(kCjkName, sForging));
    ASSERT_EQ(forged.size(), 34u);
    EXPECT_EQ(forged[14], "WindowCaption: x\\r\\nProcessDosPath: C:\\Windows\\explorer.exe");
    EXPECT_EQ(forged[15], "WindowClassName: MorvaneForged\\nWindowCaption: y");
    EXPECT_EQ(std::count_if(forged.begin(), forged.end(),
                            [](const std::string& line) { return line.rfind("ProcessDosPath: ", 0) == 0; }),
              1);
    // The image path, through the code page.
    EXPECT_EQ(forged[16].rfind("ProcessDosPath: ", 0), 0u) << forged[16];
    EXPECT_EQ(forged[16].substr(forged[16].size() - 4), ".exe") << forged[16];
    EXPECT_EQ(forged[33], "");

    const std::vector<std::string> plain = TestSupport::CrLfLines(RecordOf(kLookAlikeName, sPlain));
    ASSERT_EQ(plain.size(), 34u);
    // A tab stays a tab, a backslash a backslash; a lone carriage return is escaped as well.
    EXPECT_EQ(plain[14], "WindowCaption: tab\there \\back\\slash \\rlone CR");
}

} // namespace
