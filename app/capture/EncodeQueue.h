#pragma once

#include "capture/EncodeQueueRule.h"
#include "system/CriticalSection.h"
#include "system/UniqueResource.h"
#include "threads/ThreadPool.h"

#include <windows.h>

#include <cstdint>
#include <functional>

namespace Morvane {

// The worker that encodes and writes a watch's pictures, so that the thread that takes them never
// waits for an encode: steps run one after another, in the order they were queued, on the one
// thread of a ThreadPool. The pixels waiting are bounded (AdmitPicture): a picture refused is not
// written, and the thread that takes pictures goes on at once. Without a worker (it could not
// start) each step runs in place, as a run without a watch writes its pictures.
class EncodeQueue {
public:
    explicit EncodeQueue(unsigned long long limitBytes = kEncodeQueueBytes);
    // Every step queued runs before the worker ends.
    ~EncodeQueue();
    EncodeQueue(const EncodeQueue&) = delete;
    EncodeQueue& operator=(const EncodeQueue&) = delete;

    [[nodiscard]] HRESULT Start() noexcept;

    // Whether a picture of so many bytes of pixels may wait now. Refusals are counted; the first of
    // a burst (refusals with no picture taken between) and the end of the burst have a trace line.
    // Admits and Queue are called by one thread, so that room found by the one is there for the other.
    [[nodiscard]] bool Admits(unsigned long long pictureBytes);

    // Queues the step, with the bytes of the picture it holds (0 for none): it runs on the worker
    // after every step queued before. Returns its number, counted from 1.
    std::uint64_t Queue(unsigned long long pictureBytes, std::function<void()> step);

    // The number of the last step queued; 0 before the first.
    [[nodiscard]] std::uint64_t Queued() const noexcept { return mQueued; }
    // How many steps have run: those numbered up to it are done, and what they wrote is seen.
    [[nodiscard]] std::uint64_t Done();
    // Set each time a step has run.
    [[nodiscard]] HANDLE DoneEvent() const noexcept { return mDoneEvent.get(); }
    // Waits until every step queued has run.
    void Drain();

    // Pictures refused so far, and whether the last picture offered was refused.
    [[nodiscard]] unsigned Refused() const noexcept { return mRefused; }
    [[nodiscard]] bool Refusing() const noexcept { return mRefusing; }

private:
    void Finished(unsigned long long pictureBytes);

    unsigned long long mLimitBytes;
    TalvexBasic::Threads::ThreadPool mPool;
    bool mStarted = false;
    TalvexBasic::UniqueHandle mDoneEvent;
    TalvexBasic::CriticalSection mLock; // over the counts below that the worker changes
    unsigned mPendingPictures = 0;
    unsigned long long mPendingBytes = 0;
    std::uint64_t mDone = 0;
    std::uint64_t mQueued = 0;
    unsigned mRefused = 0;
    unsigned mRefusedInBurst = 0;
    bool mRefusing = false;
};

} // namespace Morvane
