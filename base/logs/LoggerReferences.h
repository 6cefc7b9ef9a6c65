#pragma once

namespace TalvexBasic::Logs {

class Logger;

} // namespace TalvexBasic::Logs

// The loggers that receive the tool's own trace lines and the base library's; while empty,
// those lines go to the debugger output. Written on the main thread only.
extern TalvexBasic::Logs::Logger* gApplicationLogger;
extern TalvexBasic::Logs::Logger* gLibraryLogger;
