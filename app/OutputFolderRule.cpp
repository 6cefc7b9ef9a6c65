#include "OutputFolderRule.h"

namespace Morvane {

FolderRefusal JudgeExistingFolder(const ExistingFolderSighting& sighting) noexcept
{
    if (sighting.reparsePoint) {
        return FolderRefusal::ReparsePoint;
    }
    if (!sighting.ownerKnown) {
        return FolderRefusal::OwnerUnknown;
    }
    if (!sighting.ownerIsUser && !sighting.ownerIsAdministrators) {
        return FolderRefusal::ForeignOwner;
    }
    return FolderRefusal::None;
}

const wchar_t* FolderRefusalText(FolderRefusal refusal) noexcept
{
    switch (refusal) {
    case FolderRefusal::None:
        return L"";
    case FolderRefusal::ReparsePoint:
        return L"a reparse point";
    case FolderRefusal::ForeignOwner:
        return L"owned by another account";
    case FolderRefusal::OwnerUnknown:
        return L"of unknown owner";
    }
    return L"";
}

} // namespace Morvane
