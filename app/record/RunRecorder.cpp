#include "record/RunRecorder.h"

#include "MorvaneTrace.h"
#include "capture/WindowAppearance.h"
#include "record/CoveredShare.h"
#include "record/MonitorsSeen.h"
#include "record/RunHistory.h"
#include "record/RunFiles.h"
#include "record/RunRecord.h"
#include "record/RunRecordMembers.h"

#include <algorithm>
#include <vector>

namespace Morvane {
namespace {

constexpr const char* kFinishJournal = "Morvane::RunRecorder::FinishJournal";

using TalvexBasic::PointerBits;

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
    mTally.CountEntry(entry);
    if (mJournal.IsOpen()) {
        if (!entry.folder.empty()) {
            mSavedCounts.NoteFolder(entry.handle);
        }
        mLatest[entry.handle] = entry;
    } else {
        mRun.windows.push_back(entry);
    }
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

RunWindow* RunRecorder::LatestEntry(std::uint64_t handle)
{
    if (mJournal.IsOpen()) {
        const auto found = mLatest.find(handle);
        return found == mLatest.end() ? nullptr : &found->second;
    }
    for (auto entry = mRun.windows.rbegin(); entry != mRun.windows.rend(); ++entry) {
        if (entry->handle == handle) {
            return &*entry;
        }
    }
    return nullptr;
}

bool RunRecorder::UpdateLatestOf(HWND window, const std::function<void(RunWindow&)>& change)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    RunWindow* const entry = LatestEntry(PointerBits(window));
    if (entry == nullptr) {
        return false;
    }
    change(*entry);
    return true;
}

bool RunRecorder::LatestOf(HWND window, RunWindow& entry)
{
    return UpdateLatestOf(window, [&](RunWindow& latest) { entry = latest; });
}

unsigned RunRecorder::SavedCountOf(HWND window)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    const std::uint64_t handle = PointerBits(window);
    if (mJournal.IsOpen()) {
        return mSavedCounts.Of(handle);
    }
    return static_cast<unsigned>(std::count_if(mRun.windows.begin(), mRun.windows.end(), [&](const RunWindow& entry) {
        return entry.handle == handle && !entry.folder.empty();
    }));
}

void RunRecorder::SetWatch(const WatchSummary& watch)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    mRun.watch = watch;
    if (mJournal.IsOpen()) {
        mJournal.Append(JournalWatchLine(Now(), watch));
    }
}

void RunRecorder::FindPrevious(const std::wstring& outputDirectory)
{
    // A watch writes many times; the earlier runs are read once.
    if (!mPreviousSearched) {
        mPreviousSearched = true;
        mHasPrevious = FindPreviousRun(outputDirectory, mPrevious);
        if (mHasPrevious) {
            mRun.previousRun = mPrevious.folderName;
        }
    }
}

void RunRecorder::Conclude(const std::wstring& outputDirectory, const RunClock& clock, bool last)
{
    mRun.outputDirectory = outputDirectory;
    const LocalInstant now = clock.Now();
    const std::string nowText = FormatLocalTime(now.time, now.offsetMinutes);
    // A change of the displays that the watch did not hear is noted here, at the latest.
    KeepMonitorsSeen(mRun.monitors, ListMonitors(), mRun.monitors.empty() ? std::string() : nowText);

    FindPrevious(outputDirectory);
    if (mHasPrevious) {
        mRun.gone = CompareWithEarlierRun(mRun.windows, mPrevious.savedWindows);
    }
    // The signature checks ran meanwhile; at the end, what has not finished by then is recorded
    // as such, while a watch runs they go on.
    mRun.processes = last ? mProcesses.Finish() : mProcesses.Snapshot();
    mRun.endedAt = nowText;
}

std::string RunRecorder::Now() const
{
    const LocalInstant now = mClock->Now();
    return FormatLocalTime(now.time, now.offsetMinutes);
}

void RunRecorder::ListMonitorsNow(const std::string& since)
{
    const size_t before = mRun.monitors.size();
    KeepMonitorsSeen(mRun.monitors, ListMonitors(), mRun.monitors.empty() ? std::string() : since);
    if (mJournal.IsOpen() && mRun.monitors.size() != before) {
        mJournal.Append(JournalMonitorsLine(Now(), mRun.monitors));
    }
}

void RunRecorder::NoteMonitors(const std::string& since)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    ListMonitorsNow(since);
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
    WriteRecordAndPage(outputDirectory, MakeRunRecordJson(mRun));
}

void RunRecorder::JournalNewProcesses()
{
    if (mProcesses.Count() == mProcessesJournaled) {
        return;
    }
    const std::vector<RunProcess> known = mProcesses.Snapshot();
    const std::string at = Now();
    for (; mProcessesJournaled < known.size(); ++mProcessesJournaled) {
        mJournal.Append(JournalProcessLine(at, known[mProcessesJournaled]));
    }
}

