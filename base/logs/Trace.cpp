#include "logs/Trace.h"

#include "logs/TraceRouting.h"
#include "system/TextConversion.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <new>

namespace TalvexBasic::Logs {
namespace {

constexpr size_t kLargestLine = 16u * 1024 * 1024;

std::string CurrentHeader(const char* tag, const char* function, unsigned line)
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return FormatTraceHeader(tag, now, ::GetCurrentProcessId(), ::GetCurrentThreadId(), function, line);
}

// Appends a formatted message; the caller has already put the header in front.
void AppendFormatted(std::string& text, const char* format, va_list arguments)
{
    va_list measure;
    va_copy(measure, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) {
        return;
    }
    const size_t start = text.size();
    text.resize(start + static_cast<size_t>(length) + 1);
    std::vsnprintf(&text[start], static_cast<size_t>(length) + 1, format, arguments);
    text.resize(start + static_cast<size_t>(length));
}

// vswprintf reports only "did not fit", so the buffer grows until the message fits.
void AppendFormatted(std::wstring& text, const wchar_t* format, va_list arguments)
{
    const size_t start = text.size();
    for (size_t room = 512; room <= kLargestLine; room *= 2) {
        text.resize(start + room);
        va_list attempt;
        va_copy(attempt, arguments);
        const int length = std::vswprintf(&text[start], room, format, attempt);
        va_end(attempt);
        if (length >= 0 && static_cast<size_t>(length) < room) {
            text.resize(start + static_cast<size_t>(length));
            return;
        }
    }
    text.resize(start);
}

std::string FormatNarrow(const char* format, ...) TALVEX_PRINTF_CHECK(1, 2);
std::string FormatNarrow(const char* format, ...)
{
    std::string text;
    va_list arguments;
    va_start(arguments, format);
    AppendFormatted(text, format, arguments);
    va_end(arguments);
    return text;
}

std::wstring Widen(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

} // namespace

std::string FormatTraceHeader(const char* tag, const SYSTEMTIME& time, DWORD processId, DWORD threadId,
                              const char* function, unsigned line)
{
    return FormatNarrow("{%s}[%04u-%02u-%02u %02u:%02u:%02u:%03u %u-%u %s,%u]:", tag, time.wYear, time.wMonth,
                        time.wDay, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds,
                        static_cast<unsigned>(processId), static_cast<unsigned>(threadId), function, line);
}

void EmitTraceA(TraceOrigin origin, const char* tag, const char* function, unsigned line, const char* format,
                ...) noexcept
{
    const TraceRoute route = origin == TraceOrigin::Direct ? TraceRoute{} : SelectTraceRoute(origin);
    if (route.kind == TraceRoute::Kind::Drop) {
        return;
    }
    try {
        std::string text = CurrentHeader(tag, function, line);
        va_list arguments;
        va_start(arguments, format);
        AppendFormatted(text, format, arguments);
        va_end(arguments);
        text += "\r\n";
        if (route.kind == TraceRoute::Kind::LogManager) {
            DeliverRoutedLine(route, text.data(), static_cast<unsigned>(text.size()));
        } else {
            ::OutputDebugStringA(text.c_str());
        }
    } catch (const std::bad_alloc&) {
        // A line that cannot be formatted is lost; the caller's result never depends on it.
    }
}

void EmitTraceW(TraceOrigin origin, const char* tag, const char* function, unsigned line, const wchar_t* format,
                ...) noexcept
{
    const TraceRoute route = origin == TraceOrigin::Direct ? TraceRoute{} : SelectTraceRoute(origin);
    if (route.kind == TraceRoute::Kind::Drop) {
        return;
    }
    try {
        std::wstring text = Widen(CurrentHeader(tag, function, line));
        va_list arguments;
        va_start(arguments, format);
        AppendFormatted(text, format, arguments);
        va_end(arguments);
        text += L"\r\n";
        if (route.kind == TraceRoute::Kind::LogManager) {
            const std::string narrow = ToThreadAnsi(text);
            DeliverRoutedLine(route, narrow.data(), static_cast<unsigned>(narrow.size()));
        } else {
            ::OutputDebugStringW(text.c_str());
        }
    } catch (const std::bad_alloc&) {
    }
}

} // namespace TalvexBasic::Logs
