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

} // namespace

WatchSignals::Claim WatchSignals::ClaimWatch()
{
    mFolderMapping.reset(
        ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kFolderMappingBytes,
                             kWatchFolderMappingName));
    if (!mFolderMapping) {
        (void)MORVANE_FAIL_LAST_ERROR(kWatchSignals, TalvexBasic::LastErrorRule::Standard,
                                      "CreateFileMappingW error:%u.");
        return Claim::Failed;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        const UniqueMappedView view(::MapViewOfFile(mFolderMapping.get(), FILE_MAP_READ, 0, 0, kFolderMappingBytes));
        if (view) {
            const auto* text = static_cast<const wchar_t*>(view.get());
            mRunningFolder.assign(text, wcsnlen(text, kFolderMappingBytes / sizeof(wchar_t) - 1));
        }
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

bool SignalRunningWatchToStop() noexcept
{
    const TalvexBasic::UniqueHandle stop(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kWatchStopEventName));
    return stop && ::SetEvent(stop.get()) != FALSE;
}

} // namespace Morvane
