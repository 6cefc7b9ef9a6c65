#pragma once

#include <string>
#include <string_view>

namespace TalvexBasic {

// Wide text to the calling thread's ANSI code page: no flags, and the code page's default
// character for whatever it cannot represent. Throws std::bad_alloc when memory runs out.
[[nodiscard]] std::string ToThreadAnsi(std::wstring_view text);

// Wide text as UTF-8 and back, every character kept; what is not valid on its side (an unpaired
// surrogate, a byte that starts no UTF-8 sequence) becomes U+FFFD, as the platform converts it.
// Throws std::bad_alloc when memory runs out.
[[nodiscard]] std::string ToUtf8(std::wstring_view text);
[[nodiscard]] std::wstring FromUtf8(std::string_view text);

} // namespace TalvexBasic
