#pragma once

#include "capture/WindowInfo.h"

#include <windows.h>

#include <string>

namespace Morvane {

// The text record "Morvane.Info.txt" of one window: 34 CRLF lines in the thread's ANSI code
// page, the time given being the moment the folder is made. Carriage returns and line feeds
// inside the caption, class name, image path and device name are written as "\r" and "\n".
[[nodiscard]] std::string MakeInfoText(const WindowInfo& record, const SYSTEMTIME& now);

} // namespace Morvane
