#include "watch/WatchRun.h"

#include "MorvaneTrace.h"
#include "RunContext.h"
#include "RunDriver.h"
#include "RunState.h"
#include "WatchClock.h"
#include "basic/StringFormat.h"
#include "capture/OutputFileNames.h"
#include "capture/PictureBudget.h"
#include "capture/WindowInfo.h"
#include "capture/WindowReport.h"
#include "capture/WindowSample.h"
#include "capture/WindowShot.h"
#include "capture/WindowText.h"
#include "events/RunEventLog.h"
#include "record/RunRecord.h"
#include "system/HResult.h"
#include "watch/TrayIcon.h"
#include "watch/WatchSignals.h"
#include "watch/WindowWatcher.h"

#include <algorithm>
#include <deque>
#include <map>

namespace Morvane {
namespace {

constexpr const char* kRunWatch = "Morvane::RunWatch";
constexpr wchar_t kCaption[] = L"Morvane";

// A window's content reaches the screen a few milliseconds after it shows.
constexpr long long kSettle = 5'000;
// What the end of a watch spends on monitor pictures still to take.
constexpr long long kEndingMonitorPictures = 300'000;

HWND AsWindow(std::uint64_t bits) noexcept
{
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(bits));
}

const char* CaughtByText(CaughtBy caughtBy) noexcept
{
    return caughtBy == CaughtBy::Scan ? "scan" : caughtBy == CaughtBy::Event ? "event" : "start";
}

// A window whose window picture is written and whose monitor picture is still to take.
struct MonitorStep {
    WindowInfo record;
    JustShownShot shot;
    WindowShotOutcome outcome; // its folder is the entry's
};

// Times of the watch's clock as local time: the clock and the system time read together once.
class WatchTimes {
public:
    explicit WatchTimes(const RunClock& clock) : mClock(clock), mOrigin(WatchMicroseconds())
    {
        FILETIME now{};
        ::GetSystemTimeAsFileTime(&now);
        mOriginTime = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    }

    [[nodiscard]] long long Origin() const noexcept { return mOrigin; }

    [[nodiscard]] std::string LocalTimeOf(long long clock) const
    {
        const unsigned long long instant = mOriginTime + static_cast<unsigned long long>((clock - mOrigin) * 10);
        FILETIME time{};
        time.dwLowDateTime = static_cast<DWORD>(instant);
        time.dwHighDateTime = static_cast<DWORD>(instant >> 32);
        const LocalInstant local = mClock.At(time);
        return FormatLocalTime(local.time, local.offsetMinutes);
    }

private:
    const RunClock& mClock;
    long long mOrigin;
    unsigned long long mOriginTime = 0;
};

// The watch after its start: windows that appear are saved, one after another, on this thread;
// the watcher's thread only finds them.
class Watch {
public:
    Watch(RunContext& context, const WatchSignals& signals, unsigned long long watchSeconds, RunEventLog& events)
        : mContext(context), mRecorder(context.recorder), mSignals(signals), mWatchSeconds(watchSeconds),
          mTimes(context.clock), mEvents(events)
    {
    }

    [[nodiscard]] bool Begin()
    {
        if (!mWatcher.Start()) {
            return false;
        }
        mSummary.watched = true;
        mSummary.since = mTimes.LocalTimeOf(WatchMicroseconds());
        mSummary.forSeconds = static_cast<long long>(mWatchSeconds);
        mSummary.running = true;
        return true;
    }

