#pragma once

#include <string>
#include <vector>

namespace Morvane {

// What the command line asks for.
enum class CommandAction {
    Snapshot, // no arguments: one run over the windows present now
    Watch,    // --watch: the run goes on, saving every window that appears, until stopped
    Stop,     // --stop: ends the watch running for this user
    Help,     // --help or /?: the usage
    Refuse,   // anything else: the error text and the usage
};

struct CommandPlan {
    CommandAction action = CommandAction::Snapshot;
    // With --for: how long the watch runs by itself; 0 runs until stopped.
    unsigned long long watchSeconds = 0;
    // Why the arguments were refused, naming the argument; empty otherwise.
    std::wstring error;
};

// The bounds of --for.
constexpr unsigned long long kShortestWatchSeconds = 1;
constexpr unsigned long long kLongestWatchSeconds = 7ULL * 24 * 60 * 60;

// The plan for the arguments after the program's name (as CommandLineToArgvW splits them).
// Options are taken in their "--" and "/" forms, in any case.
[[nodiscard]] CommandPlan PlanFromArguments(const std::vector<std::wstring>& arguments);

// "45s", "10m", "2h" or a bare number of seconds, within the bounds; false otherwise.
[[nodiscard]] bool ParseWatchDuration(const std::wstring& text, unsigned long long& seconds) noexcept;

// The text of the usage message box.
[[nodiscard]] std::wstring UsageText();

} // namespace Morvane
