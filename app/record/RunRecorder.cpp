#include "record/RunRecorder.h"

#include "MorvaneTrace.h"
#include "capture/WindowAppearance.h"
#include "record/CoveredShare.h"
#include "record/MonitorsSeen.h"
#include "record/RunHistory.h"
#include "record/RunPage.h"
#include "record/RunRecord.h"
#include "capture/OutputFileNames.h"
#include "system/File.h"
#include "system/HResult.h"
#include "system/SecureRandom.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace Morvane {
namespace {

using TalvexBasic::PointerBits;

constexpr const char* kRunRecorderFinish = "Morvane::RunRecorder::Finish";

// The facts every entry copies from the sample.
RunWindow EntryOf(HWND window, const WindowInfo& facts)
{
    RunWindow entry;
    entry.handle = PointerBits(window);
    entry.processId = facts.mProcessId;
    entry.threadId = facts.mThreadId;
    entry.caption = facts.mCaption;
    entry.className = facts.mClassName;
    entry.imagePath = facts.mProcessDosPath;
    entry.style = facts.mStyle;
    entry.exStyle = facts.mExtendedStyle;
    entry.rect = facts.mWindowRectangle;
    entry.frame = facts.mWindowRectangle;
    entry.zone = facts.mZonePosition;
    entry.monitor = PointerBits(facts.mDisplayMonitorHandle);
    return entry;
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

std::vector<RunMonitor> ListMonitors()
{
    std::vector<RunMonitor> monitors;
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

// 32 hexadecimal digits for the page's script nonce.
std::string MakeNonce()
{
    std::string nonce;
    for (int part = 0; part < 4; ++part) {
        const unsigned random =
            TalvexBasic::SecureRandomOr(::GetTickCount() * 2654435761u + static_cast<unsigned>(part));
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

void RunRecorder::Start(const RunClock& clock)
{
    const LocalInstant now = clock.Now();
    mRun.startedAt = FormatLocalTime(now.time, now.offsetMinutes);
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (::GetComputerNameW(name, &length)) {
        mRun.computerName.assign(name, length);
    }
}

RunWindow RunRecorder::AddSkipped(const WindowSample& sample)
{
    RunWindow entry = EntryOf(sample.window, sample.facts);
    entry.skipReason = sample.skipReason;
    // A skipped window that shows may still cover the windows below it, with its visible frame.
    if ((entry.style & WS_VISIBLE) != 0) {
        entry.frame = ReadWindowFrame(sample.window, entry.rect);
    }
    return Add(std::move(entry));
}

RunWindow RunRecorder::AddSaved(const WindowInfo& record, const WindowShotOutcome& outcome)
{
    RunWindow entry = EntryOf(record.mWindowHandle, record);
    entry.folder = outcome.folder;
    entry.shot = outcome;
    if (outcome.hasFrame) {
        entry.frame = outcome.frame;
    }
    entry.hasProcess = true;
    {
        const TalvexBasic::CriticalSectionLock lock(mLock);
        entry.processStartedAt =
            mProcesses.Note(record.mProcessId, record.mProcessCreationTime, record.mProcessDosPath);
    }
    return Add(std::move(entry));
}

void RunRecorder::NoteCoveringWindows(RunWindow& entry) const
{
    std::vector<RECT> covering;
    for (const RunWindow& above : mRun.windows) {
        const bool shown = (above.style & WS_VISIBLE) != 0 && !above.shot.appearance.minimised &&
                           !above.shot.appearance.cloaked;
        RECT overlap{};
        if (shown && ::IntersectRect(&overlap, &above.frame, &entry.frame)) {
            entry.coveredBy.push_back(above.handle);
            covering.push_back(above.frame);
        }
    }
    entry.coveredShare = CoveredShare(entry.frame, covering);
}

RunWindow RunRecorder::Add(RunWindow entry)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    // The enumeration goes from the top down: the entries so far lie above this one. A window that
    // appeared while watching comes with the windows above it when it was taken.
    if (entry.shot.windowsAboveKnown) {
        std::vector<RECT> covering;
        for (const WindowAbove& above : entry.shot.windowsAbove) {
            entry.coveredBy.push_back(above.handle);
            covering.push_back(above.rect);
        }
        entry.coveredShare = CoveredShare(entry.frame, covering);
    } else if (entry.skipReason == SkipReason::None && entry.shot.pictureSource == PictureSource::Screen) {
        NoteCoveringWindows(entry);
    }
    mRun.windows.push_back(entry);
    return entry;
}

RunWindow RunRecorder::AddMissed(HWND window, DWORD processId, DWORD threadId, std::wstring className,
                                 std::wstring caption, std::wstring imagePath)
{
    RunWindow entry;
    entry.handle = PointerBits(window);
    entry.processId = processId;
    entry.threadId = threadId;
    entry.className = std::move(className);
    entry.caption = std::move(caption);
    entry.imagePath = std::move(imagePath);
    entry.skipReason = SkipReason::Invisible;
    entry.watch.missed = true;
    return Add(std::move(entry));
}

bool RunRecorder::UpdateLatestOf(HWND window, const std::function<void(RunWindow&)>& change)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    const std::uint64_t handle = PointerBits(window);
    for (auto entry = mRun.windows.rbegin(); entry != mRun.windows.rend(); ++entry) {
        if (entry->handle == handle) {
            change(*entry);
            return true;
        }
    }
    return false;
}

bool RunRecorder::LatestOf(HWND window, RunWindow& entry)
{
    return UpdateLatestOf(window, [&](RunWindow& latest) { entry = latest; });
}

unsigned RunRecorder::SavedCountOf(HWND window)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    const std::uint64_t handle = PointerBits(window);
    return static_cast<unsigned>(std::count_if(mRun.windows.begin(), mRun.windows.end(), [&](const RunWindow& entry) {
        return entry.handle == handle && !entry.folder.empty();
    }));
}

void RunRecorder::SetWatch(const WatchSummary& watch)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    mRun.watch = watch;
}

void RunRecorder::Conclude(const std::wstring& outputDirectory, const RunClock& clock, bool last)
{
    mRun.outputDirectory = outputDirectory;
    const LocalInstant now = clock.Now();
    const std::string nowText = FormatLocalTime(now.time, now.offsetMinutes);
    // A change of the displays that the watch did not hear is noted here, at the latest.
    KeepMonitorsSeen(mRun.monitors, ListMonitors(), mRun.monitors.empty() ? std::string() : nowText);

    // A watch writes many times; the earlier runs are read once.
    if (!mPreviousSearched) {
        mPreviousSearched = true;
        mHasPrevious = FindPreviousRun(outputDirectory, mPrevious);
    }
    if (mHasPrevious) {
        mRun.previousRun = mPrevious.folderName;
        mRun.gone = CompareWithEarlierRun(mRun.windows, mPrevious.savedWindows);
    }
    // The signature checks ran meanwhile; at the end, what has not finished by then is recorded
    // as such, while a watch runs they go on.
    mRun.processes = last ? mProcesses.Finish() : mProcesses.Snapshot();
    mRun.endedAt = nowText;
}

void RunRecorder::NoteMonitors(const std::string& since)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    KeepMonitorsSeen(mRun.monitors, ListMonitors(), mRun.monitors.empty() ? std::string() : since);
}

std::size_t RunRecorder::MonitorCount()
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    return mRun.monitors.size();
}

void RunRecorder::Finish(const std::wstring& outputDirectory, const RunClock& clock)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    Conclude(outputDirectory, clock, true);
    WriteFiles(outputDirectory, false);
}

void RunRecorder::WriteWhileWatching(const std::wstring& outputDirectory, const RunClock& clock)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    Conclude(outputDirectory, clock, false);
    WriteFiles(outputDirectory, true);
}

void RunRecorder::WriteFiles(const std::wstring& outputDirectory, bool replaceWhole)
{
    // Either file may fail like any other; that costs its trace line and nothing else.
    const std::string record = MakeRunRecordJson(mRun);
    const std::string page = MakeRunPage(record, MakeNonce());
    const std::wstring recordPath = outputDirectory + L"\\" + kRunRecordFileName;
    const std::wstring pagePath = outputDirectory + L"\\" + kRunPageFileName;
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
