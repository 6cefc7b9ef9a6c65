#pragma once

#include <optional>

namespace Morvane {

// When the notification-area icon is tried again after the shell refused it: at sign-in the
// watch may start before the shell has its notification area. The waits double from a second up
// to a quarter of a minute; after five minutes of refusals the watch goes on without an icon.
// failedAttempts counts the refusals so far (1 after the first), sinceFirstMs the time since the
// first attempt. Nothing: no further attempt.
[[nodiscard]] std::optional<unsigned> NextIconAttemptDelayMs(unsigned failedAttempts,
                                                             unsigned long long sinceFirstMs) noexcept;

} // namespace Morvane
