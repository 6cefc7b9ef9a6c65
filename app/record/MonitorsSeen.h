#pragma once

#include "record/RunEntry.h"

#include <string>
#include <vector>

namespace Morvane {

// Adds the monitors listed now to those kept, so that a record keeps every monitor it saw. A
// monitor is the one kept when its handle, device, rectangle and DPI are the same (a changed
// resolution or scale makes another one); its work area and flags follow the latest listing. A
// monitor not kept yet gets `since`, the time it was listed; the first listing passes an empty one.
void KeepMonitorsSeen(std::vector<RunMonitor>& kept, const std::vector<RunMonitor>& now, const std::string& since);

} // namespace Morvane
