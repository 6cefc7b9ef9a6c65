// A folder chosen with --output: the decision on the expanded, full path (a table), the command
// line that carries it, the folder the platform makes full, and the failures of a share that does
// not answer, injected through the import slot of CreateDirectoryW.

#include "CommandLine.h"
#include "OutputDirectory.h"
#include "OutputFolderChoice.h"
#include "SystemErrorText.h"

#include "EnvironmentOverride.h"
#include "FolderEntries.h"
#include "support/ImportPatch.h"
#include "support/TestPaths.h"
#include "support/TestText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

TEST_SUPPORT_IMPORT_SLOT(CreateDirectoryW);

namespace {

using namespace Morvane;

// A sighting whose expansion and full path worked.
OutputFolderSighting Seen(const std::wstring& argument, const std::wstring& expanded, const std::wstring& full)
{
    OutputFolderSighting sighting;
    sighting.argument = argument;
    sighting.expanded = true;
    sighting.expandedText = expanded;
    sighting.madeFull = true;
    sighting.fullPath = full;
    return sighting;
}

TEST(OutputFolderChoice, TakesTheFullFolderOrSaysWhyNot)
{
    const std::wstring deep = L"C:\\" + std::wstring(kLongestPlainOutputFolder - 3, L'd');
    const std::wstring deeper = deep + L"e";
    const std::wstring share = L"\\\\server\\share\\" + std::wstring(kLongestPlainOutputFolder, L's');
    OutputFolderSighting unexpanded;
    unexpanded.argument = L"%A%\\x";
    unexpanded.error = ERROR_ENVVAR_NOT_FOUND;
    unexpanded.errorText = L"No such variable";
    OutputFolderSighting notFull = Seen(L"rel", L"rel", L"");
    notFull.madeFull = false;
    notFull.error = ERROR_FILENAME_EXCED_RANGE;
    notFull.errorText = L"Too long";

    struct Case {
        OutputFolderSighting sighting;
        std::wstring folder;               // expected; empty when refused
        std::vector<std::wstring> errorParts; // each in the error text
    };
    const Case cases[] = {
        {Seen(L"%LOCALAPPDATA%\\Morvane", L"C:\\users\\u\\Local\\Morvane", L"C:\\users\\u\\Local\\Morvane"),
         L"C:\\users\\u\\Local\\Morvane", {}},
        {Seen(L"C:\\x\\", L"C:\\x\\", L"C:\\x\\"), L"C:\\x", {}},
        {Seen(L"C:/x/y", L"C:/x/y", L"C:\\x\\y"), L"C:\\x\\y", {}},
        {Seen(L"C:\\", L"C:\\", L"C:\\"), L"C:", {}},
        {Seen(L"out", L"out", L"C:\\cwd\\out"), L"C:\\cwd\\out", {}},
        {Seen(L"\\\\server\\share\\%COMPUTERNAME%", L"\\\\server\\share\\PC1", L"\\\\server\\share\\PC1"),
         L"\\\\server\\share\\PC1", {}},
        {Seen(L"C:\\100%", L"C:\\100%", L"C:\\100%"), L"C:\\100%", {}},
        {Seen(L"C:\\a%b\\c%d", L"C:\\a%b\\c%d", L"C:\\a%b\\c%d"), L"C:\\a%b\\c%d", {}},
        // As long as a plain folder may be, and one more: then in the form of any length.
        {Seen(deep, deep, deep), deep, {}},
        {Seen(deeper, deeper, deeper), L"\\\\?\\" + deeper, {}},
        {Seen(share, share, share), L"\\\\?\\UNC\\server\\share\\" + std::wstring(kLongestPlainOutputFolder, L's'), {}},
        {Seen(L"\\\\?\\" + deeper, L"\\\\?\\" + deeper, L"\\\\?\\" + deeper), L"\\\\?\\" + deeper, {}},
        {Seen(L"\\\\?\\C:\\x", L"\\\\?\\C:\\x", L"\\\\?\\C:\\x"), L"\\\\?\\C:\\x", {}},
        // Refused, naming the folder as given and why.
        {Seen(L"%NOPE%\\x", L"%NOPE%\\x", L"C:\\cwd\\%NOPE%\\x"), L"",
         {L"\"%NOPE%\\x\"", L"%NOPE% is not defined"}},
        {Seen(L"C:\\%A%\\%B%", L"C:\\a\\%B%", L"C:\\a\\%B%"), L"", {L"%B% is not defined"}},
        {Seen(L"C:\\a<b", L"C:\\a<b", L"C:\\a<b"), L"", {L"\"C:\\a<b\"", L"'<'"}},
        {Seen(L"C:\\a>b", L"C:\\a>b", L"C:\\a>b"), L"", {L"'>'"}},
        {Seen(L"C:\\a|b", L"C:\\a|b", L"C:\\a|b"), L"", {L"'|'"}},
        {Seen(L"C:\\a\"b", L"C:\\a\"b", L"C:\\a\"b"), L"", {L"'\"'"}},
        {Seen(L"C:\\a?b", L"C:\\a?b", L"C:\\a?b"), L"", {L"'?'"}},
        {Seen(L"C:\\a*b", L"C:\\a*b", L"C:\\a*b"), L"", {L"'*'"}},
        {Seen(L"C:\\a:b", L"C:\\a:b", L"C:\\a:b"), L"", {L"':'"}},
        {Seen(L"%V%", L"C:\\a\tb", L"C:\\a\tb"), L"", {L"\"%V%\"", L"control character 9"}},
        {Seen(L"%E%", L"  ", L"C:\\cwd"), L"", {L"names no folder"}},
        {unexpanded, L"", {L"\"%A%\\x\"", L"No such variable (error 203)."}},
        {notFull, L"", {L"\"rel\"", L"Too long (error 206)."}},
    };
    for (const Case& example : cases) {
        SCOPED_TRACE(TestSupport::Utf8(example.sighting.argument + L" -> " + example.sighting.fullPath));
        const OutputFolderChoice choice = ChooseOutputFolder(example.sighting);
        EXPECT_EQ(choice.folder, example.folder);
        EXPECT_EQ(choice.error.empty(), example.errorParts.empty()) << TestSupport::Utf8(choice.error);
        for (const std::wstring& part : example.errorParts) {
            EXPECT_NE(choice.error.find(part), std::wstring::npos) << TestSupport::Utf8(choice.error);
        }
    }

    // Only a lone quote at the end is the closing quote that a backslash kept.
    const struct {
        const wchar_t* given;
        const wchar_t* kept;
    } quotes[] = {
        {L"C:\\x\"", L"C:\\x"}, {L"C:\\x", L"C:\\x"}, {L"C:\\\"x\"", L"C:\\\"x\""}, {L"\"", L""}, {L"", L""},
    };
    for (const auto& quote : quotes) {
        EXPECT_EQ(WithoutStrayClosingQuote(quote.given), quote.kept) << TestSupport::Utf8(quote.given);
    }

    const std::wstring failure = MakeChosenFolderFailureText(L"%X%\\y", L"C:\\x\\y", ERROR_BAD_NETPATH, L"");
    EXPECT_EQ(failure, L"The output folder \"%X%\\y\" cannot be used:\r\n\"C:\\x\\y\": The system gave no reason "
                       L"(error 53).");
}

TEST(OutputFolderChoice, TheCommandLineCarriesOneFolderToTheRunOrTheWatch)
{
    const struct {
        std::vector<std::wstring> arguments;
        CommandAction action;
        const wchar_t* folder;     // the plan's folder when accepted
        const wchar_t* errorNames; // a part of the error text; null when accepted
    } plans[] = {
        {{L"--output", L"%LOCALAPPDATA%\\Morvane"}, CommandAction::Snapshot, L"%LOCALAPPDATA%\\Morvane", nullptr},
        {{L"/OUTPUT", L"x"}, CommandAction::Snapshot, L"x", nullptr},
        {{L"--watch", L"--output", L"\\\\s\\share", L"--for", L"2s"}, CommandAction::Watch, L"\\\\s\\share", nullptr},
        {{L"--output", L"d", L"--watch"}, CommandAction::Watch, L"d", nullptr},
        {{L"--output"}, CommandAction::Refuse, L"", L"\"--output\" needs a folder"},
        {{L"--watch", L"--output", L""}, CommandAction::Refuse, L"", L"\"--output\" needs a folder"},
        {{L"--output", L"a", L"--output", L"b"}, CommandAction::Refuse, L"", L"repeated argument \"--output\""},
        {{L"--stop", L"--output", L"a"}, CommandAction::Refuse, L"", L"\"--stop\" takes no other"},
        {{L"--at-sign-in", L"--output", L"a"}, CommandAction::AtSignIn, L"a", nullptr},
        {{L"--not-at-sign-in", L"--output", L"a"}, CommandAction::Refuse, L"", L"take no other argument"},
    };
    for (const auto& example : plans) {
        SCOPED_TRACE(testing::Message() << example.arguments.size() << " arguments, folder "
                                        << TestSupport::Utf8(example.folder));
        const CommandPlan plan = PlanFromArguments(example.arguments);
        EXPECT_EQ(plan.action, example.action);
        if (example.errorNames == nullptr) {
            EXPECT_EQ(plan.outputFolder, example.folder);
            EXPECT_TRUE(plan.error.empty());
        } else {
            EXPECT_NE(plan.error.find(example.errorNames), std::wstring::npos) << TestSupport::Utf8(plan.error);
        }
    }
}

class ChosenOutputFolder : public ::testing::Test {
protected:
    void SetUp() override { mRoot = TestSupport::MakeScratchDirectory(L"Chosen"); }
    void TearDown() override { TestSupport::RemoveTree(mRoot); }