    void Run()
    {
        const long long deadline =
            mWatchSeconds == 0 ? -1 : mTimes.Origin() + static_cast<long long>(mWatchSeconds) * 1'000'000;
        TrayIcon tray(mContext.outputDirectory + L"\\" + kRunPageFileName);
        tray.Show();
        mTray = &tray;
        MORVANE_TRACE(kRunWatch, "Watching begins.");
        // Each window goes into the run's journal as it is saved; the record and page are made
        // from it at the end, or when the icon's menu opens the page.
        NoteBudget();
        mRecorder.BeginJournal(mContext.outputDirectory, mContext.clock, mSummary);

        for (;;) {
            TakeNews();
            const long long now = WatchMicroseconds();
            const char* stopsBecause = tray.StopAsked()                    ? "the menu or the session's end"
                                       : deadline >= 0 && now >= deadline ? "its time is up"
                                       : ::WaitForSingleObject(mSignals.StopEvent(), 0) == WAIT_OBJECT_0
                                           ? "--stop"
                                           : nullptr;
            if (stopsBecause != nullptr) {
                MORVANE_TRACE(kRunWatch, "Watching stops: %s; %u windows wait.", stopsBecause,
                              static_cast<unsigned>(mWaiting.size()));
                tray.RemoveIcon();
                break;
            }
            // Window pictures first: a window may be gone again soon; monitor pictures after.
            if (!mWaiting.empty() && now >= mWaiting.front().appearance.seenAt + kSettle) {
                SaveAppeared(mWaiting.front());
                mWaiting.pop_front();
                continue;
            }
            if (!mMonitorSteps.empty()) {
                SaveMonitorPicture(mMonitorSteps.front());
                mMonitorSteps.pop_front();
                continue;
            }
            long long wait = 250'000;
            if (!mWaiting.empty()) {
                wait = std::min(wait, mWaiting.front().appearance.seenAt + kSettle - now);
            }
            if (deadline >= 0) {
                wait = std::min(wait, deadline - now);
            }
            const HANDLE waits[] = {mSignals.StopEvent(), mWatcher.NewsEvent(), tray.StopEvent()};
            ::MsgWaitForMultipleObjectsEx(3, waits, static_cast<DWORD>(std::max(0LL, (wait + 999) / 1000)),
                                          QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            MSG message{};
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
            TakeNews();
        }

        mWatcher.Stop();
        TakeNews();
        // The watch ends within a second of the stop whatever the backlog: monitor pictures get a
        // short while, those left are not taken, and windows still queued are not captured.
        // At the session's end the record comes first: the process may be ended at any moment.
        const long long monitorsUntil = WatchMicroseconds() + (tray.SessionEnding() ? 0 : kEndingMonitorPictures);
        while (!mMonitorSteps.empty() && WatchMicroseconds() < monitorsUntil) {
            SaveMonitorPicture(mMonitorSteps.front());
            mMonitorSteps.pop_front();
        }
        if (!mMonitorSteps.empty()) {
            MORVANE_TRACE(kRunWatch, "Watching ends before %u monitor pictures were taken.",
                          static_cast<unsigned>(mMonitorSteps.size()));
            mMonitorSteps.clear();
        }
        // Windows seen but not yet saved when the watch ends keep their entries, as missed.
        for (const SeenWindow& seen : mWaiting) {
            AddMissed(seen);
        }
        mWaiting.clear();
        MORVANE_TRACE(kRunWatch, "Watching ends: %u windows caught, %u missed.", mCaught, mMissed);
        mTray = nullptr;
        WriteLast();
        tray.LastRecordWritten();
        MORVANE_TRACE(kRunWatch, "The last record and page are written.");
    }

private:
    void TakeNews()
    {
        WatchNews news = mWatcher.TakeNews();
        if (!news.displayChanges.empty()) {
            // Windows saved from now on refer to the monitors as they are now.
            mRecorder.NoteMonitors(mTimes.LocalTimeOf(news.displayChanges.front()));
            MORVANE_TRACE(kRunWatch, "The displays changed: %u monitors seen so far.",
                          static_cast<unsigned>(mRecorder.MonitorCount()));
        }
        for (SeenWindow& seen : news.appeared) {
            mWaiting.push_back(std::move(seen));
        }
        for (const Disappearance& gone : news.vanished) {
            const bool waiting = std::any_of(mWaiting.begin(), mWaiting.end(), [&](const SeenWindow& seen) {
                return seen.appearance.window == gone.window;
            });
            if (waiting) {
                mGoneBeforeSaved[gone.window] = gone.goneAt;
                continue;
            }
            bool marked = false;
            (void)mRecorder.UpdateLatestOf(AsWindow(gone.window), [&](RunWindow& entry) {
                if (entry.watch.goneAt.empty()) {
                    MarkGone(entry, gone.goneAt);
                    marked = true;
                }
            });
            if (marked) {
                mRecorder.JournalGoneOf(AsWindow(gone.window));
            }
        }
    }

    void MarkGone(RunWindow& entry, long long goneAt)
    {
        const long long shownSince = entry.watch.appearedAtClock != 0 ? entry.watch.appearedAtClock : mTimes.Origin();
        entry.watch.goneAt = mTimes.LocalTimeOf(goneAt);
        entry.watch.shownForMs = std::max(0LL, (goneAt - shownSince) / 1000);
    }

    void Describe(RunWindow& entry, const SeenWindow& seen)
    {
        entry.watch.caughtBy = seen.appearance.caughtBy;
        entry.watch.appearedAtClock = seen.appearance.seenAt;
        entry.watch.appearedAt = mTimes.LocalTimeOf(seen.appearance.seenAt);
        const auto gone = mGoneBeforeSaved.find(seen.appearance.window);
        if (gone != mGoneBeforeSaved.end()) {
            MarkGone(entry, gone->second);
            mGoneBeforeSaved.erase(gone);
        }
    }

    void AddMissed(const SeenWindow& seen)
    {
        const HWND window = AsWindow(seen.appearance.window);
        (void)mRecorder.AddMissed(window, seen.processId, seen.threadId, seen.className, seen.caption,
                                  ReadImagePathOf(seen.processId));
        (void)mRecorder.UpdateLatestOf(window, [&](RunWindow& entry) { Describe(entry, seen); });
        mRecorder.JournalLatestOf(window);
        ++mMissed;
    }

    void SaveAppeared(const SeenWindow& seen)
    {
        const HWND window = AsWindow(seen.appearance.window);
        MORVANE_TRACE(kRunWatch, "Window 0x%016llX appeared (%s), showing %u.",
                      static_cast<unsigned long long>(seen.appearance.window),
                      CaughtByText(seen.appearance.caughtBy), seen.appearance.showing);
        if (!::IsWindow(window) || !::IsWindowVisible(window)) {
            MORVANE_TRACE(kRunWatch, "Window 0x%016llX vanished before it was saved.",
                          static_cast<unsigned long long>(seen.appearance.window));
            if (mGoneBeforeSaved.count(seen.appearance.window) == 0) {
                mGoneBeforeSaved[seen.appearance.window] = WatchMicroseconds();
            }
            AddMissed(seen);
            return;
        }
        // Shown during the walk over the windows present at the start, and saved by it.
        RunWindow earlier;
        if (seen.appearance.showing == 1 && mRecorder.LatestOf(window, earlier) &&
            earlier.watch.caughtBy == CaughtBy::Start && !earlier.folder.empty()) {
            return;
        }
        WindowSample sample = SampleWindow(window);
        if (!sample.Saved()) {
            (void)mRecorder.AddSkipped(sample);
            (void)mRecorder.UpdateLatestOf(window, [&](RunWindow& entry) { Describe(entry, seen); });
            mRecorder.JournalLatestOf(window);
            return;
        }
        WindowInfo& record = sample.facts;
        // Read without a message to the window, so that a hung one costs nothing here.
        record.mCaption = ReadWholeWindowText(window);
        record.mClassName = seen.className;
        Log(record);

        // A window saved again gets its next folder: "-2", "-3", ...
        JustShownShot shot;
        const unsigned savedBefore = mRecorder.SavedCountOf(window);
        if (savedBefore > 0) {
            shot.folderSuffix = Basic::Text::Format(L"-%u", savedBefore + 1);
        }
        MonitorStep step{record, shot, {}};
        (void)SaveJustShownWindowPicture(mContext, record, shot, step.outcome);
        (void)mRecorder.AddSaved(record, step.outcome);
        (void)mRecorder.UpdateLatestOf(window, [&](RunWindow& entry) {
            Describe(entry, seen);
            if (step.outcome.windowWrittenAt != 0) {
                entry.watch.savedAfterMs =
                    std::max(0LL, (step.outcome.windowWrittenAt - seen.appearance.seenAt) / 1000);
            }
            if (step.outcome.droppedBecause != nullptr) {
                entry.watch.pictureDropped = step.outcome.droppedBecause;
            }
        });
        mRecorder.JournalLatestOf(window);
        RunWindow caught;
        if (mRecorder.LatestOf(window, caught)) {
            mEvents.WindowCaught(CaughtWindowOf(caught, mContext.outputDirectory));
        }
        NoteBudget();
        // A menu or tooltip takes no monitor picture: nothing to queue behind the others.
        if (TakesMonitorPicture(record)) {
            mMonitorSteps.push_back(std::move(step));
        } else {
            SaveMonitorPicture(step);
        }
        ++mCaught;
        if (mTray != nullptr) {
            mTray->SetCaughtCount(mCaught);
        }
    }

    void SaveMonitorPicture(MonitorStep& step)
    {
        (void)SaveJustShownMonitorPicture(mContext, step.record, step.shot, step.outcome);
        mRecorder.NoteMonitorPicture(step.record.mWindowHandle, step.outcome);
        NoteBudget();
    }

    // The budget as the record will tell it; a stop goes into the journal once, when it happens,
    // and the count of bytes with the last line.
    void NoteBudget(bool last = false)
    {
        PictureBudget& budget = *mContext.pictureBudget;
        budget.CountRewritten(mContext.outputDirectory + L"\\" + kRunJournalFileName, std::wstring());
        const char* const stopped = PictureStopName(budget.Stop());
        const bool changed = stopped != mSummary.picturesStopped;
        mSummary.maxRunBytes = budget.MaxRunBytes();
        mSummary.bytesWritten = budget.BytesWritten();
        mSummary.picturesStoppedAt = budget.StoppedAt();
        mSummary.picturesStopped = stopped;
        if (changed || last) {
            mRecorder.SetWatch(mSummary);
        }
    }

    // The record and page as the watch leaves them; once only, also when the session ends.
    void WriteLast()
    {
        if (mWrittenLast) {
            return;
        }
        mWrittenLast = true;
        mSummary.running = false;
        NoteBudget(true);
        mRecorder.FinishJournal(mContext.outputDirectory, mContext.clock);
    }

    RunContext& mContext;
    RunRecorder& mRecorder;
    const WatchSignals& mSignals;
    unsigned long long mWatchSeconds;
    WatchTimes mTimes;
    RunEventLog& mEvents;
    WindowWatcher mWatcher;
    WatchSummary mSummary;
    TrayIcon* mTray = nullptr;
    std::deque<SeenWindow> mWaiting;
    std::deque<MonitorStep> mMonitorSteps;
    std::map<std::uint64_t, long long> mGoneBeforeSaved;
    bool mWrittenLast = false;
    unsigned mCaught = 0;
    unsigned mMissed = 0;
};

} // namespace

int RunWatch(unsigned long long watchSeconds, unsigned long long maxRunBytes)
{
    // Claimed before anything is written: a second watch writes nothing.
    WatchSignals signals;
    const WatchSignals::Claim claim = signals.ClaimWatch();
    if (claim == WatchSignals::Claim::Refused) {
        ::MessageBoxW(nullptr, kWatchRefusedWatchText, kCaption, MB_OK | MB_ICONWARNING);
        return kWatchRefusedExitCode;
    }
    if (claim != WatchSignals::Claim::Claimed) {
        const std::wstring text =
            claim == WatchSignals::Claim::AlreadyRunning
                ? L"A watch is running already; it saves into \r\n\"" + signals.RunningFolder() + L"\"."
                : std::wstring(L"The watch could not start.");
        if (claim != WatchSignals::Claim::AlreadyRunning) {
            RunEventLog().End(MakeRunFailedEvent(RunMode::Watch, {}, text));
        }
        ::MessageBoxW(nullptr, text.c_str(), kCaption, MB_OK | MB_ICONWARNING);
        return 1;
    }

    RunContext context;
    context.recorder.Start(context.clock);
    const bool hasOutputDirectory = Initialize();
    context.outputDirectory = gOutputDirectory;
    RunEventLog events;
    if (!hasOutputDirectory) {
        events.End(MakeRunFailedEvent(RunMode::Watch, gOutputDirectory, kNoOutputFolderError));
        const std::wstring text = MakeFailureText(gOutputDirectory);
        ::MessageBoxW(nullptr, text.c_str(), kCaption, MB_OK | MB_ICONERROR);
        Finalize();
        return 1;
    }
    events.RunStarted(RunMode::Watch, gOutputDirectory);
    signals.PublishFolder(gOutputDirectory);
    PictureBudget budget(gOutputDirectory, maxRunBytes, context.clock);
    context.pictureBudget = &budget;

    {
        // The watcher knows the windows visible before the walk, so that a window shown during
        // the walk is caught as well.
        Watch watch(context, signals, watchSeconds, events);
        const bool watching = watch.Begin();
        SaveWindowsPresentNow(context);
        if (watching) {
            watch.Run();
        } else {
            events.Post(MakeRunFailedEvent(RunMode::Watch, gOutputDirectory,
                                           L"The watch for windows that appear could not start; the windows present "
                                           L"at its start are saved."));
            context.recorder.Finish(context.outputDirectory, context.clock);
        }
    }
    events.End(MakeRunEndedEvent(context.recorder.Tally(), gOutputDirectory));

    const std::wstring text = MakeCompletionText(gOutputDirectory);
    ::MessageBoxW(nullptr, text.c_str(), kCaption, MB_OK);
    Finalize();
    return 0;
}

} // namespace Morvane
