#include "record/RunRecorder.h"

#include "MorvaneTrace.h"
#include "record/RunHistory.h"
#include "record/RunPage.h"
#include "record/RunRecord.h"
#include "RunState.h"
#include "capture/WindowShotFolder.h"
#include "system/File.h"
#include "system/HResult.h"
#include "system/UniqueResource.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace Morvane {
namespace {

using TalvexBasic::PointerBits;

constexpr const char* kRunRecorderFinish = "Morvane::RunRecorder::Finish";

// GetWindowTextW fills the run's text buffer with at most this many characters (its capacity
// of 0xFFFF holds the terminating null): a caption of this length may have been cut.
constexpr size_t kCutCaptionLength = kTextBufferLength - 2;

std::wstring ClassNameOf(HWND window)
{
    wchar_t name[257] = {};
    const int length = ::GetClassNameW(window, name, 257);
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM context)
{
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (::GetMonitorInfoW(monitor, &info)) {
        info.szDevice[CCHDEVICENAME - 1] = L'\0';
        reinterpret_cast<std::vector<RunMonitor>*>(context)->push_back(
            {PointerBits(monitor), info.rcMonitor, info.rcWork, info.dwFlags, info.szDevice});
    }
    return TRUE;
}

// 32 hexadecimal digits for the page's script nonce.
std::string MakeNonce()
{
    std::string nonce;
    for (int part = 0; part < 4; ++part) {
        unsigned random = 0;
        if (rand_s(&random) != 0) {
            random = ::GetTickCount() * 2654435761u + static_cast<unsigned>(part);
        }
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x", random);
        nonce += digits;
    }
    return nonce;
}

HRESULT WriteRunFile(const std::wstring& path, const std::string& content) noexcept
{
    return TalvexBasic::Files::File::WriteToFile$Static(path, content.data(), static_cast<unsigned>(content.size()),
                                                        CREATE_ALWAYS);
}

} // namespace

std::string LocalTimeNow()
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return LocalTimeAt(now);
}

std::string LocalTimeAt(const FILETIME& now)
{
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    ::FileTimeToSystemTime(&now, &utc);
    if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return FormatLocalTime(utc, 0);
    }
    FILETIME utcFile{};
    FILETIME localFile{};
    ::SystemTimeToFileTime(&utc, &utcFile);
    ::SystemTimeToFileTime(&local, &localFile);
    const auto ticks = [](const FILETIME& time) {
        return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                      time.dwLowDateTime);
    };
    const long long offsetMinutes = (ticks(localFile) - ticks(utcFile)) / (10000000LL * 60);
    return FormatLocalTime(local, static_cast<int>(offsetMinutes));
}

std::wstring ReadWholeWindowText(HWND window)
{
    std::vector<wchar_t> buffer(512);
    for (;;) {
        buffer[0] = L'\0';
        const int length = ::InternalGetWindowText(window, buffer.data(), static_cast<int>(buffer.size()));
        if (length < 0 || static_cast<size_t>(length) + 1 < buffer.size() || buffer.size() >= (1u << 26)) {
            return std::wstring(buffer.data(), length > 0 ? static_cast<size_t>(length) : 0);
        }
        buffer.assign(buffer.size() * 4, L'\0');
    }
}

void RunRecorder::Start()
{
    mRun.startedAt = LocalTimeNow();
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (::GetComputerNameW(name, &length)) {
        mRun.computerName.assign(name, length);
    }
}

std::wstring RunRecorder::ImagePathOf(DWORD processId)
{
    const auto known = mImagePaths.find(processId);
    if (known != mImagePaths.end()) {
        return known->second;
    }
    std::wstring path;
    const TalvexBasic::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (process) {
        std::vector<wchar_t> buffer(32768);
        DWORD length = static_cast<DWORD>(buffer.size());
        if (::QueryFullProcessImageNameW(process.get(), 0, buffer.data(), &length)) {
            path.assign(buffer.data(), length);
        }
    }
    mImagePaths.emplace(processId, path);
    return path;
}

RunWindow& RunRecorder::AddSkipped(HWND window, HRESULT sampleResult, const WindowInfo& record)
{
    RunWindow entry;
    entry.handle = PointerBits(window);
    entry.skipReason = ClassifySkipReason(sampleResult, record);
    if (entry.skipReason == SkipReason::None) {
        entry.skipReason = SkipReason::SampleFailed;
    }
    entry.style = static_cast<std::uint32_t>(::GetWindowLongPtrW(window, GWL_STYLE));
    entry.exStyle = static_cast<std::uint32_t>(::GetWindowLongPtrW(window, GWL_EXSTYLE));
    DWORD processId = 0;
    entry.threadId = ::GetWindowThreadProcessId(window, &processId);
    entry.processId = processId;
    ::GetWindowRect(window, &entry.rect);
    entry.zone = record.mZonePosition;
    entry.monitor = PointerBits(record.mDisplayMonitorHandle);
    entry.caption = ReadWholeWindowText(window);
    entry.className = ClassNameOf(window);
    entry.imagePath = !record.mProcessDosPath.empty() ? record.mProcessDosPath
                      : processId != 0                ? ImagePathOf(processId)
                                                      : std::wstring();
    mRun.windows.push_back(std::move(entry));
    return mRun.windows.back();
}

