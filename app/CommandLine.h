#pragma once

#include "capture/PictureBudgetRule.h"

#include <string>
#include <vector>

namespace Morvane {

// What the command line asks for.
enum class CommandAction {
    Snapshot, // no arguments: one run over the windows present now
    Watch,    // --watch: the run goes on, saving every window that appears, until stopped
    Stop,     // --stop: ends the watch running for this user
    Help,     // --help or /?: the usage
    AtSignIn,    // --at-sign-in: a watch starts at each sign-in of this user
    NotAtSignIn, // --not-at-sign-in: no longer
    RegisterEvents,   // --register-events: the Application log finds the events' sentences in this program
    UnregisterEvents, // --unregister-events: no longer
    Refuse,   // anything else: the error text and the usage
};

struct CommandPlan {
    CommandAction action = CommandAction::Snapshot;
    // With --for: how long the watch runs by itself; 0 runs until stopped.
    unsigned long long watchSeconds = 0;
    // With --max-size: the run folder's limit, past which the watch writes no more pictures.
    unsigned long long maxRunBytes = kDefaultMaxRunBytes;
    // With --output: the folder the run folders go below, as given; empty for the default.
    std::wstring outputFolder;
    // Why the arguments were refused, naming the argument; empty otherwise.
    std::wstring error;
    // With --quiet: no message box; the outcome is the exit code, and the text goes to standard
    // error when there is one. Also set on a refusal whose arguments hold --quiet, so that an
    // unattended script with a typo does not wait on a box.
    bool quiet = false;
};

// The bounds of --for.
constexpr unsigned long long kShortestWatchSeconds = 1;
constexpr unsigned long long kLongestWatchSeconds = 7ULL * 24 * 60 * 60;

// The plan for the arguments after the program's name (as CommandLineToArgvW splits them).
// Options are taken in their "--" and "/" forms, in any case.
[[nodiscard]] CommandPlan PlanFromArguments(const std::vector<std::wstring>& arguments);

// "45s", "10m", "2h" or a bare number of seconds, within the bounds; false otherwise.
[[nodiscard]] bool ParseWatchDuration(const std::wstring& text, unsigned long long& seconds) noexcept;

// The bounds of --max-size.
constexpr unsigned long long kSmallestMaxRunBytes = 1;
constexpr unsigned long long kLargestMaxRunBytes = 1ULL << 40;

// "800k", "500m", "2g" (units of 1024 bytes, in any case) or a bare number of bytes, within the
// bounds; false otherwise.
[[nodiscard]] bool ParseByteSize(const std::wstring& text, unsigned long long& bytes) noexcept;

// The text of the usage, every option grouped by what it is for.
[[nodiscard]] std::wstring UsageText();

} // namespace Morvane
