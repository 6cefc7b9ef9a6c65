#pragma once

#include <string>

namespace Morvane {

// How a watch first saw a window visible.
enum class CaughtBy {
    Start, // visible when the run began
    Event, // a creation or show event, then the window found visible
    Scan,  // the periodic walk over all top-level windows
};

// What a watch knows of a window's life; a run without a watch has only windows caught at its
// start, never seen gone.
struct WatchFacts {
    CaughtBy caughtBy = CaughtBy::Start;
    std::string appearedAt;        // local time as startedAt; empty when present at start
    long long savedAfterMs = -1;   // first seen visible to window picture written; -1 without one
    std::string goneAt;            // empty while not seen hidden or destroyed
    long long shownForMs = -1;     // -1 while not seen gone
    bool missed = false;           // it vanished before it could be saved
    std::string pictureDropped;    // why a picture from the screen was not written; empty if none was
    long long appearedAtClock = 0; // the watch's clock (microseconds); 0 when present at start
};

} // namespace Morvane
