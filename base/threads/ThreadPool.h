#pragma once

#include "system/CriticalSection.h"
#include "system/UniqueResource.h"

#include <windows.h>

#include <functional>
#include <list>
#include <memory>

namespace TalvexBasic::Threads {

// The caller's context of one task; the worker hands each call a private copy.
struct TaskParameter {
    void* mValue = nullptr;
};

class ThreadPool;

// One per worker thread; the thread id is written by the thread creation call.
struct ThreadContext {
    ThreadPool* mPool = nullptr;
    unsigned mIndex = 0;
    unsigned mThreadId = 0;
};

// A small fixed pool of worker threads that run queued tasks first in, first out.
class ThreadPool {
public:
    struct Task {
        TaskParameter mParameter;
        std::function<HRESULT(TaskParameter*)> mFunction;
    };

    ThreadPool();
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Per-thread set-up and tear-down of a derived pool. A failing start hook ends its worker.
    virtual HRESULT OnThreadBegin(void* parameter);
    virtual void OnThreadEnd(void* parameter);

    // Creates the events and starts the workers; any failure is undone by Finalize.
    [[nodiscard]] HRESULT Initialize() noexcept;
    // The pool keeps its own reference until a worker has run the task.
    void QueueTask(std::shared_ptr<Task> task);
    // Ends and joins the workers. Safe after a failed or partial Initialize and more than once.
    void Finalize() noexcept;
    [[nodiscard]] bool IsPoolThread(unsigned threadId) const noexcept;

    // One per started thread; closed when the array goes. Finalize waits on a copy of the handles.
    std::unique_ptr<UniqueHandle[]> mThreads;
    unsigned mThreadCount = 0;
    std::unique_ptr<ThreadContext[]> mThreadContexts;
    unsigned mStartedThreadCount = 0;
    UniqueHandle mExitEvent;
    UniqueHandle mTaskEvent;
    std::list<std::shared_ptr<Task>> mTasks;
    CriticalSection mTasksLock;
    void* mThreadBeginParameter = nullptr;
    void* mThreadEndParameter = nullptr;
    std::function<HRESULT(void*)> mThreadBeginFunctor;
    std::function<void(void*)> mThreadEndFunctor;

private:
    static unsigned __stdcall ThreadEntry(void* context);
    HRESULT WorkerLoop();
    void DrainTasks();
};

} // namespace TalvexBasic::Threads
