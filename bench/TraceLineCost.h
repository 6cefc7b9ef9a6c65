#pragma once

namespace MorvaneBench {

// Prints the cost of one tool trace line on its routed path (log manager and the tool's file
// logger) and on the debugger path.
void RunTraceLineCost();

} // namespace MorvaneBench
