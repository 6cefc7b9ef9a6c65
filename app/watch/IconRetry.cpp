#include "watch/IconRetry.h"

#include <algorithm>

namespace Morvane {
namespace {

constexpr unsigned kFirstDelayMs = 1'000;
constexpr unsigned kLongestDelayMs = 15'000;
constexpr unsigned long long kTriedForMs = 300'000;

} // namespace

std::optional<unsigned> NextIconAttemptDelayMs(unsigned failedAttempts, unsigned long long sinceFirstMs) noexcept
{
    if (failedAttempts == 0) {
        return std::nullopt; // nothing was refused
    }
    // 1, 2, 4, 8 s, then 15 s; the shift stays small whatever the count.
    const unsigned doublings = std::min(failedAttempts - 1, 4u);
    const unsigned delay = std::min(kFirstDelayMs << doublings, kLongestDelayMs);
    if (sinceFirstMs + delay > kTriedForMs) {
        return std::nullopt;
    }
    return delay;
}

} // namespace Morvane
