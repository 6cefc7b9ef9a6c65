#include "basic/StringFormat.h"

#include <cstdio>
#include <cwchar>

namespace Basic::Text {
namespace {

// A wide line longer than this is taken as a format fault rather than grown without end.
constexpr size_t kLargestWideText = 64u * 1024 * 1024;

} // namespace

void AppendFormatV(std::string& text, const char* format, va_list arguments)
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
    va_list write;
    va_copy(write, arguments);
    std::vsnprintf(&text[start], static_cast<size_t>(length) + 1, format, write);
    va_end(write);
    text.resize(start + static_cast<size_t>(length));
}

// vswprintf only reports "did not fit", so the buffer grows until the text fits.
void AppendFormatV(std::wstring& text, const wchar_t* format, va_list arguments)
{
    const size_t start = text.size();
    for (size_t room = 512; room <= kLargestWideText; room *= 2) {
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

void AppendFormat(std::string& text, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    AppendFormatV(text, format, arguments);
    va_end(arguments);
}

void AppendFormat(std::wstring& text, const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    AppendFormatV(text, format, arguments);
    va_end(arguments);
}

std::string Format(const char* format, ...)
{
    std::string text;
    va_list arguments;
    va_start(arguments, format);
    AppendFormatV(text, format, arguments);
    va_end(arguments);
    return text;
}

std::wstring Format(const wchar_t* format, ...)
{
    std::wstring text;
    va_list arguments;
    va_start(arguments, format);
    AppendFormatV(text, format, arguments);
    va_end(arguments);
    return text;
}

} // namespace Basic::Text
