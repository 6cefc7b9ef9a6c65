#pragma once

#include <windows.h>

#include <string>

namespace Morvane {

// The system's own words for an error, without the line break and full stop it ends with; empty
// where the system has none.
[[nodiscard]] std::wstring SystemText(DWORD error);

} // namespace Morvane
