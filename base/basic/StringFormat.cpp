#include "basic/StringFormat.h"

#include <cstdio>
#include <cwchar>
#include <type_traits>

namespace Basic::Text {
namespace {

// A text longer than this is taken as a format fault rather than grown without end.
constexpr size_t kLargestText = 64u * 1024 * 1024;

int PrintInto(char* buffer, size_t room, const char* format, va_list arguments)
{
    return std::vsnprintf(buffer, room, format, arguments);
}

int PrintInto(wchar_t* buffer, size_t room, const wchar_t* format, va_list arguments)
{
    return std::vswprintf(buffer, room, format, arguments);
}

// vsnprintf says how long a text that did not fit is, so a second try always fits; vswprintf
// says only that it did not fit, so the buffer doubles until it does.
template <typename Char> void AppendFormatted(std::basic_string<Char>& text, const Char* format, va_list arguments)
{
    constexpr bool kPrinterMeasures = std::is_same_v<Char, char>;
    const size_t start = text.size();
    size_t room = 512;
    while (room <= kLargestText) {
        text.resize(start + room);
        va_list attempt;
        va_copy(attempt, arguments);
        const int length = PrintInto(&text[start], room, format, attempt);
        va_end(attempt);
        if (length >= 0 && static_cast<size_t>(length) < room) {
            text.resize(start + static_cast<size_t>(length));
            return;
        }
        if (!kPrinterMeasures) {
            room *= 2;
        } else if (length >= 0) {
            room = static_cast<size_t>(length) + 1;
        } else {
            break;
        }
    }
    text.resize(start);
}

template <typename Char> std::basic_string<Char> Formatted(const Char* format, va_list arguments)
{
    std::basic_string<Char> text;
    AppendFormatted(text, format, arguments);
    return text;
}

} // namespace

void AppendFormatV(std::string& text, const char* format, va_list arguments)
{
    AppendFormatted(text, format, arguments);
}

void AppendFormatV(std::wstring& text, const wchar_t* format, va_list arguments)
{
    AppendFormatted(text, format, arguments);
}

// A C-variadic function starts and ends its own va_list, and the printf check of the narrow
// forms cannot sit on a template: so the entry points stay one per character type.
void AppendFormat(std::string& text, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    AppendFormatted(text, format, arguments);
    va_end(arguments);
}

void AppendFormat(std::wstring& text, const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    AppendFormatted(text, format, arguments);
    va_end(arguments);
}

std::string Format(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::string text = Formatted(format, arguments);
    va_end(arguments);
    return text;
}

std::wstring Format(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::wstring text = Formatted(format, arguments);
    va_end(arguments);
    return text;
}

} // namespace Basic::Text
