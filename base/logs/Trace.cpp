#include "logs/Trace.h"

#include "basic/EscapeLineBreaks.h"

#include <atomic>
#include <cstdarg>
#include <new>

namespace TalvexBasic::Logs {
namespace {

std::atomic<const TraceRouter*> sRouter{nullptr};

TraceRoute SelectRoute(TraceOrigin origin) noexcept
{
    const TraceRouter* router = sRouter.load(std::memory_order_acquire);
    if (origin == TraceOrigin::Direct || router == nullptr) {
        return {};
    }
    return router->select(origin);
}

std::string CurrentHeader(const char* tag, const char* function, unsigned line)
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return FormatTraceHeader(tag, now, ::GetCurrentProcessId(), ::GetCurrentThreadId(), function, line);
}

// A value inside a message (a caption, a class name, a path) must not be able to start a line of
// its own in the log: from `start` on, each CR becomes the two characters "\r" and each LF "\n".
// The message formats hold no line breaks themselves; the line's own "\r\n" is added afterwards.
template <typename Char> void EscapeLineBreaksFrom(std::basic_string<Char>& text, size_t start)
{
    const std::basic_string_view<Char> message(text.data() + start, text.size() - start);
    if (Basic::Text::HasLineBreak(message)) {
        text.replace(start, std::basic_string<Char>::npos, Basic::Text::EscapeLineBreaks(message));
    }
}

void Deliver(const TraceRouter& router, const TraceRoute& route, const std::string& text) noexcept
{
    router.deliverNarrow(route, text.data(), static_cast<unsigned>(text.size()));
}

void Deliver(const TraceRouter& router, const TraceRoute& route, const std::wstring& text) noexcept
{
    router.deliverWide(route, text.data(), text.size());
}

void WriteToDebugger(const std::string& text) noexcept
{
    ::OutputDebugStringA(text.c_str());
}

void WriteToDebugger(const std::wstring& text) noexcept
{
    ::OutputDebugStringW(text.c_str());
}

// The header is ASCII, so a wide line takes it character by character.
template <typename Char>
void EmitTraceV(TraceOrigin origin, const char* tag, const char* function, unsigned line, const Char* format,
                va_list arguments) noexcept
{
    const TraceRoute route = SelectRoute(origin);
    if (route.kind == TraceRoute::Kind::Drop) {
        return;
    }
    try {
        const std::string header = CurrentHeader(tag, function, line);
        std::basic_string<Char> text(header.begin(), header.end());
        Basic::Text::AppendFormatV(text, format, arguments);
        EscapeLineBreaksFrom(text, header.size());
        text += static_cast<Char>('\r');
        text += static_cast<Char>('\n');
        const TraceRouter* router = sRouter.load(std::memory_order_acquire);
        if (route.kind == TraceRoute::Kind::Routed && router != nullptr) {
            Deliver(*router, route, text);
        } else {
            WriteToDebugger(text);
        }
    } catch (const std::bad_alloc&) {
        // A line that cannot be formatted is lost; the caller's result never depends on it.
    }
}

} // namespace

void InstallTraceRouter(const TraceRouter* router) noexcept
{
    sRouter.store(router, std::memory_order_release);
}

std::string FormatTraceHeader(const char* tag, const SYSTEMTIME& time, DWORD processId, DWORD threadId,
                              const char* function, unsigned line)
{
    return Basic::Text::Format("{%s}[%04u-%02u-%02u %02u:%02u:%02u:%03u %u-%u %s,%u]:", tag, time.wYear, time.wMonth,
                               time.wDay, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds,
                               static_cast<unsigned>(processId), static_cast<unsigned>(threadId), function, line);
}

void EmitTraceA(TraceOrigin origin, const char* tag, const char* function, unsigned line, const char* format,
                ...) noexcept
{
    va_list arguments;
    va_start(arguments, format);
    EmitTraceV(origin, tag, function, line, format, arguments);
    va_end(arguments);
}

void EmitTraceW(TraceOrigin origin, const char* tag, const char* function, unsigned line, const wchar_t* format,
                ...) noexcept
{
    va_list arguments;
    va_start(arguments, format);
    EmitTraceV(origin, tag, function, line, format, arguments);
    va_end(arguments);
}

} // namespace TalvexBasic::Logs
