#pragma once

#include "capture/WindowInfo.h"

namespace Morvane {

// Describes a sampled window in five trace lines, framed by lines of asterisks.
void Log(const WindowInfo& record);

} // namespace Morvane
