#pragma once

#include "logs/Logger.h"
#include "system/CriticalSection.h"
#include "system/UniqueResource.h"

#include <windows.h>

#include <string>
#include <vector>

namespace LoggingTest {

// A logger that keeps every write in memory, with the writing thread, and sets an event once
// the expected number of writes has arrived.
class RecordingLogger : public TalvexBasic::Logs::Logger {
public:
    struct Record {
        std::string mBytes;
        Level::Value mLevel;
        DWORD mThreadId;
    };

    explicit RecordingLogger(bool synchronous = true) { mIsSynchronous = synchronous; }

    long Initialize() override { return S_OK; }
    void Finalize() override {}
    long Write(const void* data, unsigned bytes, Level::Value level) override
    {
        TalvexBasic::CriticalSectionLock lock(mLock);
        mRecords.push_back({std::string(static_cast<const char*>(data), bytes), level, ::GetCurrentThreadId()});
        if (mRecords.size() == mExpected) {
            ::SetEvent(mArrived.get());
        }
        return mResult;
    }

    [[nodiscard]] std::vector<Record> Records() const
    {
        TalvexBasic::CriticalSectionLock lock(mLock);
        return mRecords;
    }

    // Waits until `count` writes have arrived in all.
    [[nodiscard]] bool WaitFor(size_t count)
    {
        {
            TalvexBasic::CriticalSectionLock lock(mLock);
            mExpected = count;
            if (mRecords.size() >= count) {
                return true;
            }
        }
        return ::WaitForSingleObject(mArrived.get(), 10000) == WAIT_OBJECT_0;
    }

    HRESULT mResult = S_OK;

private:
    mutable TalvexBasic::CriticalSection mLock;
    std::vector<Record> mRecords;
    size_t mExpected = 0;
    TalvexBasic::UniqueHandle mArrived{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

} // namespace LoggingTest
