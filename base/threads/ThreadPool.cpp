#include "threads/ThreadPool.h"

#include "logs/Trace.h"
#include "system/LastErrorFailure.h"

#include <process.h>

#include <cerrno>
#include <new>

namespace TalvexBasic::Threads {
namespace {

constexpr const char kInitializeName[] = "TalvexBasic::Threads::ThreadPool::Initialize";

} // namespace

ThreadPool::ThreadPool() = default;

// A pool that is destroyed while its workers still run would leave them on freed memory.
ThreadPool::~ThreadPool()
{
    Finalize();
}

HRESULT ThreadPool::OnThreadBegin(void*)
{
    return S_OK;
}

void ThreadPool::OnThreadEnd(void*)
{
}

HRESULT ThreadPool::Initialize() noexcept
{
    const auto fail = [this](HRESULT result) {
        Finalize();
        return result;
    };

    // A failed create is never success, even when its last error reads 0.
    mExitEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!mExitEvent) {
        return fail(TALVEX_FAIL_LAST_ERROR(kInitializeName, LastErrorRule::Standard, "mExitEvent.Create error:%u."));
    }
    mTaskEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!mTaskEvent) {
        return fail(TALVEX_FAIL_LAST_ERROR(kInitializeName, LastErrorRule::Standard, "mTaskEvent.Create error:%u."));
    }

    // One worker keeps the queued writes in order; the processor count does not change that.
    SYSTEM_INFO systemInfo{};
    ::GetNativeSystemInfo(&systemInfo);
    mThreadCount = 1;

    mThreadContexts.reset(new (std::nothrow) ThreadContext[mThreadCount]());
    if (!mThreadContexts) {
        TALVEX_TRACE(kInitializeName, "new ThreadContext[%u] failed.", mThreadCount);
        return fail(E_OUTOFMEMORY);
    }
    mThreads.reset(new (std::nothrow) UniqueHandle[mThreadCount]);
    if (!mThreads) {
        TALVEX_TRACE(kInitializeName, "new HANDLE[%u] failed.", mThreadCount);
        return fail(E_OUTOFMEMORY);
    }

    // Bound through the virtual table, so that a derived pool's hooks run on its workers.
    try {
        mThreadBeginFunctor = [this](void* parameter) { return OnThreadBegin(parameter); };
        mThreadEndFunctor = [this](void* parameter) { OnThreadEnd(parameter); };
    } catch (const std::bad_alloc&) {
        return fail(E_OUTOFMEMORY);
    }

    for (unsigned index = 0; index < mThreadCount; ++index) {
        ThreadContext& context = mThreadContexts[index];
        context.mPool = this;
        context.mIndex = index;
        const uintptr_t thread =
            ::_beginthreadex(nullptr, 0, &ThreadPool::ThreadEntry, &context, 0, &context.mThreadId);
        mThreads[index].reset(reinterpret_cast<HANDLE>(thread));
        if (thread == 0) {
            TALVEX_TRACE(kInitializeName, "_beginthreadex maybe error:%u.", static_cast<unsigned>(errno));
            return fail(E_UNEXPECTED);
        }
        ++mStartedThreadCount;
    }
    return S_OK;
}

void ThreadPool::QueueTask(std::shared_ptr<Task> task)
{
    {
        CriticalSectionLock lock(mTasksLock);
        mTasks.push_back(std::move(task));
    }
    ::SetEvent(mTaskEvent.get());
}

void ThreadPool::Finalize() noexcept
{
    if (mStartedThreadCount != 0) {
        ::SetEvent(mExitEvent.get());
        // The wait takes the handles side by side, and at most MAXIMUM_WAIT_OBJECTS of them.
        HANDLE threads[MAXIMUM_WAIT_OBJECTS] = {};
        const unsigned count = mStartedThreadCount < MAXIMUM_WAIT_OBJECTS ? mStartedThreadCount : MAXIMUM_WAIT_OBJECTS;
        for (unsigned index = 0; index < count; ++index) {
            threads[index] = mThreads[index].get();
        }
        ::WaitForMultipleObjects(count, threads, TRUE, INFINITE);
    }
    mStartedThreadCount = 0;
    mThreadCount = 0;
    mThreads.reset(); // closes the thread handles
    mThreadContexts.reset();
    mExitEvent.reset();
    mTaskEvent.reset();
}

bool ThreadPool::IsPoolThread(unsigned threadId) const noexcept
{
    if (!mThreadContexts) {
        return false;
    }
    for (unsigned index = 0; index < mThreadCount; ++index) {
        if (mThreadContexts[index].mThreadId == threadId) {
            return true;
        }
    }
    return false;
}

unsigned __stdcall ThreadPool::ThreadEntry(void* context)
{
    return static_cast<unsigned>(static_cast<ThreadContext*>(context)->mPool->WorkerLoop());
}

HRESULT ThreadPool::WorkerLoop()
{
    const HRESULT begin = mThreadBeginFunctor(mThreadBeginParameter);
    if (FAILED(begin)) {
        return begin;
    }
    const HANDLE events[] = {mExitEvent.get(), mTaskEvent.get()};
    // The exit event comes first, so it wins when both are set. Anything but a task wake-up
    // (a failed wait included) ends the loop rather than spinning on it.
    while (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        DrainTasks();
    }
    mThreadEndFunctor(mThreadEndParameter);
    return begin;
}

// Runs every queued task until the queue is empty, without looking at the exit event.
void ThreadPool::DrainTasks()
{
    for (;;) {
        std::shared_ptr<Task> task;
        {
            CriticalSectionLock lock(mTasksLock);
            if (mTasks.empty()) {
                return;
            }
            task = mTasks.front();
            mTasks.pop_front();
        }
        TaskParameter parameter = task->mParameter;
        task->mFunction(&parameter);
    }
}

} // namespace TalvexBasic::Threads