RunWindow& RunRecorder::AddSaved(const WindowInfo& record, const WindowShotOutcome& outcome)
{
    RunWindow entry;
    entry.handle = PointerBits(record.mWindowHandle);
    entry.processId = record.mProcessId;
    entry.threadId = record.mThreadId;
    // The record's caption went through the run's text buffer, which cuts very long ones.
    entry.caption =
        record.mCaption.size() < kCutCaptionLength ? record.mCaption : ReadWholeWindowText(record.mWindowHandle);
    entry.className = record.mClassName;
    entry.imagePath = record.mProcessDosPath;
    entry.style = record.mStyle;
    entry.exStyle = record.mExtendedStyle;
    entry.rect = record.mWindowRectangle;
    entry.zone = record.mZonePosition;
    entry.monitor = PointerBits(record.mDisplayMonitorHandle);
    entry.folder = RelativeFolder(gOutputDirectory, MakeWindowShotFolder(gOutputDirectory, record));
    entry.shot = outcome;
    mRun.windows.push_back(std::move(entry));
    return mRun.windows.back();
}

RunWindow& RunRecorder::AddMissed(HWND window, DWORD processId, DWORD threadId, std::wstring className,
                                  std::wstring caption)
{
    RunWindow entry;
    entry.handle = PointerBits(window);
    entry.processId = processId;
    entry.threadId = threadId;
    entry.className = std::move(className);
    entry.caption = std::move(caption);
    entry.imagePath = processId != 0 ? ImagePathOf(processId) : std::wstring();
    entry.skipReason = SkipReason::Invisible;
    entry.watch.missed = true;
    mRun.windows.push_back(std::move(entry));
    return mRun.windows.back();
}

RunWindow* RunRecorder::LatestEntryOf(HWND window) noexcept
{
    const std::uint64_t handle = PointerBits(window);
    for (auto entry = mRun.windows.rbegin(); entry != mRun.windows.rend(); ++entry) {
        if (entry->handle == handle) {
            return &*entry;
        }
    }
    return nullptr;
}

unsigned RunRecorder::SavedCountOf(HWND window) const noexcept
{
    const std::uint64_t handle = PointerBits(window);
    return static_cast<unsigned>(std::count_if(mRun.windows.begin(), mRun.windows.end(), [&](const RunWindow& entry) {
        return entry.handle == handle && !entry.folder.empty();
    }));
}

void RunRecorder::Conclude()
{
    mRun.outputDirectory = gOutputDirectory;
    mRun.monitors.clear();
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&mRun.monitors));

    // A watch writes many times; the earlier runs are read once.
    if (!mPreviousSearched) {
        mPreviousSearched = true;
        mHasPrevious = FindPreviousRun(gOutputDirectory, mPrevious);
    }
    if (mHasPrevious) {
        mRun.previousRun = mPrevious.folderName;
        mRun.gone = CompareWithEarlierRun(mRun.windows, mPrevious.savedWindows);
    }
    mRun.endedAt = LocalTimeNow();
}

void RunRecorder::Finish()
{
    Conclude();
    WriteFiles(false);
}

void RunRecorder::WriteWhileWatching()
{
    Conclude();
    WriteFiles(true);
}

void RunRecorder::WriteFiles(bool replaceWhole)
{
    // Either file may fail like any other; that costs its trace line and nothing else.
    const std::string record = MakeRunRecordJson(mRun);
    const std::wstring recordPath = gOutputDirectory + L"\\" + kRunRecordFileName;
    const std::wstring pagePath = gOutputDirectory + L"\\" + kRunPageFileName;
    const std::string page = MakeRunPage(record, MakeNonce());
    for (const auto& [path, content] : {std::make_pair(&recordPath, &record), std::make_pair(&pagePath, &page)}) {
        const std::wstring target = replaceWhole ? *path + L".tmp" : *path;
        const HRESULT result = WriteRunFile(target, *content);
        if (FAILED(result)) {
            MORVANE_TRACE_W(kRunRecorderFinish, L"WriteToFile$Static(%ls) return:0x%x.", target.c_str(),
                            static_cast<unsigned>(result));
        } else if (replaceWhole && !::MoveFileExW(target.c_str(), path->c_str(), MOVEFILE_REPLACE_EXISTING)) {
            (void)MORVANE_FAIL_LAST_ERROR(kRunRecorderFinish, TalvexBasic::LastErrorRule::Standard,
                                          "MoveFileExW error:%u.");
        }
    }
}

} // namespace Morvane
