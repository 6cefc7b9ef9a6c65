#include "support/DebugLineCapture.h"
#include "LoggingStateTest.h"
#include "RecordingLogger.h"
#include "logs/LogManager.h"
#include "support/ImportPatch.h"

#include <gtest/gtest.h>

#include <string>

TEST_SUPPORT_IMPORT_SLOT(CreateEventW);

namespace {

using Level = Basic::Logs::Logger::Level;
using LoggingTest::RecordingLogger;
using TalvexBasic::Logs::LogManager;

class LogManagerTest : public LoggingTest::LoggingStateTest {};

HRESULT LogText(const std::string& text, RecordingLogger& logger)
{
    return LogManager::Log$Static(&logger, Level::Trace, text.data(), static_cast<unsigned>(text.size()));
}

TEST_F(LogManagerTest, LogStaticBeforeInitializeWritesNothing)
{
    RecordingLogger logger;
    EXPECT_EQ(LogText("x", logger), S_OK);
    EXPECT_TRUE(logger.Records().empty());
    LogManager* manager = LogManager::GetInstance();
    ASSERT_NE(manager, nullptr);
    EXPECT_FALSE(manager->mIsInitialized);
    EXPECT_FALSE(manager->mThreadPool.mExitEvent.valid());
}

TEST_F(LogManagerTest, SynchronousLoggerWritesOnTheCallingThreadAndItsResultComesBack)
{
    LogManager::Initialize$Static();
    RecordingLogger logger;
    logger.mResult = E_ACCESSDENIED;
    EXPECT_EQ(LogText("line\r\n", logger), E_ACCESSDENIED);
    const auto records = logger.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].mBytes, "line\r\n");
    EXPECT_EQ(records[0].mLevel, Level::Trace);
    EXPECT_EQ(records[0].mThreadId, ::GetCurrentThreadId());
}

TEST_F(LogManagerTest, LoggerThatDoesNotAcceptTheLevelChangesNothing)
{
    LogManager::Initialize$Static();
    LogManager* manager = LogManager::GetInstance();
    for (const bool synchronous : {true, false}) {
        RecordingLogger logger(synchronous);
        logger.mLevelMask = Level::Information | Level::Error;
        logger.mResult = E_FAIL;
        EXPECT_EQ(LogText("x", logger), S_OK);
        EXPECT_TRUE(logger.Records().empty());
        EXPECT_TRUE(manager->mPackets.empty());
        EXPECT_TRUE(manager->mThreadPool.mTasks.empty());
    }
}

TEST_F(LogManagerTest, QueuedPacketsAreWrittenInOrderOnTheWorkerFromPrivateCopies)
{
    LogManager::Initialize$Static();
    LogManager* manager = LogManager::GetInstance();
    ASSERT_TRUE(manager->mIsInitialized);
    RecordingLogger logger(false);
    logger.mResult = E_FAIL; // ignored on the queued path
    std::string text = "first";
    EXPECT_EQ(LogText(text, logger), S_OK);
    text = "SECOND"; // the packet holds its own copy
    EXPECT_EQ(LogManager::Log$Static(&logger, Level::Trace, nullptr, 0), S_OK);
    EXPECT_EQ(LogText("third", logger), S_OK);
    ASSERT_TRUE(logger.WaitFor(3));
    const auto records = logger.Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].mBytes, "first");
    EXPECT_EQ(records[1].mBytes, "");
    EXPECT_EQ(records[2].mBytes, "third");
    for (const auto& record : records) {
        EXPECT_TRUE(manager->mThreadPool.IsPoolThread(record.mThreadId));
        EXPECT_EQ(record.mLevel, Level::Trace);
    }
}

TEST_F(LogManagerTest, PacketsStillQueuedAtFinalizeAreFreedUnwritten)
{
    // A manager whose pool never ran: nothing drains its queue.
    LogManager* manager = LogManager::GetInstance();
    RecordingLogger logger(false);
    ASSERT_EQ(manager->Log(&logger, Level::Trace, "a", 1), S_OK);
    ASSERT_EQ(manager->Log(&logger, Level::Trace, "b", 1), S_OK);
    EXPECT_EQ(manager->mPackets.size(), 2u);
    std::weak_ptr<TalvexBasic::Logs::LogPacket> packet = manager->mPackets.front();
    LogManager::Finalize$Static();
    EXPECT_TRUE(packet.expired());
    EXPECT_TRUE(logger.Records().empty());
}

TEST_F(LogManagerTest, SecondInitializeStartsNoSecondPool)
{
    LogManager::Initialize$Static();
    LogManager* manager = LogManager::GetInstance();
    const HANDLE worker = manager->mThreadPool.mThreads[0].get();
    EXPECT_EQ(manager->InitializeInternal(), S_OK);
    LogManager::Initialize$Static();
    EXPECT_EQ(LogManager::GetInstance(), manager);
    EXPECT_EQ(manager->mThreadPool.mStartedThreadCount, 1u);
    EXPECT_EQ(manager->mThreadPool.mThreads[0].get(), worker);
}

HANDLE WINAPI FailingCreateEventW(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR)
{
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

TEST_F(LogManagerTest, PoolThatDoesNotStartLeavesTheManagerFinalized)
{
    TestSupport::DebugLineCapture debug;
    {
        TestSupport::ImportPatch<decltype(&::CreateEventW)> patch(__imp_CreateEventW, &FailingCreateEventW);
        LogManager::Initialize$Static();
    }
    EXPECT_EQ(debug.CountContaining("{TalvexLog$LogManager}["), 1u);
    EXPECT_EQ(debug.CountContaining(" TalvexBasic::Logs::LogManager::InitializeInternal,"), 1u);
    EXPECT_EQ(debug.CountContaining("]:mThreadPool.Initialize return:0x80070008.\r\n"), 1u);
    RecordingLogger logger;
    EXPECT_EQ(LogText("x", logger), S_OK);
    EXPECT_TRUE(logger.Records().empty());
    EXPECT_FALSE(LogManager::GetInstance()->mIsInitialized);
}

} // namespace
