#pragma once

#include "RunClock.h"
#include "record/RunEntry.h"
#include "capture/WindowInfo.h"
#include "capture/WindowSample.h"
#include "capture/WindowShot.h"
#include "system/CriticalSection.h"

#include <windows.h>

#include <string>

namespace Morvane {

// Collects one entry per enumerated window during the run and, at its end, writes the run record
// and the run page into the output directory. Entries may come from more than one thread.
class RunRecorder {
public:
    // Notes the start time and the computer.
    void Start(const RunClock& clock);

    // A window that the sampling refused, as the sample tells it. Returns a copy of the entry.
    RunWindow AddSkipped(const WindowSample& sample);

    // A window whose folder was written. Returns a copy of the entry.
    RunWindow AddSaved(const WindowInfo& record, const WindowShotOutcome& outcome);

    // Notes the end time, the monitors and the previous run, and writes both files into the
    // output directory. A file that cannot be written costs one trace line.
    void Finish(const std::wstring& outputDirectory, const RunClock& clock);

    [[nodiscard]] const RunSummary& Summary() const noexcept { return mRun; }

private:
    RunWindow Add(RunWindow entry);
    // The windows listed so far that are shown and overlap the entry lie above it.
    void NoteCoveringWindows(RunWindow& entry) const;

    TalvexBasic::CriticalSection mLock; // over the entries
    RunSummary mRun;
};

} // namespace Morvane
