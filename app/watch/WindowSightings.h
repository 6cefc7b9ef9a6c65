#pragma once

#include "record/WatchFacts.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace Morvane {

// A window seen visible that was not visible at the last look.
struct Appearance {
    std::uint64_t window = 0;
    long long seenAt = 0;  // microseconds of the watch's clock
    unsigned showing = 1;  // 1 the first time, 2 when shown again, ...
    CaughtBy caughtBy = CaughtBy::Event;
};

// A visible window seen hidden or destroyed.
struct Disappearance {
    std::uint64_t window = 0;
    long long goneAt = 0;
};

// One window as the periodic scan found it.
struct ScannedWindow {
    std::uint64_t window = 0;
    bool visible = false;
};

// The bookkeeping of the watch: which windows wait to show, which are visible, how often each
// was shown. Pure: the caller looks at the windows and tells what it saw, with the time.
// Windows hidden after they showed wait to show again in the same way.
//
// A created window that is not yet visible is checked often at first (shown windows reach the
// screen within milliseconds of their creation) and less after; one that never shows within
// kPendingGiveUp is dropped (a helper window). The list of waiting windows is capped.
class WindowSightings {
public:
    static constexpr long long kEagerPeriod = 500'000;  // checked every kEagerInterval in this time
    static constexpr long long kEagerInterval = 1'000;
    static constexpr long long kLazyInterval = 50'000;
    static constexpr long long kPendingGiveUp = 10'000'000;
    static constexpr std::size_t kPendingCap = 4096;

    enum class Added {
        Waiting,  // now waits to show
        Known,    // already waiting or visible
        Overflow, // dropped: the list is full
    };

    // Windows visible when the watch begins: known, not reported.
    void Baseline(const std::vector<ScannedWindow>& windows);

    // A creation event.
    [[nodiscard]] Added Created(std::uint64_t window, long long now);

    // The waiting windows to check now.
    [[nodiscard]] std::vector<std::uint64_t> Due(long long now) const;

    // The result of looking at a window (after a check, or a show event): an appearance when it
    // is visible now and was not before.
    [[nodiscard]] bool Looked(std::uint64_t window, bool visible, long long now, CaughtBy by, Appearance& appearance);

    // A hide or destroy event, or a failed look: a disappearance when it was visible. A window
    // that was hidden, not destroyed, waits to show again like a new one, so that its next
    // showing is seen as soon as a first one would be.
    [[nodiscard]] bool Vanished(std::uint64_t window, long long now, bool destroyed, Disappearance& disappearance);

    // A full scan: windows shown since the last look, windows no longer visible, and windows
    // gone from the list forgotten.
    void Scanned(const std::vector<ScannedWindow>& windows, long long now, std::vector<Appearance>& appeared,
                 std::vector<Disappearance>& vanished);

    // Microseconds until the next waiting window is due; -1 when none waits.
    [[nodiscard]] long long UntilNextDue(long long now) const;

    // Whether the window was visible at the last look.
    [[nodiscard]] bool SeenShowing(std::uint64_t window) const noexcept;

    // Whether the window is known: visible, waiting to show, or hidden after it showed.
    [[nodiscard]] bool Tracks(std::uint64_t window) const noexcept { return mWindows.count(window) != 0; }

    [[nodiscard]] std::size_t WaitingCount() const noexcept;
    [[nodiscard]] std::size_t KnownCount() const noexcept { return mWindows.size(); }

private:
    struct Sighting {
        long long createdAt = 0;
        long long nextCheck = 0;
        bool waiting = false; // created, never yet seen visible since
        bool visible = false;
        unsigned showings = 0;
    };

    std::unordered_map<std::uint64_t, Sighting> mWindows;
    std::size_t mWaiting = 0;
};

} // namespace Morvane
