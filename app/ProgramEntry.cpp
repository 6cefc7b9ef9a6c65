#include "ProgramEntry.h"

#include "RunDriver.h"
#include "events/EventRegistration.h"
#include "system/UniqueResource.h"
#include "watch/SignInStart.h"
#include "watch/WatchCommandLine.h"
#include "watch/WatchRun.h"
#include "watch/WatchSignals.h"

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace Morvane {
namespace {

constexpr wchar_t kCaption[] = L"Morvane";

struct ArgvTraits {
    using Type = LPWSTR*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type argv) noexcept { ::LocalFree(argv); }
};

// The arguments after the program's name.
std::vector<std::wstring> SplitArguments(const wchar_t* commandLine)
{
    int count = 0;
    const TalvexBasic::UniqueResource<ArgvTraits> argv(::CommandLineToArgvW(commandLine, &count));
    std::vector<std::wstring> arguments;
    for (int index = 1; argv && index < count; ++index) {
        arguments.emplace_back(argv.get()[index]);
    }
    return arguments;
}

// A setting's change told in its message box; its exit code.
int Tell(const CommandReport& report)
{
    ::MessageBoxW(nullptr, report.text.c_str(), kCaption, MB_OK | report.icon);
    return report.exitCode;
}

} // namespace

int RunCommandLine(const wchar_t* commandLine)
{
    // An empty command line has no program name to skip; it asks for the plain run too.
    const CommandPlan plan =
        commandLine == nullptr || *commandLine == L'\0' ? CommandPlan{} : PlanFromArguments(SplitArguments(commandLine));
    switch (plan.action) {
    case CommandAction::Snapshot:
        return Run();
    case CommandAction::Watch:
        return RunWatch(plan.watchSeconds, plan.maxRunBytes);
    case CommandAction::Stop:
        switch (SignalRunningWatchToStop()) {
        case StopAnswer::Stopped:
            return 0;
        case StopAnswer::Refused:
            ::MessageBoxW(nullptr, kWatchRefusedStopText, kCaption, MB_OK | MB_ICONWARNING);
            return kWatchRefusedExitCode;
        case StopAnswer::NoWatch:
            break;
        }
        ::MessageBoxW(nullptr, L"No watch is running.", kCaption, MB_OK | MB_ICONINFORMATION);
        return 1;
    case CommandAction::Help:
        ::MessageBoxW(nullptr, UsageText().c_str(), kCaption, MB_OK | MB_ICONINFORMATION);
        return 0;
    case CommandAction::AtSignIn:
        return Tell(StartAtSignIn());
    case CommandAction::NotAtSignIn:
        return Tell(StopStartingAtSignIn());
    case CommandAction::RegisterEvents:
        return Tell(RegisterRunEvents());
    case CommandAction::UnregisterEvents:
        return Tell(UnregisterRunEvents());
    case CommandAction::Refuse:
        break;
    }
    const std::wstring text = plan.error + L"\r\n\r\n" + UsageText();
    ::MessageBoxW(nullptr, text.c_str(), kCaption, MB_OK | MB_ICONERROR);
    return 2;
}

} // namespace Morvane
