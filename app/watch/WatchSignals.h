#pragma once

#include "system/UniqueResource.h"

#include <windows.h>

#include <string>

namespace Morvane {

// Names of the running watch's objects, per logged-on session (Local\).
constexpr wchar_t kWatchStopEventName[] = L"Local\\Morvane.Watch.Stop";
constexpr wchar_t kWatchFolderMappingName[] = L"Local\\Morvane.Watch.Folder";

// What a running watch holds so that others can find it: the stop event that --stop sets, and a
// named shared memory with the watch's output folder, whose existence marks the running watch.
class WatchSignals {
public:
    enum class Claim {
        Claimed,        // this process is now the running watch
        AlreadyRunning, // another watch runs; RunningFolder names its folder
        Refused,        // another watch runs with rights this process lacks (as administrator)
        Failed,         // the objects could not be made
    };

    // Claims the watch for this session, before anything is written.
    [[nodiscard]] Claim ClaimWatch();

    // Tells others the watch's output folder.
    void PublishFolder(const std::wstring& folder) noexcept;

    // The folder of the watch that ran already (after AlreadyRunning).
    [[nodiscard]] const std::wstring& RunningFolder() const noexcept { return mRunningFolder; }

    // Signalled by --stop.
    [[nodiscard]] HANDLE StopEvent() const noexcept { return mStopEvent.get(); }

private:
    TalvexBasic::UniqueHandle mFolderMapping;
    TalvexBasic::UniqueHandle mStopEvent;
    std::wstring mRunningFolder;
};

// What the opening of a running watch's object tells, from the error of the failed open.
enum class RunningWatch {
    Absent,  // no watch runs
    Refused, // a watch runs, but this process may not reach it (it runs as administrator)
};
[[nodiscard]] RunningWatch RunningWatchFromOpenError(DWORD error) noexcept;

enum class StopAnswer {
    Stopped,   // the running watch's stop event is set
    NoWatch,   // no watch runs
    Refused,   // a watch runs, but its stop event may not be set from here
};

// What --stop and a second --watch say when the running watch is out of reach, and their exit code
// (that of the refusal).
constexpr wchar_t kWatchRefusedStopText[] =
    L"A watch is running, but access to it was refused (it runs with higher rights, as administrator). "
    L"Stop it from its icon, or run --stop as administrator.";
constexpr wchar_t kWatchRefusedWatchText[] =
    L"A watch is running already, but access to it was refused (it runs with higher rights, as "
    L"administrator).";
constexpr int kWatchRefusedExitCode = ERROR_ACCESS_DENIED;

// The output folder of the watch that runs in this session; empty when none runs or it cannot be read.
[[nodiscard]] std::wstring RunningWatchFolder();

// Sets the running watch's stop event.
[[nodiscard]] StopAnswer SignalRunningWatchToStop() noexcept;

} // namespace Morvane
