#pragma once

#include "logs/Trace.h"
#include "system/HResult.h"

#include <windows.h>

#include <type_traits>

namespace TalvexBasic {

// How a failed call's last error becomes its result. A failed call is never success: a last
// error of 0 gives E_FAIL, or E_UNEXPECTED for the captures, whose callers expect that code.
enum class LastErrorRule {
    Standard,
    Capture,
};

[[nodiscard]] constexpr HRESULT HResultOfFailedCall(DWORD error, LastErrorRule rule) noexcept
{
    return rule == LastErrorRule::Capture ? CaptureHResultFromWin32(error) : FailureHResultFromWin32(error);
}

// One failing platform call: reads the last error before anything else runs, emits the trace
// line with the error number appended as the format's last argument, and returns the mapped
// code. Used through the macros below, so that the line is that of the caller.
template <typename Char, typename... Arguments>
[[nodiscard]] HRESULT FailWithLastError(Logs::TraceOrigin origin, const char* tag, const char* function, unsigned line,
                                        LastErrorRule rule, const Char* format, Arguments... arguments) noexcept
{
    const DWORD error = ::GetLastError();
    if constexpr (std::is_same_v<Char, wchar_t>) {
        Logs::EmitTraceW(origin, tag, function, line, format, arguments..., static_cast<unsigned>(error));
    } else {
        Logs::EmitTraceA(origin, tag, function, line, format, arguments..., static_cast<unsigned>(error));
    }
    return HResultOfFailedCall(error, rule);
}

// Never called: lets the compiler check a failure line's format against its arguments and the
// last error that FailWithLastError appends to them.
inline void CheckFailureFormat(const char* format, ...) noexcept BASIC_PRINTF_CHECK(1, 2);
inline void CheckFailureFormat(const char*, ...) noexcept
{
}

} // namespace TalvexBasic

#define TALVEX_CHECK_FAILURE_FORMAT(...)                                                                               \
    static_cast<void>(sizeof(::TalvexBasic::CheckFailureFormat(__VA_ARGS__, 0u), 0))

// TALVEX_FAIL_LAST_ERROR(function, rule, "Call(%u) error:%u.", argument): the last "%u" is the
// last error.
#define TALVEX_FAIL_LAST_ERROR(function, rule, ...)                                                                    \
    ::TalvexBasic::FailWithLastError(::TalvexBasic::Logs::TraceOrigin::Library, TALVEX_BUILD_STAMP, function,          \
                                     __LINE__, rule, __VA_ARGS__)
#define TALVEX_FAIL_LAST_ERROR_W(function, rule, ...)                                                                  \
    ::TalvexBasic::FailWithLastError(::TalvexBasic::Logs::TraceOrigin::Library, TALVEX_BUILD_STAMP, function,          \
                                     __LINE__, rule, __VA_ARGS__)
#define TALVEX_DIRECT_FAIL_LAST_ERROR_W(tag, function, rule, ...)                                                      \
    ::TalvexBasic::FailWithLastError(::TalvexBasic::Logs::TraceOrigin::Direct, tag, function, __LINE__, rule,          \
                                     __VA_ARGS__)
