#include "support/DebugLineCapture.h"
#include "LoggingStateTest.h"
#include "RecordingLogger.h"
#include "logs/LogManager.h"
#include "logs/LoggerReferences.h"
#include "logs/Trace.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

// Lines as the tool emits them: offered to the routing as lines of the application.
#define TOOL_TRACE(function, ...)                                                                                      \
    ::TalvexBasic::Logs::EmitTraceA(::TalvexBasic::Logs::TraceOrigin::Application, TALVEX_BUILD_STAMP, function,       \
                                    __LINE__, __VA_ARGS__)
#define TOOL_TRACE_W(function, ...)                                                                                    \
    ::TalvexBasic::Logs::EmitTraceW(::TalvexBasic::Logs::TraceOrigin::Application, TALVEX_BUILD_STAMP, function,       \
                                    __LINE__, __VA_ARGS__)

namespace {

using Level = Basic::Logs::Logger::Level;
using LoggingTest::RecordingLogger;
using TalvexBasic::Logs::LogManager;

class TraceRoutingTest : public LoggingTest::LoggingStateTest {
protected:
    RecordingLogger mLogger;
};

// The full header, the message and the line end.
const std::regex
    kToolLine(R"(\{[A-Z][a-z]{2} [ 0-9]\d \d{4}-\d\d:\d\d:\d\d\}\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} \d+-\d+ )"
              R"(Tool::Step,\d+\]:step 7 done\.\r\n)");

TEST_F(TraceRoutingTest, ToolLinesGoToTheDebuggerUntilALoggerIsInstalledAndTheManagerRuns)
{
    TestSupport::DebugLineCapture debug;
    TOOL_TRACE("Tool::Step", "step %u done.", 7u);
    gApplicationLogger = &mLogger;
    LogManager::GetInstance(); // created, not initialised
    TOOL_TRACE("Tool::Step", "step %u done.", 7u);
    const auto lines = debug.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], kToolLine)) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], kToolLine)) << lines[1];
    EXPECT_TRUE(mLogger.Records().empty());
}

TEST_F(TraceRoutingTest, ToolLinesReachTheInstalledLoggerAndNotTheDebugger)
{
    LogManager::Initialize$Static();
    gApplicationLogger = &mLogger;
    TestSupport::DebugLineCapture debug;
    TOOL_TRACE("Tool::Step", "step %u done.", 7u);
    TOOL_TRACE_W("Tool::Step", L"caption:%ls.", L"A\x4E2D\x00E9Z");
    EXPECT_TRUE(debug.Lines().empty());
    const auto records = mLogger.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(std::regex_match(records[0].mBytes, kToolLine)) << records[0].mBytes;
    EXPECT_EQ(records[0].mLevel, Level::Trace);
    // Narrow text in the ANSI code page: the character that it lacks becomes its default character.
    const std::string wide = records[1].mBytes;
    EXPECT_NE(wide.find("]:caption:A?\xE9Z.\r\n"), std::string::npos) << wide;
    EXPECT_EQ(wide.find('\0'), std::string::npos);
}

TEST_F(TraceRoutingTest, WideLineKeepsItsCharactersOnTheDebuggerPath)
{
    TestSupport::DebugLineCapture debug;
    TOOL_TRACE_W("Tool::Step", L"caption:%ls.", L"A\x4E2DZ");
    const auto lines = debug.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("]:caption:A\xE4\xB8\xADZ.\r\n"), std::string::npos); // UTF-8 of U+4E2D
}

TEST_F(TraceRoutingTest, LoggerWithoutTheTraceBitDropsToolLinesEverywhere)
{
    LogManager::Initialize$Static();
    mLogger.mLevelMask = Level::Information;
    gApplicationLogger = &mLogger;
    TestSupport::DebugLineCapture debug;
    TOOL_TRACE("Tool::Step", "step %u done.", 7u);
    TOOL_TRACE_W("Tool::Step", L"caption:%ls.", L"x");
    EXPECT_TRUE(debug.Lines().empty());
    EXPECT_TRUE(mLogger.Records().empty());
}

TEST_F(TraceRoutingTest, LibraryLinesFollowTheLibraryLoggerExceptOnThePoolWorker)
{
    LogManager::Initialize$Static();
    gApplicationLogger = &mLogger;
    TestSupport::DebugLineCapture debug;
    TALVEX_TRACE("TalvexBasic::Test", "library line.");
    EXPECT_EQ(debug.CountContaining("]:library line.\r\n"), 1u);

    RecordingLogger library;
    gLibraryLogger = &library;
    TALVEX_TRACE("TalvexBasic::Test", "library line.");
    ASSERT_EQ(library.Records().size(), 1u);

    auto task = std::make_shared<TalvexBasic::Threads::ThreadPool::Task>();
    TalvexBasic::UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    task->mFunction = [&](TalvexBasic::Threads::TaskParameter*) {
        TALVEX_TRACE("TalvexBasic::Test", "worker line.");
        ::SetEvent(done.get());
        return S_OK;
    };
    LogManager::GetInstance()->mThreadPool.QueueTask(task);
    ASSERT_EQ(::WaitForSingleObject(done.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(debug.CountContaining("]:worker line.\r\n"), 1u);
    EXPECT_EQ(library.Records().size(), 1u);
    EXPECT_TRUE(mLogger.Records().empty());
}

TEST_F(TraceRoutingTest, LogManagerAndFileLoggerLinesAlwaysGoToTheDebugger)
{
    LogManager::Initialize$Static();
    gApplicationLogger = &mLogger;
    gLibraryLogger = &mLogger;
    TestSupport::DebugLineCapture debug;
    TALVEX_DIRECT_TRACE(TALVEX_LOG_MANAGER_TAG, "TalvexBasic::Logs::LogManager::Log", "direct %u.", 1u);
    TALVEX_DIRECT_TRACE_W(TALVEX_FILE_LOGGER_TAG, "TalvexBasic::Logs::FileLogger::Write", L"direct %ls.", L"two");
    EXPECT_EQ(debug.CountContaining("{TalvexLog$LogManager}["), 1u);
    EXPECT_EQ(debug.CountContaining("{TalvexBasic$FileLogger}["), 1u);
    EXPECT_TRUE(mLogger.Records().empty());
}

} // namespace
