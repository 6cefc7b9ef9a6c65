#include "watch/WatchCommandLine.h"

#include <cwctype>

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

CommandPlan Refuse(const std::wstring& why)
{
    CommandPlan plan;
    plan.action = CommandAction::Refuse;
    plan.error = why;
    return plan;
}

} // namespace

bool ParseWatchDuration(const std::wstring& text, unsigned long long& seconds) noexcept
{
    unsigned long long unit = 1;
    size_t digits = text.size();
    if (!text.empty()) {
        switch (std::towlower(text.back())) {
        case L's': unit = 1; --digits; break;
        case L'm': unit = 60; --digits; break;
        case L'h': unit = 3600; --digits; break;
        default: break;
        }
    }
    if (digits == 0 || digits > 9) {
        return false;
    }
    unsigned long long value = 0;
    for (size_t index = 0; index < digits; ++index) {
        if (text[index] < L'0' || text[index] > L'9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned long long>(text[index] - L'0');
    }
    value *= unit;
    if (value < kShortestWatchSeconds || value > kLongestWatchSeconds) {
        return false;
    }
    seconds = value;
    return true;
}

CommandPlan PlanFromArguments(const std::vector<std::wstring>& arguments)
{
    bool watch = false;
    bool stop = false;
    bool timed = false;
    CommandPlan plan;
    for (size_t index = 0; index < arguments.size(); ++index) {
        const std::wstring& argument = arguments[index];
        const std::wstring name = argument == L"/?" ? L"help" : OptionName(argument);
        if (name == L"help") {
            return CommandPlan{CommandAction::Help, 0, {}};
        }
        if (name == L"watch" && !watch) {
            watch = true;
        } else if (name == L"stop" && !stop) {
            stop = true;
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
        } else {
            return Refuse(L"Unknown or repeated argument \"" + argument + L"\".");
        }
    }
    if (stop && (watch || timed)) {
        return Refuse(L"\"--stop\" takes no other argument.");
    }
    if (timed && !watch) {
        return Refuse(L"\"--for\" works only with \"--watch\".");
    }
    plan.action = stop ? CommandAction::Stop : watch ? CommandAction::Watch : CommandAction::Snapshot;
    return plan;
}

std::wstring UsageText()
{
    return L"Usage:\r\n"
           L"  Morvane.exe\t\t\tsaves every visible window once\r\n"
           L"  Morvane.exe --watch [--for <duration>]\tsaves them, then every window that appears, until "
           L"stopped\r\n"
           L"  Morvane.exe --stop\t\tstops the running watch\r\n"
           L"  Morvane.exe --help\t\tshows this text\r\n"
           L"\r\n"
           L"<duration>: 45s, 10m, 2h or a number of seconds, from 1 second to 7 days. The / forms (/watch, "
           L"/for, /stop, /?) are taken too.";
}

} // namespace Morvane
