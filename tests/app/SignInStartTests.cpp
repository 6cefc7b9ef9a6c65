// A watch that starts at sign-in: --at-sign-in writes the user's Run value that starts this very
// program with --watch, --not-at-sign-in removes it, each says what it did or why it could not.
// End to end, Wine's wineboot runs the Run values as the shell does at sign-in and starts the
// watch. Refusals of the registry come through the import slots of its routines.

#include "CommandLine.h"
#include "ProgramEntry.h"
#include "WatchOfOtherProcess.h"
#include "support/ImportPatch.h"
#include "support/MessageBoxCollector.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "support/TestText.h"
#include "system/UniqueResource.h"
#include "watch/SignInStart.h"
#include "watch/WatchSignals.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

TEST_SUPPORT_IMPORT_SLOT(RegSetValueExW);
TEST_SUPPORT_IMPORT_SLOT(RegDeleteValueW);

namespace {

using TestSupport::ImportPatch;

// The Run value as the registry holds it: its type and text; nothing when there is none.
struct RunValue {
    DWORD type = REG_NONE;
    std::wstring text;
};

std::optional<RunValue> ReadRunValue()
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, Morvane::kSignInRunKey, Morvane::kSignInValueName,
                       RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1);
    if (::RegGetValueW(HKEY_CURRENT_USER, Morvane::kSignInRunKey, Morvane::kSignInValueName,
                       RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return RunValue{type, std::wstring(data.data())};
}

// Other tests share the prefix: a value left behind would start a watch at the next wineboot.
// Whatever the test did, the value is as it was before.
class RunValueKept {
public:
    RunValueKept() : mBefore(ReadRunValue()) {}
    ~RunValueKept()
    {
        if (mBefore) {
            (void)::RegSetKeyValueW(HKEY_CURRENT_USER, Morvane::kSignInRunKey, Morvane::kSignInValueName,
                                    mBefore->type, mBefore->text.c_str(),
                                    static_cast<DWORD>((mBefore->text.size() + 1) * sizeof(wchar_t)));
        } else {
            (void)::RegDeleteKeyValueW(HKEY_CURRENT_USER, Morvane::kSignInRunKey, Morvane::kSignInValueName);
        }
    }
    RunValueKept(const RunValueKept&) = delete;
    RunValueKept& operator=(const RunValueKept&) = delete;

private:
    std::optional<RunValue> mBefore;
};

// The registry's refusals.
struct Answers {
    static inline LSTATUS refusal = ERROR_ACCESS_DENIED;

    static LSTATUS WINAPI SetValue(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD) { return refusal; }
    static LSTATUS WINAPI DeleteValue(HKEY, LPCWSTR) { return refusal; }
};

std::wstring ThisProgram()
{
    std::vector<wchar_t> path(32768);
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return std::wstring(path.data(), length);
}

TEST(SignInStart, CommandQuotesTheWholePath)
{
    const struct {
        const wchar_t* path;
        const wchar_t* command;
    } cases[] = {
        {L"C:\\Tools\\Morvane.exe", L"\"C:\\Tools\\Morvane.exe\" --watch"},
        {L"C:\\Program Files\\Morvane\\Morvane.exe", L"\"C:\\Program Files\\Morvane\\Morvane.exe\" --watch"},
        {L"\\\\server\\share\\\u00c9t\u00e9 \u5de5\u5177\\Morvane.exe",
         L"\"\\\\server\\share\\\u00c9t\u00e9 \u5de5\u5177\\Morvane.exe\" --watch"},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(Morvane::MakeSignInCommand(example.path), example.command);
    }
}

TEST(SignInStart, ReportsSayWhatWasDoneOrWhy)
{
    using Morvane::SignInChange;
    const struct {
        SignInChange change;
        DWORD error;
        const wchar_t* why;
        int exitCode;
        UINT icon;
        std::vector<const wchar_t*> parts;
    } cases[] = {
        {SignInChange::Written, 0, L"", 0, MB_ICONINFORMATION,
         {L"will start at each sign-in", L"\"C:\\T\\Morvane.exe\" --watch", L"CurrentVersion\\Run", L"\"Morvane\""}},
        {SignInChange::Removed, 0, L"", 0, MB_ICONINFORMATION, {L"no longer start at sign-in", L"removed"}},
        {SignInChange::WasAbsent, ERROR_FILE_NOT_FOUND, L"", 0, MB_ICONINFORMATION,
         {L"was not set to start at sign-in", L"nothing to remove"}},
        {SignInChange::NotWritten, ERROR_ACCESS_DENIED, L"Access denied", 1, MB_ICONERROR,
         {L"could not be set to start at sign-in", L"Access denied (error 5)."}},
        {SignInChange::NotRemoved, ERROR_ACCESS_DENIED, L"", 1, MB_ICONERROR,
         {L"could not be kept from starting", L"The system gave no reason (error 5)."}},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(static_cast<int>(example.change));
        const Morvane::SignInReport report =
            Morvane::ReportSignInChange(example.change, L"\"C:\\T\\Morvane.exe\" --watch", example.error, example.why);
        EXPECT_EQ(report.exitCode, example.exitCode);
        EXPECT_EQ(report.icon, example.icon);
        for (const wchar_t* part : example.parts) {
            EXPECT_NE(report.text.find(part), std::wstring::npos) << std::wstring(part).size();
        }
    }
}

// In this process, through the command line: the value names this program, and goes again.
TEST(SignInStart, CommandLineWritesAndRemovesTheRunValue)
{
    const RunValueKept kept;
    const struct {
        const wchar_t* commandLine;
        int exitCode;
        const wchar_t* boxPart;
        bool valueAfter;
    } steps[] = {
        {L"Morvane.exe --at-sign-in", 0, L"will start at each sign-in", true},
        {L"Morvane.exe /AT-SIGN-IN", 0, L"will start at each sign-in", true}, // again: the same value
        {L"Morvane.exe --not-at-sign-in", 0, L"no longer start", false},
        {L"Morvane.exe --not-at-sign-in", 0, L"nothing to remove", false},
    };
    const std::wstring command = Morvane::MakeSignInCommand(ThisProgram());
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.commandLine, step.commandLine + wcslen(step.commandLine)));
        const TestSupport::MessageBoxCollector boxes;
        EXPECT_EQ(Morvane::RunCommandLine(step.commandLine), step.exitCode);
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_NE(boxes.Boxes()[0].text.find(step.boxPart), std::wstring::npos) << boxes.Boxes()[0].text.size();
        EXPECT_EQ(boxes.Boxes()[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
        const std::optional<RunValue> value = ReadRunValue();
        ASSERT_EQ(value.has_value(), step.valueAfter);
        if (value) {
            EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
            EXPECT_EQ(value->text, command);
            EXPECT_NE(boxes.Boxes()[0].text.find(command), std::wstring::npos);
        }
    }
}

