#include "watch/WatchRun.h"

#include "MorvaneTrace.h"
#include "OutcomeNotice.h"
#include "RunContext.h"
#include "RunDriver.h"
#include "RunState.h"
#include "WatchClock.h"
#include "basic/StringFormat.h"
#include "capture/EncodeQueue.h"
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
#include "watch/WatchStepRule.h"
#include "watch/WindowWatcher.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>

namespace Morvane {
namespace {

constexpr const char* kRunWatch = "Morvane::RunWatch";

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

// A picture taken on the watch's thread and written by the encode queue's worker; the outcome
// is the worker's until the step is done.
struct WriteStep {
    WindowInfo record;
    JustShownShot shot;
    WindowShotOutcome outcome;
    TakenPicture taken;
};

// A window whose window picture is taken and whose monitor picture is still to take.
struct MonitorStep {
    WindowInfo record;
    JustShownShot shot;
    WindowShotOutcome outcome; // its folder is the entry's
    // The window picture's step, whose results the monitor picture's update repeats.
    std::shared_ptr<const WriteStep> windowStep;
};

// What the recorder is told once every step queued before it is done.
struct Completion {
    std::uint64_t after = 0; // the encode queue's step number
    std::function<void()> finish;
};

void Hold(std::map<std::uint64_t, unsigned>& counts, std::uint64_t handle)
{
    ++counts[handle];
}

void Release(std::map<std::uint64_t, unsigned>& counts, std::uint64_t handle)
{
    const auto found = counts.find(handle);
    if (found != counts.end() && --found->second == 0) {
        counts.erase(found);
    }
}

unsigned CountOf(const std::map<std::uint64_t, unsigned>& counts, std::uint64_t handle)
{
    const auto found = counts.find(handle);
    return found == counts.end() ? 0 : found->second;
}

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

// The watch after its start: windows that appear are taken, one after another, on this thread;
// the watcher's thread only finds them, and the encode queue's worker encodes and writes their
// pictures and text records. The recorder hears of each window in the order it was taken, once
// its files are written, so that the journal names only files that exist.
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
        (void)mEncoder.Start();
        mTray = &tray;
        MORVANE_TRACE(kRunWatch, "Watching begins.");
        // Each window goes into the run's journal as it is saved; the record and page are made
        // from it at the end, or when the icon's menu opens the page.
        NoteBudget();
        mRecorder.BeginJournal(mContext.outputDirectory, mContext.clock, mSummary);

