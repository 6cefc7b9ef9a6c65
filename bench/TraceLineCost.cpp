// Cost of one trace line of the tool on its real path: the line is formatted, handed to the log
// manager and written by the tool's file logger, which opens the newest file, appends and closes
// it for every line. It lists the log folder again only when the folder has changed; for the
// first 100 ms after a file was created in it, that is at every line.

#include "TraceLineCost.h"

#include "MorvaneLogger.h"
#include "RunState.h"
#include "logs/LogManager.h"
#include "logs/LoggerReferences.h"
#include "MorvaneTrace.h"
#include "support/TestPaths.h"

#include <windows.h>

#include <cstdio>

namespace MorvaneBench {
namespace {

double Seconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end)
{
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename EmitLine> double MicrosecondsPerLine(unsigned count, EmitLine emit)
{
    LARGE_INTEGER start{};
    LARGE_INTEGER end{};
    ::QueryPerformanceCounter(&start);
    for (unsigned index = 0; index < count; ++index) {
        emit(index);
    }
    ::QueryPerformanceCounter(&end);
    return Seconds(start, end) * 1e6 / count;
}

} // namespace

// Prints the figures; asserts nothing. Starts and stops the logging itself, so it must run while
// the logging is stopped; gOutputDirectory is restored afterwards.
void RunTraceLineCost()
{
    constexpr unsigned kLines = 2000;
    const std::wstring savedOutputDirectory = gOutputDirectory;
    const std::wstring scratch = TestSupport::MakeScratchDirectory(L"TraceLineCost");
    gOutputDirectory = scratch;

    // The tool's start-up order: manager, logger, then the routing.
    TalvexBasic::Logs::LogManager::Initialize$Static();
    Morvane::Logger* logger = Basic::Patterns::Singleton<Morvane::Logger>::GetInstance();
    static_cast<void>(logger->Initialize());
    static_cast<void>(logger->SetName(L"Morvane"));
    gApplicationLogger = logger;

    // Warm-up: the first line creates the folder and the file.
    static_cast<void>(
        MicrosecondsPerLine(100, [](unsigned index) { MORVANE_TRACE("Morvane::Bench", "warm-up line %u.", index); }));
    const double narrow = MicrosecondsPerLine(kLines, [](unsigned index) {
        MORVANE_TRACE("Morvane::Bench", "narrow line %u of the benchmark, about as long as a report line.", index);
    });
    const double wide = MicrosecondsPerLine(kLines, [](unsigned index) {
        MORVANE_TRACE_W("Morvane::Bench", L"wide line %u, caption:%ls.", index, L"Untitled - Notepad");
    });

    gApplicationLogger = nullptr;
    Basic::Patterns::Singleton<Morvane::Logger>::DestroyInstance();
    TalvexBasic::Logs::LogManager::Finalize$Static();

    // For comparison: the same line on the debugger path (no debugger attached).
    const double debugger = MicrosecondsPerLine(kLines, [](unsigned index) {
        MORVANE_TRACE("Morvane::Bench", "narrow line %u of the benchmark, about as long as a report line.", index);
    });

    std::printf("trace line to the tool's log file, narrow: %.1f us/line (%u lines)\n", narrow, kLines);
    std::printf("trace line to the tool's log file, wide:   %.1f us/line (%u lines)\n", wide, kLines);
    std::printf("trace line to the debugger output:         %.1f us/line (%u lines)\n", debugger, kLines);

    TestSupport::RemoveTree(scratch);
    gOutputDirectory = savedOutputDirectory;
}

} // namespace MorvaneBench
