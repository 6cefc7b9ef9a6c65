#include "capture/EncodeQueue.h"

#include "MorvaneTrace.h"

#include <memory>
#include <utility>

namespace Morvane {
namespace {

constexpr const char* kAdmits = "Morvane::EncodeQueue::Admits";
constexpr const char* kStart = "Morvane::EncodeQueue::Start";

} // namespace

EncodeQueue::EncodeQueue(unsigned long long limitBytes)
    : mLimitBytes(limitBytes), mDoneEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

EncodeQueue::~EncodeQueue()
{
    Drain();
    mPool.Finalize();
}

HRESULT EncodeQueue::Start() noexcept
{
    const HRESULT started = mDoneEvent ? mPool.Initialize() : E_OUTOFMEMORY;
    mStarted = SUCCEEDED(started);
    if (!mStarted) {
        MORVANE_TRACE(kStart, "No worker (0x%x): pictures are encoded where they are taken.",
                      static_cast<unsigned>(started));
    }
    return started;
}

bool EncodeQueue::Admits(unsigned long long pictureBytes)
{
    unsigned pendingPictures = 0;
    unsigned long long pendingBytes = 0;
    {
        const TalvexBasic::CriticalSectionLock lock(mLock);
        pendingPictures = mPendingPictures;
        pendingBytes = mPendingBytes;
    }
    const EncodeAdmission admission = AdmitPicture(pendingPictures, pendingBytes, pictureBytes, mLimitBytes);
    if (admission == EncodeAdmission::Admit) {
        if (mRefusing && pictureBytes != 0) {
            mRefusing = false;
            MORVANE_TRACE(kAdmits, "The encode queue takes pictures again: %u were not written.", mRefusedInBurst);
            mRefusedInBurst = 0;
        }
        return true;
    }
    ++mRefused;
    ++mRefusedInBurst;
    if (!mRefusing) {
        mRefusing = true;
        MORVANE_TRACE(kAdmits,
                      "The encode queue is full (%llu bytes of pictures wait, %u of them; the limit is %llu): "
                      "pictures are left out until it has room.",
                      pendingBytes, pendingPictures, mLimitBytes);
    }
    return false;
}

std::uint64_t EncodeQueue::Queue(unsigned long long pictureBytes, std::function<void()> step)
{
    const std::uint64_t number = ++mQueued;
    {
        const TalvexBasic::CriticalSectionLock lock(mLock);
        mPendingPictures += pictureBytes != 0 ? 1 : 0;
        mPendingBytes += pictureBytes;
    }
    if (!mStarted) {
        step();
        Finished(pictureBytes);
        return number;
    }
    auto task = std::make_shared<TalvexBasic::Threads::ThreadPool::Task>();
    task->mFunction = [this, pictureBytes, work = std::move(step)](TalvexBasic::Threads::TaskParameter*) {
        work();
        Finished(pictureBytes);
        return S_OK;
    };
    mPool.QueueTask(std::move(task));
    return number;
}

void EncodeQueue::Finished(unsigned long long pictureBytes)
{
    {
        const TalvexBasic::CriticalSectionLock lock(mLock);
        mPendingPictures -= pictureBytes != 0 ? 1 : 0;
        mPendingBytes -= pictureBytes;
        ++mDone;
    }
    ::SetEvent(mDoneEvent.get());
}

std::uint64_t EncodeQueue::Done()
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    return mDone;
}

void EncodeQueue::Drain()
{
    // The event wakes the wait; the short timeout covers a wake-up taken by another wait of the
    // same thread.
    while (Done() < mQueued) {
        ::WaitForSingleObject(mDoneEvent.get(), 20);
    }
}

} // namespace Morvane