        for (;;) {
            TakeNews();
            FinishWritten();
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
            const WatchStep next =
                ChooseWatchStep(!mWaiting.empty() && now >= mWaiting.front().appearance.seenAt + kSettle,
                                mMonitorSteps.size(), mEncoder.Done() == mEncoder.Queued());
            if (next == WatchStep::SaveWindow) {
                SaveAppeared(mWaiting.front());
                mWaiting.pop_front();
                continue;
            }
            if (next == WatchStep::TakeMonitorPicture) {
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
            const HANDLE waits[] = {mSignals.StopEvent(), mWatcher.NewsEvent(), tray.StopEvent(),
                                    mEncoder.DoneEvent()};
            ::MsgWaitForMultipleObjectsEx(mEncoder.DoneEvent() != nullptr ? 4 : 3, waits,
                                          static_cast<DWORD>(std::max(0LL, (wait + 999) / 1000)), QS_ALLINPUT,
                                          MWMO_INPUTAVAILABLE);
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
        // Pictures taken before the stop are written, then their entries go into the journal.
        mEncoder.Drain();
        FinishWritten();
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
            // A window whose entry waits for its files is marked gone once it has its entry.
            const bool waiting = CountOf(mPendingEntries, gone.window) != 0 ||
                                 std::any_of(mWaiting.begin(), mWaiting.end(), [&](const SeenWindow& seen) {
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

    // The recorder is told once every step queued so far is done.
    void Complete(std::function<void()> finish)
    {
        mCompletions.push_back({mEncoder.Queued(), std::move(finish)});
    }

    // The same for the window's entry, which a window gone meanwhile finds waiting.
    void CompleteEntry(std::uint64_t handle, std::function<void()> finish)
    {
        Hold(mPendingEntries, handle);
        Complete([this, handle, told = std::move(finish)] {
            Release(mPendingEntries, handle);
            told();
        });
    }

    void FinishWritten()
    {
        while (!mCompletions.empty() && mCompletions.front().after <= mEncoder.Done()) {
            const std::function<void()> finish = std::move(mCompletions.front().finish);
            mCompletions.pop_front();
            finish();
        }
    }

    // Hands the picture to the worker, unless those waiting leave no room: then it is left out.
    // A window's step always goes, for its text record.
    void QueueWrite(const std::shared_ptr<WriteStep>& step)
    {
        if (step->taken.bitmap && !mEncoder.Admits(step->taken.Bytes())) {
            LeaveOutTakenPicture(step->taken, step->outcome, EncodeAdmissionName(EncodeAdmission::QueueFull));
        }
        if (step->taken.bitmap || !step->taken.recordPath.empty()) {
            (void)mEncoder.Queue(step->taken.Bytes(),
                                 [this, step] { WriteTakenPicture(mContext, step->taken, step->outcome); });
        }
    }

    void AddMissed(const SeenWindow& seen)
    {
        CompleteEntry(seen.appearance.window, [this, seen, imagePath = ReadImagePathOf(seen.processId)] {
            const HWND window = AsWindow(seen.appearance.window);
            (void)mRecorder.AddMissed(window, seen.processId, seen.threadId, seen.className, seen.caption,
                                      imagePath);
            (void)mRecorder.UpdateLatestOf(window, [&](RunWindow& entry) { Describe(entry, seen); });
            mRecorder.JournalLatestOf(window);
        });
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
            CompleteEntry(seen.appearance.window, [this, seen, sample] {
                const HWND skipped = AsWindow(seen.appearance.window);
                (void)mRecorder.AddSkipped(sample);
                (void)mRecorder.UpdateLatestOf(skipped, [&](RunWindow& entry) { Describe(entry, seen); });
                mRecorder.JournalLatestOf(skipped);
            });
            return;
        }
        WindowInfo& record = sample.facts;
        // Read without a message to the window, so that a hung one costs nothing here.
        record.mCaption = ReadWholeWindowText(window);
        record.mClassName = seen.className;
        Log(record);

        // A window saved again gets its next folder: "-2", "-3", ... (counting the showings whose
        // entries wait for their files).
        JustShownShot shot;
        const unsigned savedBefore =
            mRecorder.SavedCountOf(window) + CountOf(mPendingFolders, seen.appearance.window);
        if (savedBefore > 0) {
            shot.folderSuffix = Basic::Text::Format(L"-%u", savedBefore + 1);
        }
        auto step = std::make_shared<WriteStep>();
        step->record = record;
        step->shot = shot;
        TakeJustShownWindowPicture(mContext, record, shot, step->outcome, step->taken);
        // The monitor picture needs the folder and whether the window had gone, known by now.
        MonitorStep monitorStep{record, shot, step->outcome, step};
        QueueWrite(step);
        Hold(mPendingFolders, seen.appearance.window);
        CompleteEntry(seen.appearance.window, [this, step, seen] { FinishWindow(step, seen); });
        // A menu or tooltip takes no monitor picture: nothing to queue behind the others.
        if (TakesMonitorPicture(record)) {
            mMonitorSteps.push_back(std::move(monitorStep));
        }
        ++mCaught;
        if (mTray != nullptr) {
            mTray->SetCaughtCount(mCaught);
        }
    }

    // The window picture and text record are written (or left out): the entry is complete.
    void FinishWindow(const std::shared_ptr<WriteStep>& done, const SeenWindow& seen)
    {
        const WriteStep& step = *done;
        const HWND window = step.record.mWindowHandle;
        Release(mPendingFolders, seen.appearance.window);
        (void)mRecorder.AddSaved(step.record, step.outcome);
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
        if (!TakesMonitorPicture(step.record)) {
            MonitorStep none{step.record, step.shot, step.outcome, done};
            SaveMonitorPicture(none);
        }
    }

    void SaveMonitorPicture(MonitorStep& step)
    {
        auto written = std::make_shared<WriteStep>();
        written->outcome = step.outcome;
        TakeJustShownMonitorPicture(mContext, step.record, step.shot, written->outcome, written->taken);
        QueueWrite(written);
        const HWND window = step.record.mWindowHandle;
        Complete([this, window, written, windowStep = step.windowStep] {
            // The window picture's step is done by now: its results are final.
            if (windowStep) {
                written->outcome.record = windowStep->outcome.record;
                written->outcome.window = windowStep->outcome.window;
                written->outcome.pictureSkipped = windowStep->outcome.pictureSkipped;
            }
            mRecorder.NoteMonitorPicture(window, written->outcome);
            NoteBudget();
        });
    }

    // The budget as the record will tell it; a stop goes into the journal once, when it happens,
    // and the count of bytes with the last line.
    void NoteBudget(bool last = false)
    {
        PictureBudget& budget = *mContext.pictureBudget;
        budget.CountRewritten(mContext.outputDirectory + L"\\" + kRunJournalFileName, std::wstring());
        const char* const stopped = PictureStopName(budget.Stop());
        // Pictures left out for want of room are told when their burst is over.
        const unsigned dropped = mEncoder.Refused();
        const bool changed = stopped != mSummary.picturesStopped ||
                             (dropped != mSummary.picturesDroppedQueueFull && !mEncoder.Refusing());
        mSummary.picturesDroppedQueueFull = changed || last ? dropped : mSummary.picturesDroppedQueueFull;
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
    // Destroyed before the context it writes into; waits for its steps.
    EncodeQueue mEncoder;
    std::deque<Completion> mCompletions;
    std::map<std::uint64_t, unsigned> mPendingEntries; // entries that wait for their steps, by handle
    std::map<std::uint64_t, unsigned> mPendingFolders; // of them, the saved windows' folders
    TrayIcon* mTray = nullptr;
    std::deque<SeenWindow> mWaiting;
    std::deque<MonitorStep> mMonitorSteps;
    std::map<std::uint64_t, long long> mGoneBeforeSaved;
    bool mWrittenLast = false;
    unsigned mCaught = 0;
    unsigned mMissed = 0;
};

} // namespace

int RunWatch(unsigned long long watchSeconds, unsigned long long maxRunBytes, OutcomeNotice& notice,
             const std::wstring& chosenFolder)
{
    // Claimed before anything is written: a second watch writes nothing.
    WatchSignals signals;
    const WatchSignals::Claim claim = signals.ClaimWatch();
    if (claim == WatchSignals::Claim::Refused) {
        notice.Tell(kWatchRefusedWatchText, MB_ICONWARNING);
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
        notice.Tell(text, MB_ICONWARNING);
        return 1;
    }

    RunContext context;
    context.recorder.Start(context.clock);
    const bool hasOutputDirectory = Initialize(chosenFolder);
    context.outputDirectory = gOutputDirectory;
    RunEventLog events;
    if (!hasOutputDirectory) {
        events.End(MakeRunFailedEvent(RunMode::Watch, gOutputDirectory, OutputFailureEventText(chosenFolder)));
        notice.Tell(gOutputFailureText, MB_ICONERROR);
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
    notice.Tell(text, 0);
    Finalize();
    return 0;
}

} // namespace Morvane
