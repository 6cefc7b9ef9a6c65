#include "logs/Trace.h"

#include <gtest/gtest.h>

TEST(TraceHeader, PadsEveryField)
{
    SYSTEMTIME time{};
    time.wYear = 2020;
    time.wMonth = 9;
    time.wDay = 9;
    time.wHour = 5;
    time.wMinute = 4;
    time.wSecond = 3;
    time.wMilliseconds = 7;
    EXPECT_EQ(TalvexBasic::Logs::FormatTraceHeader("Sep  9 2020-15:42:10", time, 4520, 4524, "Initialize", 217),
              "{Sep  9 2020-15:42:10}[2020-09-09 05:04:03:007 4520-4524 Initialize,217]:");
}
