#pragma once

#include <string>
#include <string_view>

namespace Morvane {

// The run page: one self-contained HTML file that shows the run record given as JSON text. The
// record travels as inert JSON data; only the page's own script, marked with the nonce, may run.
[[nodiscard]] std::string MakeRunPage(std::string_view recordJson, std::string_view nonce);

// JSON text made safe inside a <script> element: '<', '>' and '&' as \u003c, \u003e, \u0026.
// These characters can only stand inside JSON strings, where the escapes mean the same.
[[nodiscard]] std::string EscapeJsonForScript(std::string_view json);

} // namespace Morvane
