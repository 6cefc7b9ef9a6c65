#pragma once

#include "RunClock.h"
#include "record/ProcessCatalog.h"
#include "record/RunEntry.h"
#include "record/RunHistory.h"
#include "record/RunJournal.h"
#include "record/RunTally.h"
#include "record/WindowFolderCounts.h"
#include "capture/WindowInfo.h"
#include "capture/WindowSample.h"
#include "capture/WindowShot.h"
#include "system/CriticalSection.h"

#include <windows.h>

#include <functional>
#include <map>
#include <string>

namespace Morvane {

// Collects one entry per enumerated window during the run and, at its end, writes the run record
// and the run page into the output directory; a watch's entries go into the run's journal instead,
// from which the record is made. Entries may come from more than one thread.
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

    // A watch, once the windows present at its start are saved: opens the run's journal with the
    // run's start, the monitors, those windows and their processes. From then on the entries live
    // in the journal, and memory keeps only the latest entry of each window that may still change.
    // Where the journal cannot be opened, the entries stay in memory for the end.
    void BeginJournal(const std::wstring& outputDirectory, const RunClock& clock, const WatchSummary& watch);

    // The window's latest entry is complete (after its window picture): its line.
    void JournalLatestOf(HWND window);
    // The window went: the update's line.
    void JournalGoneOf(HWND window);

    // A watched window's monitor picture, taken after its entry was complete: noted in its entry
    // (unless the window has a later one), and the update's line.
    void NoteMonitorPicture(HWND window, const WindowShotOutcome& outcome);

    // The end of a watch: the processes as the signature checks left them, the monitors and the
    // end line, then the record and page made from the journal (as Finish where there is none).
    void FinishJournal(const std::wstring& outputDirectory, const RunClock& clock);

    [[nodiscard]] const RunSummary& Summary() const noexcept { return mRun; }

    // The run's windows and failed steps counted as they came, also those only the journal keeps.
    [[nodiscard]] RunTally Tally();

private:
    RunWindow Add(RunWindow entry);
    void Conclude(const std::wstring& outputDirectory, const RunClock& clock, bool last);
    void FindPrevious(const std::wstring& outputDirectory);
    void ListMonitorsNow(const std::string& since);
    [[nodiscard]] std::string Now() const;
    void JournalNewProcesses();
    // The latest entry of the window, or null; under mLock.
    RunWindow* LatestEntry(std::uint64_t handle);
    // Forgets a watched window's entry that can change no more: gone, and its pictures taken.
    void ForgetIfSettled(std::uint64_t handle);
    [[nodiscard]] static bool WindowExists(std::uint64_t handle) noexcept;
    // The windows listed so far that are shown and overlap the entry lie above it.
    void NoteCoveringWindows(RunWindow& entry) const;

    TalvexBasic::CriticalSection mLock; // over the entries
    RunSummary mRun;
    ProcessCatalog mProcesses; // of the saved windows, under mLock
    bool mPreviousSearched = false;
    bool mHasPrevious = false;
    EarlierRun mPrevious;
    // While the journal is open: the entries are in it, and these are all memory keeps of them.
    RunJournal mJournal;
    const RunClock* mClock = nullptr;
    std::map<std::uint64_t, RunWindow> mLatest;        // by handle
    WindowFolderCounts mSavedCounts{&WindowExists}; // folders each window has got
    size_t mProcessesJournaled = 0;
    RunTally mTally; // under mLock
};

} // namespace Morvane