// --at-sign-in --quiet, as a deployment runs it: no box, and the watch it starts is quiet too.
TEST(SignInStart, QuietSignInStartsAQuietWatchWithoutABox)
{
    EXPECT_EQ(Morvane::MakeSignInCommand(L"C:\\Program Files\\Morvane\\Morvane.exe", true),
              L"\"C:\\Program Files\\Morvane\\Morvane.exe\" --watch --quiet");
    const RunValueKept kept;
    const struct {
        const wchar_t* commandLine;
        bool valueAfter;
    } steps[] = {
        {L"Morvane.exe --at-sign-in --quiet", true},
        {L"Morvane.exe /quiet /not-at-sign-in", false},
        {L"Morvane.exe --not-at-sign-in --quiet", false}, // nothing to remove
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.commandLine, step.commandLine + wcslen(step.commandLine)));
        const TestSupport::MessageBoxCollector boxes;
        EXPECT_EQ(Morvane::RunCommandLine(step.commandLine), 0);
        EXPECT_TRUE(boxes.Boxes().empty());
        const std::optional<RunValue> value = ReadRunValue();
        ASSERT_EQ(value.has_value(), step.valueAfter);
        if (value) {
            EXPECT_EQ(value->text, Morvane::MakeSignInCommand(ThisProgram(), true));
        }
    }
}

