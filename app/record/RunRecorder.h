#pragma once

#include "record/RunEntry.h"
#include "record/RunHistory.h"
#include "capture/WindowInfo.h"
#include "capture/WindowShot.h"

#include <windows.h>

#include <map>
#include <string>

namespace Morvane {

// Collects one entry per enumerated window during the run and, at its end, writes the run record
// and the run page into the output directory.
class RunRecorder {
public:
    // Notes the start time and the computer.
    void Start();

    // A window that SampleInitialize refused, or that is not visible: what can be read cheaply
    // without sending it a message.
    RunWindow& AddSkipped(HWND window, HRESULT sampleResult, const WindowInfo& record);

    // A window whose folder was written.
    RunWindow& AddSaved(const WindowInfo& record, const WindowShotOutcome& outcome);

    // A window that a watch saw appear but that vanished before it could be saved: what was read
    // when it was seen.
    RunWindow& AddMissed(HWND window, DWORD processId, DWORD threadId, std::wstring className, std::wstring caption);

    // The latest entry of the window; null when it has none.
    [[nodiscard]] RunWindow* LatestEntryOf(HWND window) noexcept;

    // How many folders the window has got so far.
    [[nodiscard]] unsigned SavedCountOf(HWND window) const noexcept;

    void SetWatch(const WatchSummary& watch) { mRun.watch = watch; }

    // While a watch runs and at its end: writes both files as Finish does, each into a temporary
    // file that then replaces the old one, so that a reader never finds half a file.
    void WriteWhileWatching();

    // Notes the end time, the monitors and the previous run, and writes both files. A file that
    // cannot be written costs one trace line.
    void Finish();

    [[nodiscard]] const RunSummary& Summary() const noexcept { return mRun; }

private:
    [[nodiscard]] std::wstring ImagePathOf(DWORD processId);
    void Conclude();
    void WriteFiles(bool replaceWhole);

    RunSummary mRun;
    std::map<DWORD, std::wstring> mImagePaths; // by process, for skipped windows
    bool mPreviousSearched = false;
    bool mHasPrevious = false;
    EarlierRun mPrevious;
};

// Local time now, as FormatLocalTime writes it.
[[nodiscard]] std::string LocalTimeNow();

// A UTC instant as local time, as FormatLocalTime writes it.
[[nodiscard]] std::string LocalTimeAt(const FILETIME& utcInstant);

// The whole window text, however long, read without sending the window a message.
[[nodiscard]] std::wstring ReadWholeWindowText(HWND window);

} // namespace Morvane
