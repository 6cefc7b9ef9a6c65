#include "watch/WatchSignals.h"

#include "MorvaneTrace.h"

#include <algorithm>
#include <cwchar>

namespace Morvane {
namespace {

constexpr const char* kWatchSignals = "Morvane::WatchSignals";

// The folder's characters and its terminating null.
constexpr DWORD kFolderMappingBytes = 32768 * sizeof(wchar_t);

struct MappedViewTraits {
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type view) noexcept { ::UnmapViewOfFile(view); }
};
using UniqueMappedView = TalvexBasic::UniqueResource<MappedViewTraits>;

std::wstring ReadFolder(HANDLE mapping)
{
    const UniqueMappedView view(::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kFolderMappingBytes));
    if (!view) {
        return {};
    }
    const auto* text = static_cast<const wchar_t*>(view.get());
    return std::wstring(text, wcsnlen(text, kFolderMappingBytes / sizeof(wchar_t) - 1));
}

} // namespace

RunningWatch RunningWatchFromOpenError(DWORD error) noexcept
{
    return error == ERROR_ACCESS_DENIED ? RunningWatch::Refused : RunningWatch::Absent;
}

WatchSignals::Claim WatchSignals::ClaimWatch()
{
    // Opened first, read only: a watch run as administrator refuses even that to a watch that is
    // not, whereas making the mapping would ask for more than reading.
    const TalvexBasic::UniqueHandle running(::OpenFileMappingW(FILE_MAP_READ, FALSE, kWatchFolderMappingName));
    if (running) {
        mRunningFolder = ReadFolder(running.get());
        return Claim::AlreadyRunning;
    }
    if (RunningWatchFromOpenError(::GetLastError()) == RunningWatch::Refused) {
        (void)MORVANE_FAIL_LAST_ERROR(kWatchSignals, TalvexBasic::LastErrorRule::Standard,
                                      "OpenFileMappingW error:%u.");
        return Claim::Refused;
    }
    mFolderMapping.reset(
        ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kFolderMappingBytes,
                             kWatchFolderMappingName));
    if (!mFolderMapping) {
        // Made in the meantime by a watch run as administrator.
        const bool refused = RunningWatchFromOpenError(::GetLastError()) == RunningWatch::Refused;
        (void)MORVANE_FAIL_LAST_ERROR(kWatchSignals, TalvexBasic::LastErrorRule::Standard,
                                      "CreateFileMappingW error:%u.");
        return refused ? Claim::Refused : Claim::Failed;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        // Made in the meantime by another watch.
        mRunningFolder = ReadFolder(mFolderMapping.get());
        mFolderMapping.reset();
        return Claim::AlreadyRunning;
    }
    mStopEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, kWatchStopEventName));
    if (!mStopEvent) {
        (void)MORVANE_FAIL_LAST_ERROR(kWatchSignals, TalvexBasic::LastErrorRule::Standard, "CreateEventW error:%u.");
        return Claim::Failed;
    }
    // A stop left over from an earlier watch that ended between --stop's open and set.
    ::ResetEvent(mStopEvent.get());
    return Claim::Claimed;
}

void WatchSignals::PublishFolder(const std::wstring& folder) noexcept
{
    const UniqueMappedView view(::MapViewOfFile(mFolderMapping.get(), FILE_MAP_WRITE, 0, 0, kFolderMappingBytes));
    if (!view) {
        (void)MORVANE_FAIL_LAST_ERROR(kWatchSignals, TalvexBasic::LastErrorRule::Standard, "MapViewOfFile error:%u.");
        return;
    }
    const size_t length = std::min<size_t>(folder.size(), kFolderMappingBytes / sizeof(wchar_t) - 1);
    auto* text = static_cast<wchar_t*>(view.get());
    folder.copy(text, length);
    text[length] = L'\0';
}

std::wstring RunningWatchFolder()
{
    const TalvexBasic::UniqueHandle running(::OpenFileMappingW(FILE_MAP_READ, FALSE, kWatchFolderMappingName));
    return running ? ReadFolder(running.get()) : std::wstring();
}

StopAnswer SignalRunningWatchToStop() noexcept
{
    const TalvexBasic::UniqueHandle stop(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kWatchStopEventName));
    if (stop && ::SetEvent(stop.get()) != FALSE) {
        return StopAnswer::Stopped;
    }
    return RunningWatchFromOpenError(::GetLastError()) == RunningWatch::Refused ? StopAnswer::Refused
                                                                                : StopAnswer::NoWatch;
}

} // namespace Morvane
