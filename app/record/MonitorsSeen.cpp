#include "record/MonitorsSeen.h"

#include <algorithm>

namespace Morvane {
namespace {

bool SameRect(const RECT& a, const RECT& b) noexcept
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool SameMonitor(const RunMonitor& a, const RunMonitor& b) noexcept
{
    return a.handle == b.handle && a.device == b.device && SameRect(a.rect, b.rect) && a.dpi == b.dpi;
}

} // namespace

void KeepMonitorsSeen(std::vector<RunMonitor>& kept, const std::vector<RunMonitor>& now, const std::string& since)
{
    for (const RunMonitor& listed : now) {
        const auto found = std::find_if(kept.begin(), kept.end(),
                                        [&](const RunMonitor& known) { return SameMonitor(known, listed); });
        if (found != kept.end()) {
            found->workRect = listed.workRect;
            found->flags = listed.flags;
            continue;
        }
        kept.push_back(listed);
        kept.back().since = since;
    }
}

} // namespace Morvane