    std::wstring mRoot;
};

// Expansion, a trailing quote and undefined variables are run end to end (ChosenOutputEndToEnd);
// here the platform's part: relative paths and forward slashes.
TEST_F(ChosenOutputFolder, RelativePathsAndSlashesBecomeTheFullFolder)
{
    MorvaneTests::EnvironmentOverride variable(L"MORVANE_CHOSEN_ROOT", mRoot.c_str());
    wchar_t current[MAX_PATH] = {};
    ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, current), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryW(mRoot.c_str()));
    const OutputFolderChoice relative = ResolveOutputFolder(L"one\\..\\two");
    const OutputFolderChoice slashes = ResolveOutputFolder(L"%MORVANE_CHOSEN_ROOT%/sub");
    (void)::SetCurrentDirectoryW(current);
    EXPECT_EQ(relative.folder, mRoot + L"\\two");
    EXPECT_EQ(slashes.folder, mRoot + L"\\sub");
    EXPECT_TRUE(slashes.error.empty()) << TestSupport::Utf8(slashes.error);
}

DWORD gInjectedError = ERROR_SUCCESS;

BOOL WINAPI FailingCreateDirectory(LPCWSTR, LPSECURITY_ATTRIBUTES)
{
    ::SetLastError(gInjectedError);
    return FALSE;
}

