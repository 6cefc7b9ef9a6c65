#pragma once

#include "basic/StringFormat.h"

#include <windows.h>

#include <cstddef>
#include <string>

namespace TalvexBasic::Logs {

// Who emits a line decides where it may go: lines of the tool and of the library are offered
// to the installed router first; the log manager and the file logger always write to the
// debugger.
enum class TraceOrigin {
    Application,
    Library,
    Direct,
};

// Where one line goes, decided before it is formatted.
struct TraceRoute {
    enum class Kind {
        Debugger, // format it and write it to the debugger output
        Drop,     // the receiver does not take the level: write it nowhere
        Routed,   // format it and hand it to the router
    };
    Kind kind = Kind::Debugger;
    void* receiver = nullptr;
};

// The routing installs itself here; without it every line takes the debugger path. The
// emitter knows nothing of loggers or of the log manager.
struct TraceRouter {
    TraceRoute (*select)(TraceOrigin origin) noexcept;
    void (*deliverNarrow)(const TraceRoute& route, const char* text, unsigned bytes) noexcept;
    void (*deliverWide)(const TraceRoute& route, const wchar_t* text, size_t length) noexcept;
};
void InstallTraceRouter(const TraceRouter* router) noexcept;

#define TALVEX_PRINTF_CHECK(formatIndex, firstArgument) BASIC_PRINTF_CHECK(formatIndex, firstArgument)

void EmitTraceA(TraceOrigin origin, const char* tag, const char* function, unsigned line, const char* format,
                ...) noexcept TALVEX_PRINTF_CHECK(5, 6);
void EmitTraceW(TraceOrigin origin, const char* tag, const char* function, unsigned line, const wchar_t* format,
                ...) noexcept;

// "{tag}[YYYY-MM-DD hh:mm:ss:mmm pid-tid function,line]:"
[[nodiscard]] std::string FormatTraceHeader(const char* tag, const SYSTEMTIME& time, DWORD processId, DWORD threadId,
                                            const char* function, unsigned line);

} // namespace TalvexBasic::Logs

// The build stamp of the source unit that expands the macro, e.g. "Sep  9 2020-15:42:10".
#define TALVEX_BUILD_STAMP __DATE__ "-" __TIME__

// Tag of the log manager's and the file logger's own lines.
#define TALVEX_LOG_MANAGER_TAG "TalvexLog$LogManager"
#define TALVEX_FILE_LOGGER_TAG "TalvexBasic$FileLogger"

// Messages are printf formats without the line end; the header and "\r\n" are added here.
// The function argument is the qualified name that the header shows.
#define TALVEX_TRACE(function, ...)                                                                                    \
    ::TalvexBasic::Logs::EmitTraceA(::TalvexBasic::Logs::TraceOrigin::Library, TALVEX_BUILD_STAMP, function, __LINE__, \
                                    __VA_ARGS__)
#define TALVEX_TRACE_W(function, ...)                                                                                  \
    ::TalvexBasic::Logs::EmitTraceW(::TalvexBasic::Logs::TraceOrigin::Library, TALVEX_BUILD_STAMP, function, __LINE__, \
                                    __VA_ARGS__)
#define TALVEX_DIRECT_TRACE(tag, function, ...)                                                                        \
    ::TalvexBasic::Logs::EmitTraceA(::TalvexBasic::Logs::TraceOrigin::Direct, tag, function, __LINE__, __VA_ARGS__)
#define TALVEX_DIRECT_TRACE_W(tag, function, ...)                                                                      \
    ::TalvexBasic::Logs::EmitTraceW(::TalvexBasic::Logs::TraceOrigin::Direct, tag, function, __LINE__, __VA_ARGS__)
