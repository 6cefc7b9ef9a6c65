#include "logs/TraceRouting.h"

namespace TalvexBasic::Logs {

// No logger is installed yet: every line takes the debugger path.
TraceRoute SelectTraceRoute(TraceOrigin) noexcept
{
    return {};
}

void DeliverRoutedLine(const TraceRoute&, const char*, unsigned) noexcept {}

} // namespace TalvexBasic::Logs