void RunRecorder::BeginJournal(const std::wstring& outputDirectory, const RunClock& clock, const WatchSummary& watch)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    mRun.watch = watch;
    mRun.outputDirectory = outputDirectory;
    FindPrevious(outputDirectory);
    if (!mJournal.Open(outputDirectory)) {
        return;
    }
    mClock = &clock;
    const std::string at = Now();
    mJournal.Append(JournalStartLine(at, mRun));
    KeepMonitorsSeen(mRun.monitors, ListMonitors(), mRun.monitors.empty() ? std::string() : at);
    mJournal.Append(JournalMonitorsLine(at, mRun.monitors));
    for (const RunWindow& entry : mRun.windows) {
        mJournal.Append(JournalWindowLine(at, entry));
        if (!entry.folder.empty()) {
            mSavedCounts.NoteFolder(entry.handle);
        }
        mLatest[entry.handle] = entry;
    }
    // The list of all entries is the journal's from now on.
    std::vector<RunWindow>().swap(mRun.windows);
    JournalNewProcesses();
}

bool RunRecorder::WindowExists(std::uint64_t handle) noexcept
{
    return ::IsWindow(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle))) != FALSE;
}

void RunRecorder::ForgetIfSettled(std::uint64_t handle)
{
    const auto found = mLatest.find(handle);
    if (found != mLatest.end() && !found->second.watch.goneAt.empty() &&
        (found->second.folder.empty() || found->second.shot.monitor != E_PENDING)) {
        mLatest.erase(found);
    }
}

void RunRecorder::JournalLatestOf(HWND window)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    const std::uint64_t handle = PointerBits(window);
    const RunWindow* const entry = LatestEntry(handle);
    if (mJournal.IsOpen() && entry != nullptr) {
        JournalNewProcesses();
        mJournal.Append(JournalWindowLine(Now(), *entry));
        ForgetIfSettled(handle);
    }
}

void RunRecorder::NoteMonitorPicture(HWND window, const WindowShotOutcome& outcome)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    const std::uint64_t handle = PointerBits(window);
    mTally.CountMonitorPicture(outcome);
    RunWindow* const entry = LatestEntry(handle);
    RunWindow update;
    if (entry != nullptr && entry->folder == outcome.folder) {
        entry->shot.monitor = outcome.monitor;
        entry->shot.monitorSkipped = outcome.monitorSkipped;
        if (entry->shot.picturesStopped == nullptr) {
            entry->shot.picturesStopped = outcome.picturesStopped;
        }
        if (entry->watch.pictureDropped.empty() && outcome.droppedBecause != nullptr) {
            entry->watch.pictureDropped = outcome.droppedBecause;
        }
        update = *entry;
    } else {
        // The window was saved again meanwhile: the update names the earlier entry by its folder.
        update.handle = handle;
        update.folder = outcome.folder;
        update.shot = outcome;
        update.watch.pictureDropped = outcome.droppedBecause != nullptr ? outcome.droppedBecause : "";
    }
    if (mJournal.IsOpen()) {
        mJournal.Append(JournalMonitorPictureLine(Now(), update));
        ForgetIfSettled(handle);
    }
}

void RunRecorder::JournalGoneOf(HWND window)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    const std::uint64_t handle = PointerBits(window);
    const RunWindow* const entry = LatestEntry(handle);
    if (mJournal.IsOpen() && entry != nullptr) {
        mJournal.Append(JournalGoneLine(Now(), *entry));
        ForgetIfSettled(handle);
    }
}

RunTally RunRecorder::Tally()
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    return mTally;
}

void RunRecorder::FinishJournal(const std::wstring& outputDirectory, const RunClock& clock)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    if (!mJournal.IsOpen()) {
        mRun.watch.running = false;
        Conclude(outputDirectory, clock, true);
        WriteRecordAndPage(outputDirectory, MakeRunRecordJson(mRun), L".tmp");
        return;
    }
    // The signature checks' verdicts, as far as they came.
    const std::string at = Now();
    for (const RunProcess& process : mProcesses.Finish()) {
        mJournal.Append(JournalProcessLine(at, process));
    }
    ListMonitorsNow(at);
    mJournal.Append(JournalEndLine(Now(), RecordMember::kEndedStopped));
    mJournal.Close();
    // With the time of the line, the log tells how the end's time divides.
    MORVANE_TRACE(kFinishJournal, "The journal has its end line; the record and page are made from it.");
    WriteRunFilesFromJournal(outputDirectory, false, at, L".tmp", mHasPrevious ? &mPrevious : nullptr);
}

} // namespace Morvane
