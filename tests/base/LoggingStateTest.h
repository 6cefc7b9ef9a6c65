#pragma once

#include "logs/LogManager.h"
#include "logs/LoggerReferences.h"

#include <gtest/gtest.h>

namespace LoggingTest {

// The log manager and both logger references are process-wide: each test starts without a
// running manager and leaves none, and no logger installed.
class LoggingStateTest : public ::testing::Test {
protected:
    void SetUp() override { TalvexBasic::Logs::LogManager::Finalize$Static(); }
    void TearDown() override
    {
        gApplicationLogger = nullptr;
        gLibraryLogger = nullptr;
        TalvexBasic::Logs::LogManager::Finalize$Static();
    }
};

} // namespace LoggingTest
