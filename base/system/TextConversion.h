#pragma once

#include <string>
#include <string_view>

namespace TalvexBasic {

// Wide text to the calling thread's ANSI code page: no flags, and the code page's default
// character for whatever it cannot represent. Throws std::bad_alloc when memory runs out.
[[nodiscard]] std::string ToThreadAnsi(std::wstring_view text);

} // namespace TalvexBasic
