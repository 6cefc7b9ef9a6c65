#pragma once

#include "logs/Trace.h"
#include "system/LastErrorFailure.h"

// The tool's own trace lines: offered to the routing as lines of the application.
#define MORVANE_TRACE(function, ...)                                                                                   \
    ::TalvexBasic::Logs::EmitTraceA(::TalvexBasic::Logs::TraceOrigin::Application, TALVEX_BUILD_STAMP, function,       \
                                    __LINE__, __VA_ARGS__)
#define MORVANE_TRACE_W(function, ...)                                                                                 \
    ::TalvexBasic::Logs::EmitTraceW(::TalvexBasic::Logs::TraceOrigin::Application, TALVEX_BUILD_STAMP, function,       \
                                    __LINE__, __VA_ARGS__)

#define MORVANE_FAIL_LAST_ERROR(function, rule, ...)                                                                   \
    (TALVEX_CHECK_FAILURE_FORMAT(__VA_ARGS__),                                                                         \
     ::TalvexBasic::FailWithLastError(::TalvexBasic::Logs::TraceOrigin::Application, TALVEX_BUILD_STAMP, function,     \
                                      __LINE__, rule, __VA_ARGS__))
