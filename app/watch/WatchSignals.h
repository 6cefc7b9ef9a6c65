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

// Sets the running watch's stop event; false when no watch runs.
[[nodiscard]] bool SignalRunningWatchToStop() noexcept;

} // namespace Morvane
