#include "capture/ParentProcessRule.h"

namespace Morvane {

ParentStanding JudgeParent(const ParentSighting& sighting) noexcept
{
    // An id that opens no process belongs to nothing that runs (access denied aside, which the
    // caller reads as not opened too: nothing then says the parent is still the same one).
    if (!sighting.opened || !sighting.stillActive) {
        return ParentStanding::Gone;
    }
    if (sighting.parentCreation == 0 || sighting.childCreation == 0) {
        return ParentStanding::Unreadable;
    }
    return sighting.parentCreation <= sighting.childCreation ? ParentStanding::Running : ParentStanding::Gone;
}

} // namespace Morvane
