#pragma once

#include "logs/LogPacket.h"
#include "logs/Logger.h"
#include "system/CriticalSection.h"
#include "threads/ThreadPool.h"

#include <windows.h>

#include <list>
#include <memory>

namespace TalvexBasic::Logs {

// The process-wide dispatcher between trace lines and the loggers that store them. A line for a
// synchronous logger is written at once on the calling thread; any other is copied into a
// packet and written later on the pool's worker, in the order of the calls.
class LogManager {
public:
    LogManager() = default;
    ~LogManager() = default;
    LogManager(const LogManager&) = delete;
    LogManager& operator=(const LogManager&) = delete;

    // The instance, created (not started) if there is none; null only when memory runs out.
    static LogManager* GetInstance();
    // Creates and starts the instance; on failure the instance is finalised again.
    static void Initialize$Static();
    // Writes nothing and returns S_OK while the instance is not initialised.
    [[nodiscard]] static HRESULT Log$Static(Logger* logger, Basic::Logs::Logger::Level::Value level, const void* data,
                                            unsigned bytes);
    // Stops the pool, frees packets still queued without writing them and destroys the instance.
    static void Finalize$Static() noexcept;

    [[nodiscard]] HRESULT InitializeInternal();
    [[nodiscard]] HRESULT Log(Logger* logger, Basic::Logs::Logger::Level::Value level, const void* data,
                              unsigned bytes);
    // The pool task: writes every queued packet, oldest first, outside the lock.
    HRESULT ProcessPackets(Threads::TaskParameter* parameter);

    bool mIsInitialized = false;
    std::list<std::shared_ptr<Logger>> mLoggers;
    CriticalSection mLoggersLock;
    Threads::ThreadPool mThreadPool;
    Threads::ThreadPool::Task mTask;
    std::list<std::shared_ptr<LogPacket>> mPackets;
    CriticalSection mPacketsLock;

private:
    static LogManager* sInstance;
};

} // namespace TalvexBasic::Logs
