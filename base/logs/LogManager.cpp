#include "logs/LogManager.h"

#include "logs/Trace.h"

#include <cstring>
#include <new>

namespace TalvexBasic::Logs {
namespace {

constexpr const char kInitializeStaticName[] = "TalvexBasic::Logs::LogManager::Initialize$Static";
constexpr const char kInitializeInternalName[] = "TalvexBasic::Logs::LogManager::InitializeInternal";
constexpr const char kLogName[] = "TalvexBasic::Logs::LogManager::Log";

} // namespace

LogManager* LogManager::sInstance = nullptr;

LogManager* LogManager::GetInstance()
{
    if (sInstance == nullptr) {
        sInstance = new (std::nothrow) LogManager();
    }
    return sInstance;
}

void LogManager::Initialize$Static()
{
    LogManager* manager = GetInstance();
    if (manager == nullptr) {
        TALVEX_DIRECT_TRACE(TALVEX_LOG_MANAGER_TAG, kInitializeStaticName, "new LogManager failed..");
        Finalize$Static();
        return;
    }
    if (FAILED(manager->InitializeInternal())) {
        Finalize$Static();
    }
}

HRESULT LogManager::InitializeInternal()
{
    if (mIsInitialized) {
        return S_OK;
    }
    mTask.mFunction = [this](Threads::TaskParameter* parameter) { return ProcessPackets(parameter); };
    const HRESULT result = mThreadPool.Initialize();
    if (FAILED(result)) {
        TALVEX_DIRECT_TRACE(TALVEX_LOG_MANAGER_TAG, kInitializeInternalName, "mThreadPool.Initialize return:0x%x.",
                            static_cast<unsigned>(result));
        mIsInitialized = false;
        mThreadPool.Finalize();
        return result;
    }
    mIsInitialized = true;
    return result;
}

HRESULT LogManager::Log$Static(Logger* logger, Basic::Logs::Logger::Level::Value level, const void* data,
                               unsigned bytes)
{
    LogManager* manager = GetInstance();
    if (manager == nullptr || !manager->mIsInitialized) {
        return S_OK;
    }
    return manager->Log(logger, level, data, bytes);
}

HRESULT LogManager::Log(Logger* logger, Basic::Logs::Logger::Level::Value level, const void* data, unsigned bytes)
{
    // The mask itself decides; a derived logger's IsLevelEnabled plays no part here.
    if ((level & logger->mLevelMask) == 0) {
        return S_OK;
    }
    if (logger->mIsSynchronous) {
        return logger->Write(data, bytes, level);
    }

    std::unique_ptr<LogPacket> packet(new (std::nothrow) LogPacket());
    if (!packet) {
        TALVEX_DIRECT_TRACE(TALVEX_LOG_MANAGER_TAG, kLogName, "new LogPacket bytes:%u failed..",
                            static_cast<unsigned>(sizeof(LogPacket)));
        return E_OUTOFMEMORY;
    }
    packet->mLevel = level;
    packet->mLogger = logger;
    packet->mData.reset(new (std::nothrow) unsigned char[bytes]);
    if (!packet->mData) {
        packet.reset();
        TALVEX_DIRECT_TRACE(TALVEX_LOG_MANAGER_TAG, kLogName, "new bytes:%u failed.", bytes);
        return E_OUTOFMEMORY;
    }
    if (bytes != 0) {
        std::memcpy(packet->mData.get(), data, bytes);
    }
    packet->mBytes = bytes;
    std::shared_ptr<LogPacket> shared(std::move(packet));

    {
        CriticalSectionLock lock(mPacketsLock);
        mPackets.push_back(std::move(shared));
    }
    // The task lives inside the manager: the pool's reference must never free it.
    mThreadPool.QueueTask(std::shared_ptr<Threads::ThreadPool::Task>(&mTask, [](Threads::ThreadPool::Task*) {}));
    return S_OK;
}

HRESULT LogManager::ProcessPackets(Threads::TaskParameter*)
{
    for (;;) {
        std::shared_ptr<LogPacket> packet;
        {
            CriticalSectionLock lock(mPacketsLock);
            if (mPackets.empty()) {
                return S_OK;
            }
            packet = mPackets.front();
            mPackets.pop_front();
        }
        static_cast<void>(packet->mLogger->Write(packet->mData.get(), packet->mBytes, packet->mLevel));
    }
}

void LogManager::Finalize$Static() noexcept
{
    LogManager* manager = GetInstance();
    if (manager == nullptr) {
        return;
    }
    manager->mIsInitialized = false;
    manager->mThreadPool.Finalize();
    // Cleared first, so that nothing reaches a manager that is half destroyed.
    sInstance = nullptr;
    delete manager;
}

} // namespace TalvexBasic::Logs
