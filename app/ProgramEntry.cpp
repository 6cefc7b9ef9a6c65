#include "ProgramEntry.h"

#include "CommandLine.h"
#include "OutcomeNotice.h"
#include "RunDriver.h"
#include "events/EventRegistration.h"
#include "system/UniqueResource.h"
#include "watch/SignInStart.h"
#include "watch/WatchRun.h"
#include "watch/WatchSignals.h"

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace Morvane {
namespace {

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

// A setting's change told as its message box would tell it; its exit code.
int Tell(OutcomeNotice& notice, const CommandReport& report)
{
    notice.Tell(report.text, report.icon);
    return report.exitCode;
}

} // namespace

int RunCommandLine(const wchar_t* commandLine)
{
    // An empty command line has no program name to skip; it asks for the plain run too.
    const CommandPlan plan =
        commandLine == nullptr || *commandLine == L'\0' ? CommandPlan{} : PlanFromArguments(SplitArguments(commandLine));
    OutcomeNotice notice(plan.quiet);
    switch (plan.action) {
    case CommandAction::Snapshot:
        return Run(notice, plan.outputFolder);
    case CommandAction::Watch:
        return RunWatch(plan.watchSeconds, plan.maxRunBytes, notice, plan.outputFolder);
    case CommandAction::Stop:
        switch (SignalRunningWatchToStop()) {
        case StopAnswer::Stopped:
            return 0;
        case StopAnswer::Refused:
            notice.Tell(kWatchRefusedStopText, MB_ICONWARNING);
            return kWatchRefusedExitCode;
        case StopAnswer::NoWatch:
            break;
        }
        notice.Tell(L"No watch is running.", MB_ICONINFORMATION);
        return 1;
    case CommandAction::Help:
        notice.TellUsage(UsageText());
        return 0;
    case CommandAction::AtSignIn:
        return Tell(notice, StartAtSignIn(plan.quiet, plan.outputFolder));
    case CommandAction::NotAtSignIn:
        return Tell(notice, StopStartingAtSignIn());
    case CommandAction::RegisterEvents:
        return Tell(notice, RegisterRunEvents());
    case CommandAction::UnregisterEvents:
        return Tell(notice, UnregisterRunEvents());
    case CommandAction::Refuse:
        break;
    }
    notice.Tell(plan.error + L"\r\n\r\n" + UsageText(), MB_ICONERROR);
    return 2;
}

} // namespace Morvane