TEST(SignInStart, RefusedRegistrySaysWhyWithExitCodeOne)
{
    const RunValueKept kept;
    const std::wstring planted = L"\"C:\\Elsewhere\\Morvane.exe\" --watch";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, Morvane::kSignInRunKey, Morvane::kSignInValueName, REG_SZ,
                                planted.c_str(), static_cast<DWORD>((planted.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    for (const wchar_t* commandLine : {L"Morvane.exe --at-sign-in", L"Morvane.exe --not-at-sign-in"}) {
        SCOPED_TRACE(std::string(commandLine, commandLine + wcslen(commandLine)));
        const TestSupport::MessageBoxCollector boxes;
        int exitCode = -1;
        {
            const ImportPatch<decltype(&::RegSetValueExW)> set(__imp_RegSetValueExW, &Answers::SetValue);
            const ImportPatch<decltype(&::RegDeleteValueW)> remove(__imp_RegDeleteValueW, &Answers::DeleteValue);
            exitCode = Morvane::RunCommandLine(commandLine);
        }
        EXPECT_EQ(exitCode, 1);
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_NE(boxes.Boxes()[0].text.find(L"(error 5)."), std::wstring::npos);
        EXPECT_EQ(boxes.Boxes()[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
        // Neither changed the value.
        const std::optional<RunValue> value = ReadRunValue();
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(value->text, planted);
    }
}

std::wstring ImageOf(DWORD processId)
{
    const TalvexBasic::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    std::vector<wchar_t> path(32768);
    DWORD length = static_cast<DWORD>(path.size());
    if (!process || !::QueryFullProcessImageNameW(process.get(), 0, path.data(), &length)) {
        return {};
    }
    return std::wstring(path.data(), length);
}

// The visible message box of a process, as the box of a program started by the system, not by
// the test, is found: by its class and caption.
HWND MessageBoxOf(DWORD processId)
{
    HWND box = nullptr;
    while ((box = ::FindWindowExW(nullptr, box, L"#32770", L"Morvane")) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(box, &owner);
        if (owner == processId && ::IsWindowVisible(box)) {
            return box;
        }
    }
    return nullptr;
}

TestSupport::DebugCaptureResult RunCopy(const std::wstring& program, const std::wstring& arguments)
{
    TestSupport::DebugCaptureOptions options;
    options.program = program;
    options.arguments = arguments;
    options.timeLimitMilliseconds = 120000;
    return TestSupport::RunWithDebugCapture(options);
}

// The watch that the sign-in started, stopped and confirmed whatever the test found.
class SignedInWatch {
public:
    ~SignedInWatch() { (void)Stop(); }
    void Found(DWORD processId)
    {
        mProcess.reset(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                                     processId));
        mId = processId;
    }
    [[nodiscard]] bool Known() const noexcept { return mProcess.valid(); }

    // Stops the watch, presses OK on its completion box, and gives that box's text and the exit
    // code; the process is ended by force if it does not end within a minute.
    bool Stop(std::wstring* boxText = nullptr, DWORD* exitCode = nullptr)
    {
        if (!mProcess) {
            return false;
        }
        (void)Morvane::SignalRunningWatchToStop();
        for (int tries = 0; tries < 1200; ++tries) {
            if (const HWND box = MessageBoxOf(mId); box != nullptr) {
                if (boxText != nullptr) {
                    std::vector<wchar_t> text(4096);
                    ::GetDlgItemTextW(box, 0xFFFF, text.data(), static_cast<int>(text.size()));
                    *boxText = text.data();
                }
                ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                               reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
                break;
            }
            ::Sleep(50);
        }
        const bool ended = ::WaitForSingleObject(mProcess.get(), 60000) == WAIT_OBJECT_0;
        if (!ended) {
            ::TerminateProcess(mProcess.get(), 1);
        }
        if (exitCode != nullptr) {
            ::GetExitCodeProcess(mProcess.get(), exitCode);
        }
        mProcess.reset();
        return ended;
    }

private:
    TalvexBasic::UniqueHandle mProcess;
    DWORD mId = 0;
};

// What the shell does at sign-in, Wine's wineboot does when run plainly: it runs the Run values,
// without waiting for them. The watch it starts is the test's own copy of Morvane.exe.
TEST(SignInStart, WinebootStartsTheWatchThatTheValueNames)
{
    const RunValueKept kept;
    const std::wstring home = TestSupport::MakeScratchDirectory(L"SignIn");
    const std::wstring program = home + L"\\Morvane.exe";
    ASSERT_TRUE(::CopyFileW((TestSupport::ProgramDirectory() + L"\\Morvane.exe").c_str(), program.c_str(), FALSE));
    ASSERT_TRUE(TestSupport::WaitForWatchFolder(Morvane::kWatchFolderMappingName, 1).empty())
        << "a watch runs already";

    const TestSupport::DebugCaptureResult atSignIn = RunCopy(program, L"--at-sign-in");
    EXPECT_EQ(atSignIn.exitCode, 0u);
    ASSERT_EQ(atSignIn.messageBoxTexts.size(), 1u);
    const std::wstring command = L"\"" + program + L"\" --watch";
    EXPECT_NE(atSignIn.messageBoxTexts[0].find(command), std::wstring::npos);
    const std::optional<RunValue> value = ReadRunValue();
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value->text, command);

    SignedInWatch watch;
    {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        std::wstring line = L"wineboot.exe";
        ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                     &started));
        const TalvexBasic::UniqueHandle process(started.hProcess);
        const TalvexBasic::UniqueHandle thread(started.hThread);
        EXPECT_EQ(::WaitForSingleObject(process.get(), 120000), WAIT_OBJECT_0);
    }
    const std::wstring folder = TestSupport::WaitForWatchFolder(Morvane::kWatchFolderMappingName, 60000);
    ASSERT_FALSE(folder.empty());
    HWND icon = nullptr;
    for (int tries = 0; tries < 600 && icon == nullptr; ++tries) {
        icon = TestSupport::IconWindowOfOtherProcess();
        ::Sleep(icon == nullptr ? 50 : 0);
    }
    ASSERT_NE(icon, nullptr);
    DWORD watchId = 0;
    ::GetWindowThreadProcessId(icon, &watchId);
    watch.Found(watchId);
    ASSERT_TRUE(watch.Known());
    EXPECT_EQ(_wcsicmp(ImageOf(watchId).c_str(), program.c_str()), 0) << "not the copy's watch";
    const std::wstring outputs = home + L"\\Morvane\\Output\\";
    EXPECT_EQ(folder.compare(0, outputs.size(), outputs), 0);

    // It behaves as any other watch: --stop ends it with the completion message and exit code 0.
    std::wstring completion;
    DWORD exitCode = 1;
    ASSERT_TRUE(watch.Stop(&completion, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_NE(completion.find(L"Success Save All Window To"), std::wstring::npos);
    EXPECT_NE(completion.find(folder), std::wstring::npos);
    const std::string record = TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.json");
    EXPECT_NE(record.find("\"running\": false"), std::string::npos);

    const TestSupport::DebugCaptureResult notAtSignIn = RunCopy(program, L"--not-at-sign-in");
    EXPECT_EQ(notAtSignIn.exitCode, 0u);
    ASSERT_EQ(notAtSignIn.messageBoxTexts.size(), 1u);
    EXPECT_NE(notAtSignIn.messageBoxTexts[0].find(L"no longer start"), std::wstring::npos);
    EXPECT_FALSE(ReadRunValue().has_value());
    TestSupport::RemoveTree(home);
}

} // namespace

// --at-sign-in --output: the watch at each sign-in saves into the chosen folder, given back to it
// exactly as written, whatever its backslashes, spaces and variables.
TEST(SignInStart, ChosenFolderTravelsToTheWatchAsGiven)
{
    const wchar_t* const folders[] = {
        L"%LOCALAPPDATA%\\Morvane",
        L"\\\\server\\share\\%COMPUTERNAME%\\",
        L"C:\\Pop ups\\\\",
        L"D:\\a\\b c",
    };
    for (const wchar_t* folder : folders) {
        SCOPED_TRACE(TestSupport::Utf8(folder));
        const std::wstring command = Morvane::MakeSignInCommand(L"C:\\Program Files\\Morvane\\Morvane.exe", true, folder);
        int count = 0;
        LPWSTR* argv = ::CommandLineToArgvW(command.c_str(), &count);
        ASSERT_NE(argv, nullptr);
        const std::vector<std::wstring> arguments(argv + 1, argv + count);
        ::LocalFree(argv);
        const Morvane::CommandPlan plan = Morvane::PlanFromArguments(arguments);
        EXPECT_EQ(plan.action, Morvane::CommandAction::Watch) << TestSupport::Utf8(plan.error);
        EXPECT_TRUE(plan.quiet);
        EXPECT_EQ(plan.outputFolder, folder) << TestSupport::Utf8(command);
    }

    const RunValueKept kept;
    {
        const TestSupport::MessageBoxCollector boxes;
        EXPECT_EQ(Morvane::RunCommandLine(L"Morvane.exe --at-sign-in --quiet --output \"%LOCALAPPDATA%\\Morvane\""),
                  0);
        EXPECT_TRUE(boxes.Boxes().empty());
    }
    const std::optional<RunValue> value = ReadRunValue();
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->text, Morvane::MakeSignInCommand(ThisProgram(), true, L"%LOCALAPPDATA%\\Morvane"));
    EXPECT_EQ(Morvane::RunCommandLine(L"Morvane.exe --not-at-sign-in --output x --quiet"), 2);
}
