#pragma once

#include <cstdint>

namespace Morvane {

// What a process snapshot's parent id is worth for a child.
enum class ParentStanding {
    Running,    // the parent runs and started before the child: its facts are the parent's
    Gone,       // no such process now, or one that started later and reuses the id
    Unreadable, // something runs under the id, but it may not be opened or its start is unknown:
                // nothing tells it from a later one
    None,       // id 0: the process was started from outside any process of the system
};

// The parent as the platform left it: whether it could be opened, whether it is still active,
// and both creation times (FILETIME ticks; 0 when unknown). An open refused for want of rights
// still says that a process of that id runs; the snapshot's id 0 names no process at all.
struct ParentSighting {
    bool opened = false;
    bool stillActive = false;
    std::uint64_t parentCreation = 0;
    std::uint64_t childCreation = 0;
    bool openDenied = false;
    bool noParentId = false;
};

// Process ids are reused: a parent counts only while it runs and started before the child.
[[nodiscard]] ParentStanding JudgeParent(const ParentSighting& sighting) noexcept;

} // namespace Morvane
