#pragma once

namespace Morvane {

// Why an output folder that already exists may not take the run's pictures and command lines.
enum class FolderRefusal {
    None,
    ReparsePoint, // a link or junction: the pictures would land wherever it points
    ForeignOwner, // made in advance by someone else, who may read or change what goes in it
    OwnerUnknown, // its owner could not be read: nothing says it is not someone else's
};

// An existing folder as the platform showed it.
struct ExistingFolderSighting {
    bool reparsePoint = false;
    bool ownerKnown = false;
    bool ownerIsUser = false;           // the account the tool runs as
    bool ownerIsAdministrators = false; // what elevated processes make their folders owned by
};

// Only the user's own folders, or the administrators', hold the output.
[[nodiscard]] FolderRefusal JudgeExistingFolder(const ExistingFolderSighting& sighting) noexcept;

// The refusal in words for the log: "a reparse point", ...; "" for None.
[[nodiscard]] const wchar_t* FolderRefusalText(FolderRefusal refusal) noexcept;

} // namespace Morvane
