#include "CommandLine.h"

#include <cwctype>
#include <initializer_list>

namespace Morvane {
namespace {

// The option's name without its "--" or "/", in lower case; empty when the argument is no option.
std::wstring OptionName(const std::wstring& argument)
{
    std::wstring name;
    if (argument.size() > 2 && argument.compare(0, 2, L"--") == 0) {
        name = argument.substr(2);
    } else if (argument.size() > 1 && argument[0] == L'/') {
        name = argument.substr(1);
    }
    for (wchar_t& character : name) {
        character = static_cast<wchar_t>(std::towlower(character));
    }
    return name;
}

struct Unit {
    wchar_t suffix; // in lower case
    unsigned long long factor;
};

// Decimal digits, then at most one of the units (in any case; none: a factor of 1), within the
// bounds; the value is written only when the whole text is taken.
bool ParseScaledNumber(const std::wstring& text, std::initializer_list<Unit> units, size_t maxDigits,
                       unsigned long long least, unsigned long long most, unsigned long long& value) noexcept
{
    unsigned long long factor = 1;
    size_t digits = text.size();
    for (const Unit& unit : units) {
        if (!text.empty() && static_cast<wchar_t>(std::towlower(text.back())) == unit.suffix) {
            factor = unit.factor;
            --digits;
            break;
        }
    }
    if (digits == 0 || digits > maxDigits) {
        return false;
    }
    unsigned long long number = 0;
    for (size_t index = 0; index < digits; ++index) {
        if (text[index] < L'0' || text[index] > L'9') {
            return false;
        }
        number = number * 10 + static_cast<unsigned long long>(text[index] - L'0');
    }
    if (number > most / factor || number * factor < least) {
        return false;
    }
    value = number * factor;
    return true;
}

CommandPlan Refuse(const std::wstring& why)
{
    CommandPlan plan;
    plan.action = CommandAction::Refuse;
    plan.error = why;
    return plan;
}

bool AsksForQuiet(const std::vector<std::wstring>& arguments)
{
    for (const std::wstring& argument : arguments) {
        if (OptionName(argument) == L"quiet") {
            return true;
        }
    }
    return false;
}

} // namespace

bool ParseWatchDuration(const std::wstring& text, unsigned long long& seconds) noexcept
{
    // Nine digits of seconds are past any bound.
    return ParseScaledNumber(text, {{L's', 1}, {L'm', 60}, {L'h', 3600}}, 9, kShortestWatchSeconds,
                             kLongestWatchSeconds, seconds);
}

bool ParseByteSize(const std::wstring& text, unsigned long long& bytes) noexcept
{
    // Thirteen digits hold any bound in bytes.
    return ParseScaledNumber(text, {{L'k', 1ULL << 10}, {L'm', 1ULL << 20}, {L'g', 1ULL << 30}}, 13,
                             kSmallestMaxRunBytes, kLargestMaxRunBytes, bytes);
}

namespace {

CommandPlan DecidePlan(const std::vector<std::wstring>& arguments)
{
    bool watch = false;
    bool stop = false;
    bool timed = false;
    bool limited = false;
    // --at-sign-in or --not-at-sign-in, each alone.
    CommandAction signIn = CommandAction::Snapshot;
    CommandPlan plan;
    for (size_t index = 0; index < arguments.size(); ++index) {
        const std::wstring& argument = arguments[index];
        const std::wstring name = argument == L"/?" ? L"help" : OptionName(argument);
        if (name == L"help") {
            CommandPlan help;
            help.action = CommandAction::Help;
            return help;
        }
        if (name == L"quiet" && !plan.quiet) {
            plan.quiet = true;
        } else if (name == L"watch" && !watch) {
            watch = true;
        } else if (name == L"stop" && !stop) {
            stop = true;
        } else if ((name == L"at-sign-in" || name == L"not-at-sign-in") && signIn == CommandAction::Snapshot) {
            signIn = name == L"at-sign-in" ? CommandAction::AtSignIn : CommandAction::NotAtSignIn;
        } else if ((name == L"register-events" || name == L"unregister-events") && signIn == CommandAction::Snapshot) {
            signIn = name == L"register-events" ? CommandAction::RegisterEvents : CommandAction::UnregisterEvents;
        } else if (name == L"for" && !timed) {
            if (index + 1 == arguments.size()) {
                return Refuse(L"\"" + argument + L"\" needs a duration.");
            }
            timed = true;
            const std::wstring& duration = arguments[++index];
            if (!ParseWatchDuration(duration, plan.watchSeconds)) {
                return Refuse(L"Bad duration \"" + duration + L"\" for \"" + argument +
                              L"\": from 1 second to 7 days, as 45s, 10m, 2h or a number of seconds.");
            }
        } else if (name == L"max-size" && !limited) {
            if (index + 1 == arguments.size()) {
                return Refuse(L"\"" + argument + L"\" needs a size.");
            }
            limited = true;
            const std::wstring& size = arguments[++index];
            if (!ParseByteSize(size, plan.maxRunBytes)) {
                return Refuse(L"Bad size \"" + size + L"\" for \"" + argument +
                              L"\": from 1 byte to 1024g, as 800k, 500m, 2g or a number of bytes.");
            }
        } else if (name == L"output" && plan.outputFolder.empty()) {
            if (index + 1 == arguments.size() || arguments[index + 1].empty()) {
                return Refuse(L"\"" + argument + L"\" needs a folder.");
            }
            plan.outputFolder = arguments[++index];
        } else {
            return Refuse(L"Unknown or repeated argument \"" + argument + L"\".");
        }
    }
    if (signIn != CommandAction::Snapshot) {
        const bool events = signIn == CommandAction::RegisterEvents || signIn == CommandAction::UnregisterEvents;
        // --at-sign-in carries a chosen folder on to the watches it starts.
        const bool carriesFolder = signIn == CommandAction::AtSignIn && !plan.outputFolder.empty();
        if (arguments.size() > (plan.quiet ? 2u : 1u) + (carriesFolder ? 2u : 0u)) {
            return Refuse(events ? L"\"--register-events\" and \"--unregister-events\" take no other argument but \"--quiet\"."
                                 : L"\"--at-sign-in\" and \"--not-at-sign-in\" take no other argument but \"--quiet\".");
        }
        plan.action = signIn;
        return plan;
    }
    if (stop && (watch || timed || limited || !plan.outputFolder.empty())) {
        return Refuse(L"\"--stop\" takes no other argument but \"--quiet\".");
    }
    if (timed && !watch) {
        return Refuse(L"\"--for\" works only with \"--watch\".");
    }
    if (limited && !watch) {
        return Refuse(L"\"--max-size\" works only with \"--watch\".");
    }
    plan.action = stop ? CommandAction::Stop : watch ? CommandAction::Watch : CommandAction::Snapshot;
    return plan;
}

} // namespace

CommandPlan PlanFromArguments(const std::vector<std::wstring>& arguments)
{
    CommandPlan plan = DecidePlan(arguments);
    // --help and refusals end the scan early; --quiet anywhere still holds for them.
    plan.quiet = AsksForQuiet(arguments);
    return plan;
}

std::wstring UsageText()
{
    return L"Usage: Morvane.exe [options]\r\n"
           L"\r\n"
           L"Taking pictures:\r\n"
           L"  (no option)\t\tsaves every visible window once\r\n"
           L"\r\n"
           L"Watching:\r\n"
           L"  --watch\t\tsaves them, then every window that appears, until stopped\r\n"
           L"  --for <duration>\twith --watch: stops by itself after that long\r\n"
           L"  --max-size <size>\twith --watch: writes no more pictures past that size\r\n"
           L"  --stop\t\tstops the running watch\r\n"
           L"\r\n"
           L"Starting at sign-in:\r\n"
           L"  --at-sign-in\t\tstarts a watch at each sign-in of this user (with --quiet and --output <folder>: "
           L"that watch is quiet and saves there)\r\n"
           L"  --not-at-sign-in\tno longer starts it at sign-in\r\n"
           L"\r\n"
           L"Deployment:\r\n"
           L"  --quiet\t\tno message box: the exit code tells the outcome (0 success, 1 failure, 2 bad "
           L"arguments), the text goes to the console's standard error when there is one\r\n"
           L"  --output <folder>\tthe run folders go below this folder (environment variables are expanded)\r\n"
           L"  --register-events\tregisters the Event Log source Morvane (as administrator)\r\n"
           L"  --unregister-events\tremoves that registration (as administrator)\r\n"
           L"\r\n"
           L"  --help\t\tshows this text (also /?)\r\n"
           L"\r\n"
           L"<duration>: 45s, 10m, 2h or a number of seconds, from 1 second to 7 days.\r\n"
           L"<size>: the run folder's size past which a watch writes no more pictures (also when the disk has under "
           L"1g free): 800k, 500m, 2g or a number of bytes; 2g unless given.\r\n"
           L"Every option is taken in its / form too (/watch, /for, /stop, /quiet, /?), in any case.";
}

} // namespace Morvane
