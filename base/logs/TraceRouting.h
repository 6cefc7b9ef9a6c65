#pragma once

#include "logs/Trace.h"

namespace TalvexBasic::Logs {

class Logger;

// Where one line goes, decided before it is formatted.
struct TraceRoute {
    enum class Kind {
        Debugger, // format it and write it to the debugger output
        Drop,     // the installed logger does not take the level: write it nowhere
        LogManager,
    };
    Kind kind = Kind::Debugger;
    Logger* logger = nullptr;
};

[[nodiscard]] TraceRoute SelectTraceRoute(TraceOrigin origin) noexcept;

// Hands a formatted narrow line (without terminating zero) to the log manager.
void DeliverRoutedLine(const TraceRoute& route, const char* text, unsigned bytes) noexcept;

} // namespace TalvexBasic::Logs
