#pragma once

#include "RunClock.h"
#include "record/ProcessCatalog.h"
#include "record/RunEntry.h"
#include "record/RunHistory.h"
#include "capture/WindowInfo.h"
#include "capture/WindowSample.h"
#include "capture/WindowShot.h"
#include "system/CriticalSection.h"

#include <windows.h>

#include <functional>
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

    // A window that a watch saw appear but that vanished before it could be saved: what was read
    // when it was seen. Returns a copy of the entry.
    RunWindow AddMissed(HWND window, DWORD processId, DWORD threadId, std::wstring className, std::wstring caption,
                        std::wstring imagePath);

    // Changes the window's latest entry; false when it has none.
    bool UpdateLatestOf(HWND window, const std::function<void(RunWindow&)>& change);

    // A copy of the window's latest entry; false when it has none.
    [[nodiscard]] bool LatestOf(HWND window, RunWindow& entry);

    // How many folders the window has got so far.
    [[nodiscard]] unsigned SavedCountOf(HWND window);

    void SetWatch(const WatchSummary& watch);

    // Lists the monitors again after the displays changed: those not seen before are kept with
    // the time given, those gone stay. The record's writes do the same, with their own time.
    void NoteMonitors(const std::string& since);
    [[nodiscard]] std::size_t MonitorCount();

    // While a watch runs and at its end: writes both files as Finish does, each into a temporary
    // file that then replaces the old one, so that a reader never finds half a file. The earlier
    // runs are read once.
    void WriteWhileWatching(const std::wstring& outputDirectory, const RunClock& clock);

    [[nodiscard]] const RunSummary& Summary() const noexcept { return mRun; }

private:
    RunWindow Add(RunWindow entry);
    void Conclude(const std::wstring& outputDirectory, const RunClock& clock, bool last);
    void WriteFiles(const std::wstring& outputDirectory, bool replaceWhole);
    // The windows listed so far that are shown and overlap the entry lie above it.
    void NoteCoveringWindows(RunWindow& entry) const;

    TalvexBasic::CriticalSection mLock; // over the entries
    RunSummary mRun;
    ProcessCatalog mProcesses; // of the saved windows, under mLock
    bool mPreviousSearched = false;
    bool mHasPrevious = false;
    EarlierRun mPrevious;
};

} // namespace Morvane
