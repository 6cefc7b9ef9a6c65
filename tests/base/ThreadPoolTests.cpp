#include "support/ImportPatch.h"
#include "support/DebugLineCapture.h"
#include "system/UniqueResource.h"
#include "threads/ThreadPool.h"

#include <process.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

extern "C" decltype(&::CreateEventW) __imp_CreateEventW;
extern "C" decltype(&::CloseHandle) __imp_CloseHandle;
TEST_SUPPORT_IMPORT_SLOT(_beginthreadex);

namespace {

using TalvexBasic::UniqueHandle;
using TalvexBasic::Threads::TaskParameter;
using TalvexBasic::Threads::ThreadPool;

UniqueHandle MakeEvent()
{
    return UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

std::shared_ptr<ThreadPool::Task> MakeTask(std::function<HRESULT(TaskParameter*)> function)
{
    auto task = std::make_shared<ThreadPool::Task>();
    task->mFunction = std::move(function);
    return task;
}

// Failures that Wine will not produce on demand come from swapped import slots.
int gEventCalls = 0;
int gEventCallToFail = 0;
DWORD gEventError = 0;
int gCloseCalls = 0;
decltype(&::CreateEventW) gRealCreateEventW = nullptr;
decltype(&::CloseHandle) gRealCloseHandle = nullptr;

HANDLE WINAPI FailingCreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCWSTR name)
{
    if (++gEventCalls == gEventCallToFail) {
        ::SetLastError(gEventError);
        return nullptr;
    }
    return gRealCreateEventW(attributes, manualReset, initialState, name);
}

BOOL WINAPI CountingCloseHandle(HANDLE handle)
{
    ++gCloseCalls;
    return gRealCloseHandle(handle);
}

// A pool whose workers wait at their start hook until the test opens the gate, and which
// counts its end hooks: the hooks must be reached through the virtual table.
class GatedPool : public ThreadPool {
public:
    HRESULT OnThreadBegin(void*) override
    {
        ::WaitForSingleObject(mGate.get(), INFINITE);
        return mBeginResult;
    }
    void OnThreadEnd(void*) override { ++mEndCalls; }

