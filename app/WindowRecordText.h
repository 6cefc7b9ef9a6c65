#pragma once

#include "WindowInfo.h"

#include <windows.h>

#include <string>

namespace Morvane {

// The text record "Morvane.Info.txt" of one window: 34 CRLF lines in the thread's ANSI code
// page, the time given being the moment the folder is made.
[[nodiscard]] std::string MakeInfoText(const WindowInfo& record, const SYSTEMTIME& now);

} // namespace Morvane
