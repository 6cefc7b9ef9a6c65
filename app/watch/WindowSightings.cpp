#include "watch/WindowSightings.h"

#include <unordered_set>

namespace Morvane {

void WindowSightings::Baseline(const std::vector<ScannedWindow>& windows)
{
    for (const ScannedWindow& scanned : windows) {
        if (scanned.visible) {
            Sighting& sighting = mWindows[scanned.window];
            sighting.visible = true;
            sighting.showings = 1;
        }
    }
}

WindowSightings::Added WindowSightings::Created(std::uint64_t window, long long now)
{
    const auto known = mWindows.find(window);
    if (known != mWindows.end() && (known->second.waiting || known->second.visible)) {
        return Added::Known;
    }
    if (mWaiting >= kPendingCap) {
        return Added::Overflow;
    }
    Sighting& sighting = mWindows[window];
    sighting.createdAt = now;
    sighting.nextCheck = now;
    sighting.waiting = true;
    ++mWaiting;
    return Added::Waiting;
}

std::vector<std::uint64_t> WindowSightings::Due(long long now) const
{
    std::vector<std::uint64_t> due;
    for (const auto& [window, sighting] : mWindows) {
        if (sighting.waiting && sighting.nextCheck <= now) {
            due.push_back(window);
        }
    }
    return due;
}

bool WindowSightings::Looked(std::uint64_t window, bool visible, long long now, CaughtBy by, Appearance& appearance)
{
    auto found = mWindows.find(window);
    if (found == mWindows.end()) {
        if (!visible) {
            return false;
        }
        found = mWindows.emplace(window, Sighting{}).first;
    }
    Sighting& sighting = found->second;
    if (!visible) {
        if (sighting.waiting) {
            const long long age = now - sighting.createdAt;
            if (age >= kPendingGiveUp) {
                sighting.waiting = false;
                --mWaiting;
                if (sighting.showings == 0) {
                    mWindows.erase(found);
                }
                return false;
            }
            sighting.nextCheck = now + (age < kEagerPeriod ? kEagerInterval : kLazyInterval);
        }
        return false;
    }
    if (sighting.waiting) {
        sighting.waiting = false;
        --mWaiting;
    }
    if (sighting.visible) {
        return false;
    }
    sighting.visible = true;
    ++sighting.showings;
    appearance = Appearance{window, now, sighting.showings, by};
    return true;
}

bool WindowSightings::Vanished(std::uint64_t window, long long now, bool destroyed, Disappearance& disappearance)
{
    const auto found = mWindows.find(window);
    if (found == mWindows.end() || !found->second.visible) {
        return false;
    }
    Sighting& sighting = found->second;
    sighting.visible = false;
    if (!destroyed && !sighting.waiting && mWaiting < kPendingCap) {
        sighting.waiting = true;
        sighting.createdAt = now;
        sighting.nextCheck = now;
        ++mWaiting;
    }
    disappearance = Disappearance{window, now};
    return true;
}

void WindowSightings::Scanned(const std::vector<ScannedWindow>& windows, long long now,
                              std::vector<Appearance>& appeared, std::vector<Disappearance>& vanished)
{
    std::unordered_set<std::uint64_t> present;
    present.reserve(windows.size());
    for (const ScannedWindow& scanned : windows) {
        present.insert(scanned.window);
        Appearance appearance;
        Disappearance disappearance;
        if (Looked(scanned.window, scanned.visible, now, CaughtBy::Scan, appearance)) {
            appeared.push_back(appearance);
        } else if (!scanned.visible && Vanished(scanned.window, now, false, disappearance)) {
            vanished.push_back(disappearance);
        }
    }
    // Destroyed windows: their handles may come back for other windows, which start anew.
    for (auto it = mWindows.begin(); it != mWindows.end();) {
        if (present.count(it->first) != 0) {
            ++it;
            continue;
        }
        if (it->second.visible) {
            vanished.push_back(Disappearance{it->first, now});
        }
        if (it->second.waiting) {
            --mWaiting;
        }
        it = mWindows.erase(it);
    }
}

long long WindowSightings::UntilNextDue(long long now) const
{
    long long soonest = -1;
    for (const auto& entry : mWindows) {
        if (entry.second.waiting) {
            const long long until = entry.second.nextCheck > now ? entry.second.nextCheck - now : 0;
            soonest = soonest < 0 || until < soonest ? until : soonest;
        }
    }
    return soonest;
}

bool WindowSightings::SeenShowing(std::uint64_t window) const noexcept
{
    const auto found = mWindows.find(window);
    return found != mWindows.end() && found->second.visible;
}

std::size_t WindowSightings::WaitingCount() const noexcept
{
    return mWaiting;
}

} // namespace Morvane
