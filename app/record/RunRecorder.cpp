#include "record/RunRecorder.h"

#include "MorvaneTrace.h"
#include "capture/WindowAppearance.h"
#include "record/CoveredShare.h"
#include "record/RunHistory.h"
#include "record/RunPage.h"
#include "record/RunRecord.h"
#include "RunState.h"
#include "capture/WindowShotFolder.h"
#include "system/File.h"
#include "system/HResult.h"
#include "system/UniqueResource.h"

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
            {PointerBits(monitor), info.rcMonitor, info.rcWork, info.dwFlags, info.szDevice, ReadMonitorDpi(monitor)});
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

void RunRecorder::AddSkipped(HWND window, HRESULT sampleResult, const WindowInfo& record)
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
}

void RunRecorder::AddSaved(const WindowInfo& record, const WindowShotOutcome& outcome)
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
    if (outcome.pictureSource == PictureSource::Screen) {
        NoteCoveringWindows(entry);
    }
    mRun.windows.push_back(std::move(entry));
}

void RunRecorder::NoteCoveringWindows(RunWindow& entry) const
{
    std::vector<RECT> covering;
    for (const RunWindow& above : mRun.windows) {
        const bool shown = (above.style & WS_VISIBLE) != 0 && !above.shot.appearance.minimised &&
                           !above.shot.appearance.cloaked;
        RECT overlap{};
        if (shown && ::IntersectRect(&overlap, &above.rect, &entry.rect)) {
            entry.coveredBy.push_back(above.handle);
            covering.push_back(above.rect);
        }
    }
    entry.coveredShare = CoveredShare(entry.rect, covering);
}

void RunRecorder::Finish()
{
    mRun.outputDirectory = gOutputDirectory;
    mRun.monitors.clear();
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&mRun.monitors));

    EarlierRun previous;
    if (FindPreviousRun(gOutputDirectory, previous)) {
        mRun.previousRun = previous.folderName;
        mRun.gone = CompareWithEarlierRun(mRun.windows, previous.savedWindows);
    }
    mRun.endedAt = LocalTimeNow();

    // Either file may fail like any other; that costs its trace line and nothing else.
    const std::string record = MakeRunRecordJson(mRun);
    const std::wstring recordPath = gOutputDirectory + L"\\" + kRunRecordFileName;
    const HRESULT recordResult = WriteRunFile(recordPath, record);
    if (FAILED(recordResult)) {
        MORVANE_TRACE_W(kRunRecorderFinish, L"WriteToFile$Static(%ls) return:0x%x.", recordPath.c_str(),
                        static_cast<unsigned>(recordResult));
    }
    const std::wstring pagePath = gOutputDirectory + L"\\" + kRunPageFileName;
    const HRESULT pageResult = WriteRunFile(pagePath, MakeRunPage(record, MakeNonce()));
    if (FAILED(pageResult)) {
        MORVANE_TRACE_W(kRunRecorderFinish, L"WriteToFile$Static(%ls) return:0x%x.", pagePath.c_str(),
                        static_cast<unsigned>(pageResult));
    }
}

} // namespace Morvane
