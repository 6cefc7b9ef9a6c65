#include "capture/ParentProcessRule.h"

namespace Morvane {

ParentStanding JudgeParent(const ParentSighting& sighting) noexcept
{
    if (sighting.noParentId) {
        return ParentStanding::None;
    }
    // Services, elevated processes and other accounts' processes refuse even the limited open:
    // they run, but nothing can be read of them.
    if (!sighting.opened && sighting.openDenied) {
        return ParentStanding::Unreadable;
    }
    // An id that opens no process belongs to nothing that runs.
    if (!sighting.opened || !sighting.stillActive) {
        return ParentStanding::Gone;
    }
    if (sighting.parentCreation == 0 || sighting.childCreation == 0) {
        return ParentStanding::Unreadable;
    }
    return sighting.parentCreation <= sighting.childCreation ? ParentStanding::Running : ParentStanding::Gone;
}

} // namespace Morvane
