#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace Basic::Text {

#if defined(__GNUC__)
#define BASIC_PRINTF_CHECK(formatIndex, firstArgument)                                                                 \
    __attribute__((format(__MINGW_PRINTF_FORMAT, formatIndex, firstArgument)))
#else
#define BASIC_PRINTF_CHECK(formatIndex, firstArgument)
#endif

// printf-style formatting that grows its buffer until the whole text fits: nothing is ever cut.
// A format that cannot be applied appends nothing. Throws std::bad_alloc when memory runs out.
void AppendFormatV(std::string& text, const char* format, va_list arguments);
void AppendFormatV(std::wstring& text, const wchar_t* format, va_list arguments);

void AppendFormat(std::string& text, const char* format, ...) BASIC_PRINTF_CHECK(2, 3);
void AppendFormat(std::wstring& text, const wchar_t* format, ...);

[[nodiscard]] std::string Format(const char* format, ...) BASIC_PRINTF_CHECK(1, 2);
[[nodiscard]] std::wstring Format(const wchar_t* format, ...);

} // namespace Basic::Text
