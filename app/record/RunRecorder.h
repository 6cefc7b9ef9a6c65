#pragma once

#include "record/RunEntry.h"
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
    void AddSkipped(HWND window, HRESULT sampleResult, const WindowInfo& record);

    // A window whose folder was written.
    void AddSaved(const WindowInfo& record, const WindowShotOutcome& outcome);

    // Notes the end time, the monitors and the previous run, and writes both files. A file that
    // cannot be written costs one trace line.
    void Finish();

    [[nodiscard]] const RunSummary& Summary() const noexcept { return mRun; }

private:
    [[nodiscard]] std::wstring ImagePathOf(DWORD processId);
    // The windows listed so far that are shown and overlap the entry lie above it.
    void NoteCoveringWindows(RunWindow& entry) const;

    RunSummary mRun;
    std::map<DWORD, std::wstring> mImagePaths; // by process, for skipped windows
};

// Local time now, as FormatLocalTime writes it.
[[nodiscard]] std::string LocalTimeNow();

// The whole window text, however long, read without sending the window a message.
[[nodiscard]] std::wstring ReadWholeWindowText(HWND window);

} // namespace Morvane
