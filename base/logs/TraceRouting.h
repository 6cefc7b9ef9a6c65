#pragma once

#include "logs/Trace.h"

namespace TalvexBasic::Logs {

// Which lines go to the log manager instead of the debugger output: those of the tool while
// gApplicationLogger is set, those of the library while gLibraryLogger is set, both only while
// the log manager is initialised. The router is installed when the program starts.
[[nodiscard]] TraceRoute SelectTraceRoute(TraceOrigin origin) noexcept;

} // namespace TalvexBasic::Logs