TEST_F(ChosenOutputFolder, AShareThatDoesNotAnswerFailsNamingItsReason)
{
    for (const DWORD error : {static_cast<DWORD>(ERROR_BAD_NETPATH), static_cast<DWORD>(ERROR_SEM_TIMEOUT)}) {
        SCOPED_TRACE(error);
        gInjectedError = error;
        OutputDirectoryChoice choice;
        {
            TestSupport::ImportPatch<decltype(&::CreateDirectoryW)> patch(__imp_CreateDirectoryW,
                                                                           &FailingCreateDirectory);
            choice = CreateChosenOutputDirectory(mRoot + L"\\share\\run");
        }
        EXPECT_FALSE(choice.created);
        EXPECT_TRUE(choice.noFallback);
        ASSERT_EQ(choice.failures.size(), 1u);
        EXPECT_EQ(choice.failures[0].result, HRESULT_FROM_WIN32(error));
        EXPECT_EQ(choice.failures[0].folder, mRoot + L"\\share\\run");
        EXPECT_TRUE(MorvaneTests::EntriesIn(mRoot).empty());
        const std::wstring reason = SystemErrorText(error);
        EXPECT_FALSE(reason.empty());
        const std::wstring text = MakeChosenFolderFailureText(L"\\\\s\\share", L"\\\\s\\share", error, reason);
        EXPECT_NE(text.find(reason + L" (error " + std::to_wstring(error) + L")."), std::wstring::npos);
    }
}

} // namespace
