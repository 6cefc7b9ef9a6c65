#pragma once

#include "capture/WindowShot.h"
#include "record/RunEntry.h"

namespace Morvane {

// The run in numbers, as its end tells them: windows saved, skipped, missed (a watch saw them
// appear, they vanished before they could be saved), and the steps that failed (a text record,
// window picture or monitor picture not written; a picture a watch left out because its window
// had gone or moved is no failure, as on the page).
struct RunTally {
    unsigned saved = 0;
    unsigned skipped = 0;
    unsigned missed = 0;
    unsigned failedSteps = 0;

    // An entry as it is added to the run (a watch's monitor picture comes later).
    void CountEntry(const RunWindow& entry) noexcept;
    // A monitor picture taken after its entry was added.
    void CountMonitorPicture(const WindowShotOutcome& outcome) noexcept;
};

} // namespace Morvane
