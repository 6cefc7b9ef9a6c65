#include "events/RunEventLog.h"

#include "MorvaneTrace.h"
#include "capture/SignatureCheck.h"
#include "capture/VersionStrings.h"
#include "events/EventSource.h"
#include "system/Module.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <variant>

namespace Morvane {

namespace {

constexpr const char* kRunEventLog = "Morvane::RunEventLog";

// A run that began: its user and version are read on the writer's thread.
struct StartedRun {
    RunMode mode = RunMode::OneShot;
    std::wstring folder;
};

// A window caught: its signature is checked on the writer's thread.
using QueuedEvent = std::variant<RunEvent, StartedRun, CaughtWindow>;

long long NowMilliseconds() noexcept
{
    return static_cast<long long>(::GetTickCount64());
}

} // namespace

struct RunEventLog::Shared {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<QueuedEvent> queue;
    WindowEventRate rate;
    std::wstring folder; // the run's, for the count of window events left out
    bool ending = false;
    bool ended = false;
};

namespace {

// What the writer's thread knows once and keeps.
class EventWriting {
public:
    void Write(QueuedEvent queued)
    {
        if (!mOpened) {
            mOpened = true;
            mUser = ReadProcessUser();
            (void)mSource.Open();
        }
        RunEvent event = std::visit([this](auto& item) { return Resolve(item); }, queued);
        (void)mSource.Report(event, mUser.sid.empty() ? nullptr : static_cast<PSID>(mUser.sid.data()));
    }

private:
    RunEvent Resolve(RunEvent& event) { return std::move(event); }

    RunEvent Resolve(const StartedRun& run)
    {
        std::wstring program;
        std::wstring version;
        if (SUCCEEDED(TalvexBasic::Modules::Module::GetModuleFullFileName$Static(program))) {
            version = ReadVersionStrings(program).fileVersion.value_or(L"");
        }
        return MakeRunStartedEvent(run.mode, run.folder, mUser.name, version);
    }

    RunEvent Resolve(const CaughtWindow& window)
    {
        auto known = mSignatures.find(window.imagePath);
        if (known == mSignatures.end()) {
            known = mSignatures
                        .emplace(window.imagePath,
                                 window.imagePath.empty() ? SignatureVerdict{} : CheckSignature(window.imagePath))
                        .first;
        }
        return MakeWindowCaughtEvent(window, known->second);
    }

    bool mOpened = false;
    EventSource mSource;
    ProcessUser mUser;
    std::map<std::wstring, SignatureVerdict> mSignatures; // by image path: a check may cost milliseconds
};

void WriteEvents(const std::shared_ptr<RunEventLog::Shared>& shared)
{
    EventWriting writing;
    std::unique_lock<std::mutex> guard(shared->lock);
    for (;;) {
        if (shared->queue.empty()) {
            // A count of left-out window events is told once its second is over, window or not.
            const unsigned due = shared->rate.Due(NowMilliseconds());
            if (due > 0) {
                shared->queue.push_back(
                    MakeWindowEventsLeftOutEvent(due, shared->rate.PerSecond(), shared->folder));
                continue;
            }
            if (shared->ending) {
                shared->ended = true;
                shared->changed.notify_all();
                return;
            }
            const long long dueAt = shared->rate.DueAt();
            if (dueAt < 0) {
                shared->changed.wait(guard);
            } else {
                shared->changed.wait_for(guard, std::chrono::milliseconds(std::max(1LL, dueAt - NowMilliseconds())));
            }
            continue;
        }
        QueuedEvent next = std::move(shared->queue.front());
        shared->queue.pop_front();
        guard.unlock();
        writing.Write(std::move(next));
        guard.lock();
    }
}

} // namespace

RunEventLog::RunEventLog() : mShared(std::make_shared<Shared>())
{
    // Never joined: End waits for it within a bound, and a thread held up in the log ends with the
    // process.
    std::thread(WriteEvents, mShared).detach();
}

RunEventLog::~RunEventLog()
{
    End(std::nullopt);
}

void RunEventLog::RunStarted(RunMode mode, const std::wstring& folder)
{
    const std::lock_guard<std::mutex> guard(mShared->lock);
    mShared->folder = folder;
    if (!mShared->ending) {
        mShared->queue.push_back(StartedRun{mode, folder});
        mShared->changed.notify_all();
    }
}

void RunEventLog::Post(RunEvent event)
{
    const std::lock_guard<std::mutex> guard(mShared->lock);
    if (!mShared->ending) {
        mShared->queue.push_back(std::move(event));
        mShared->changed.notify_all();
    }
}

void RunEventLog::WindowCaught(CaughtWindow window)
{
    const std::lock_guard<std::mutex> guard(mShared->lock);
    if (mShared->ending) {
        return;
    }
    const WindowEventRate::Admission admission = mShared->rate.Admit(NowMilliseconds());
    if (admission.leftOutTold > 0) {
        mShared->queue.push_back(
            MakeWindowEventsLeftOutEvent(admission.leftOutTold, mShared->rate.PerSecond(), mShared->folder));
    }
    if (admission.write) {
        mShared->queue.push_back(std::move(window));
    }
    mShared->changed.notify_all();
}

void RunEventLog::End(std::optional<RunEvent> last)
{
    std::unique_lock<std::mutex> guard(mShared->lock);
    if (mShared->ending) {
        return;
    }
    mShared->ending = true;
    const unsigned leftOut = mShared->rate.Remaining();
    if (leftOut > 0) {
        mShared->queue.push_back(MakeWindowEventsLeftOutEvent(leftOut, mShared->rate.PerSecond(), mShared->folder));
    }
    if (last) {
        mShared->queue.push_back(std::move(*last));
    }
    mShared->changed.notify_all();
    if (!mShared->changed.wait_for(guard, std::chrono::milliseconds(kEndBoundMilliseconds),
                                   [&] { return mShared->ended; })) {
        MORVANE_TRACE(kRunEventLog, "%u events were not written within %lu ms.",
                      static_cast<unsigned>(mShared->queue.size()), static_cast<unsigned long>(kEndBoundMilliseconds));
    }
}

} // namespace Morvane
