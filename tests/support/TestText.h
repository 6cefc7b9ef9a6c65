#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace TestSupport {

// Wide text in the ANSI code page (1252 here), as the platform converts it: no flags, so each
// character the code page lacks becomes its default character "?".
[[nodiscard]] std::string Narrow(std::wstring_view text);

// Wide text as UTF-8, every character kept.
[[nodiscard]] std::string Utf8(std::wstring_view text);

// The CRLF-ended lines of a text, without their line ends; a last line without one is marked
// "<no line end>".
[[nodiscard]] std::vector<std::string> CrLfLines(const std::string& text);

} // namespace TestSupport
