#pragma once

#include <string>
#include <string_view>

namespace Basic::Text {

// A value written inside one line of text (a record line, a trace line) must not start a line
// of its own: each carriage return becomes the two characters "\r" and each line feed "\n".
// Everything else, tabs and backslashes included, is kept as it is. Throws std::bad_alloc when
// memory runs out.
template <typename Character>
[[nodiscard]] std::basic_string<Character> EscapeLineBreaks(std::basic_string_view<Character> text)
{
    std::basic_string<Character> escaped;
    escaped.reserve(text.size());
    for (const Character character : text) {
        if (character == Character('\r')) {
            escaped += Character('\\');
            escaped += Character('r');
        } else if (character == Character('\n')) {
            escaped += Character('\\');
            escaped += Character('n');
        } else {
            escaped += character;
        }
    }
    return escaped;
}

[[nodiscard]] inline std::string EscapeLineBreaks(std::string_view text)
{
    return EscapeLineBreaks<char>(text);
}

[[nodiscard]] inline std::wstring EscapeLineBreaks(std::wstring_view text)
{
    return EscapeLineBreaks<wchar_t>(text);
}

// Whether the text holds a carriage return or a line feed at all, so that callers on a hot path
// can skip the copy.
template <typename Character> [[nodiscard]] constexpr bool HasLineBreak(std::basic_string_view<Character> text) noexcept
{
    for (const Character character : text) {
        if (character == Character('\r') || character == Character('\n')) {
            return true;
        }
    }
    return false;
}

[[nodiscard]] constexpr bool HasLineBreak(std::string_view text) noexcept
{
    return HasLineBreak<char>(text);
}

[[nodiscard]] constexpr bool HasLineBreak(std::wstring_view text) noexcept
{
    return HasLineBreak<wchar_t>(text);
}

} // namespace Basic::Text