    UniqueHandle mGate = MakeEvent();
    HRESULT mBeginResult = S_OK;
    std::atomic<int> mEndCalls{0};
};

TEST(ThreadPool, TenTasksQueuedBeforeTheWorkerWakesRunInOrder)
{
    GatedPool pool;
    ASSERT_EQ(pool.Initialize(), S_OK);
    EXPECT_EQ(pool.mStartedThreadCount, 1u);
    std::vector<int> order;
    UniqueHandle done = MakeEvent();
    for (int index = 0; index < 10; ++index) {
        pool.QueueTask(MakeTask([&, index](TaskParameter*) {
            order.push_back(index);
            if (index == 9) {
                ::SetEvent(done.get());
            }
            return S_OK;
        }));
    }
    ::SetEvent(pool.mGate.get());
    ASSERT_EQ(::WaitForSingleObject(done.get(), 10000), WAIT_OBJECT_0);
    pool.Finalize();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(pool.mEndCalls, 1);
}

TEST(ThreadPool, TaskQueuedDuringADrainRunsInTheSameDrain)
{
    ThreadPool pool;
    ASSERT_EQ(pool.Initialize(), S_OK);
    UniqueHandle done = MakeEvent();
    bool secondRan = false;
    pool.QueueTask(MakeTask([&](TaskParameter*) {
        pool.QueueTask(MakeTask([&](TaskParameter*) {
            secondRan = true;
            ::SetEvent(done.get());
            return S_OK;
        }));
        // Take back the wake-up of the second task: only the running drain can still find it.
        ::ResetEvent(pool.mTaskEvent.get());
        return S_OK;
    }));
    EXPECT_EQ(::WaitForSingleObject(done.get(), 10000), WAIT_OBJECT_0);
    pool.Finalize();
    EXPECT_TRUE(secondRan);
}

TEST(ThreadPool, TaskGetsACopyOfItsParameter)
{
    ThreadPool pool;
    ASSERT_EQ(pool.Initialize(), S_OK);
    int context = 0;
    void* seen = nullptr;
    UniqueHandle done = MakeEvent();
    auto task = MakeTask([&](TaskParameter* parameter) {
        seen = parameter->mValue;
        parameter->mValue = nullptr;
        ::SetEvent(done.get());
        return E_FAIL;
    });
    task->mParameter.mValue = &context;
    pool.QueueTask(task);
    ASSERT_EQ(::WaitForSingleObject(done.get(), 10000), WAIT_OBJECT_0);
    pool.Finalize();
    EXPECT_EQ(seen, &context);
    EXPECT_EQ(task->mParameter.mValue, &context);
}

TEST(ThreadPool, FinalizeWhileIdleEndsTheWorkerAndClosesEverything)
{
    GatedPool pool;
    ::SetEvent(pool.mGate.get());
    ASSERT_EQ(pool.Initialize(), S_OK);
    gCloseCalls = 0;
    {
        TestSupport::ImportPatch<decltype(&::CloseHandle)> closes(__imp_CloseHandle, &CountingCloseHandle);
        gRealCloseHandle = closes.Original();
        pool.Finalize();
    }
    EXPECT_EQ(gCloseCalls, 3); // the worker's thread handle and both events
    EXPECT_EQ(pool.mEndCalls, 1);
    EXPECT_EQ(pool.mStartedThreadCount, 0u);
    EXPECT_EQ(pool.mThreadCount, 0u);
    EXPECT_FALSE(pool.mThreads);
    EXPECT_FALSE(pool.mThreadContexts);
    EXPECT_FALSE(pool.mExitEvent.valid());
    EXPECT_FALSE(pool.mTaskEvent.valid());
    pool.Finalize(); // a second time does nothing
    EXPECT_EQ(pool.mEndCalls, 1);
}

TEST(ThreadPool, FinalizeWhileDrainingLetsTheDrainFinish)
{
    ThreadPool pool;
    ASSERT_EQ(pool.Initialize(), S_OK);
    UniqueHandle started = MakeEvent();
    std::vector<int> ran;
    // The first task holds the worker until Finalize has set the exit event.
    pool.QueueTask(MakeTask([&](TaskParameter*) {
        ::SetEvent(started.get());
        ::WaitForSingleObject(pool.mExitEvent.get(), INFINITE);
        ran.push_back(0);
        return S_OK;
    }));
    ASSERT_EQ(::WaitForSingleObject(started.get(), 10000), WAIT_OBJECT_0);
    for (int index = 1; index < 5; ++index) {
        pool.QueueTask(MakeTask([&, index](TaskParameter*) {
            ran.push_back(index);
            return S_OK;
        }));
    }
    pool.Finalize();
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(pool.mTasks.empty());
}

TEST(ThreadPool, FailingStartHookEndsTheWorkerAndLaterTasksAreReleasedUnrun)
{
    bool ran = false;
    bool released = false;
    {
        GatedPool pool;
        pool.mBeginResult = E_ACCESSDENIED;
        ::SetEvent(pool.mGate.get());
        ASSERT_EQ(pool.Initialize(), S_OK);
        ASSERT_EQ(::WaitForSingleObject(pool.mThreads[0].get(), 10000), WAIT_OBJECT_0);
        DWORD exitCode = 0;
        ASSERT_TRUE(::GetExitCodeThread(pool.mThreads[0].get(), &exitCode));
        EXPECT_EQ(static_cast<HRESULT>(exitCode), E_ACCESSDENIED);

        auto* task = new ThreadPool::Task();
        task->mFunction = [&](TaskParameter*) {
            ran = true;
            return S_OK;
        };
        pool.QueueTask(std::shared_ptr<ThreadPool::Task>(task, [&](ThreadPool::Task* finished) {
            released = true;
            delete finished;
        }));
        pool.Finalize();
        EXPECT_EQ(pool.mEndCalls, 0);
        EXPECT_FALSE(released); // still queued until the pool is destroyed
    }
    EXPECT_FALSE(ran);
    EXPECT_TRUE(released);
}

TEST(ThreadPool, IsPoolThreadKnowsItsWorkerOnly)
{
    ThreadPool pool;
    EXPECT_FALSE(pool.IsPoolThread(::GetCurrentThreadId()));
    ASSERT_EQ(pool.Initialize(), S_OK);
    std::atomic<DWORD> workerId{0};
    UniqueHandle done = MakeEvent();
    pool.QueueTask(MakeTask([&](TaskParameter*) {
        workerId = ::GetCurrentThreadId();
        ::SetEvent(done.get());
        return S_OK;
    }));
    ASSERT_EQ(::WaitForSingleObject(done.get(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(pool.IsPoolThread(workerId));
    EXPECT_FALSE(pool.IsPoolThread(::GetCurrentThreadId()));
    pool.Finalize();
    EXPECT_FALSE(pool.IsPoolThread(workerId));
}

uintptr_t __cdecl FailingBeginThreadEx(void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned, unsigned*)
{
    errno = EAGAIN;
    return 0;
}

TEST(ThreadPool, ThreadThatDoesNotStartUndoesInitializeAndClosesOnlyTheEvents)
{
    TestSupport::DebugLineCapture debug;
    ThreadPool pool;
    HRESULT result = S_OK;
    gCloseCalls = 0;
    {
        TestSupport::ImportPatch<decltype(&::_beginthreadex)> threads(__imp__beginthreadex, &FailingBeginThreadEx);
        TestSupport::ImportPatch<decltype(&::CloseHandle)> closes(__imp_CloseHandle, &CountingCloseHandle);
        gRealCloseHandle = closes.Original();
        result = pool.Initialize();
    }
    EXPECT_EQ(result, E_UNEXPECTED);
    EXPECT_EQ(gCloseCalls, 2); // the two events; the thread handle was never made
    EXPECT_EQ(debug.CountContaining("]:_beginthreadex maybe error:" + std::to_string(EAGAIN) + ".\r\n"), 1u);
    EXPECT_EQ(pool.mStartedThreadCount, 0u);
    EXPECT_FALSE(pool.mThreads);
    EXPECT_FALSE(pool.mExitEvent.valid());
    // Nothing is left half started: a second Initialize runs normally.
    ASSERT_EQ(pool.Initialize(), S_OK);
    EXPECT_EQ(pool.mStartedThreadCount, 1u);
    pool.Finalize();
}

struct FailedEvent {
    int callToFail;
    DWORD error;
    const char* message;
    HRESULT result;
    int closesInInitialize; // the exit event, when the task event fails
};

class ThreadPoolEventFailure : public ::testing::TestWithParam<FailedEvent> {};

TEST_P(ThreadPoolEventFailure, InitializeUndoesItselfAndFinalizeThenClosesNothing)
{
    TestSupport::DebugLineCapture debug;
    ThreadPool pool;
    HRESULT result = S_OK;
    gCloseCalls = 0;
    {
        gEventCalls = 0;
        gEventCallToFail = GetParam().callToFail;
        gEventError = GetParam().error;
        TestSupport::ImportPatch<decltype(&::CreateEventW)> events(__imp_CreateEventW, &FailingCreateEventW);
        gRealCreateEventW = events.Original();
        TestSupport::ImportPatch<decltype(&::CloseHandle)> closes(__imp_CloseHandle, &CountingCloseHandle);
        gRealCloseHandle = closes.Original();
        result = pool.Initialize();
    }
    EXPECT_EQ(gCloseCalls, GetParam().closesInInitialize);
    EXPECT_EQ(result, GetParam().result);
    EXPECT_EQ(debug.CountContaining(GetParam().message), 1u);
    EXPECT_EQ(debug.CountContaining("TalvexBasic::Threads::ThreadPool::Initialize,"), 1u);
    EXPECT_FALSE(pool.mExitEvent.valid());
    EXPECT_FALSE(pool.mTaskEvent.valid());
    EXPECT_EQ(pool.mStartedThreadCount, 0u);

    gCloseCalls = 0;
    {
        TestSupport::ImportPatch<decltype(&::CloseHandle)> closes(__imp_CloseHandle, &CountingCloseHandle);
        gRealCloseHandle = closes.Original();
        pool.Finalize();
        pool.Finalize();
    }
    EXPECT_EQ(gCloseCalls, 0);
}

INSTANTIATE_TEST_SUITE_P(Events, ThreadPoolEventFailure,
                         ::testing::Values(FailedEvent{1, ERROR_NOT_ENOUGH_MEMORY, "]:mExitEvent.Create error:8.\r\n",
                                                       HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), 0},
                                           FailedEvent{2, ERROR_NOT_ENOUGH_MEMORY, "]:mTaskEvent.Create error:8.\r\n",
                                                       HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), 1},
                                           // A failed create whose last error reads 0 is still a failure.
                                           FailedEvent{1, 0, "]:mExitEvent.Create error:0.\r\n", E_FAIL, 0},
                                           FailedEvent{2, 0, "]:mTaskEvent.Create error:0.\r\n", E_FAIL, 1}));

} // namespace
