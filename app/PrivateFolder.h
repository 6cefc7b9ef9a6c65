#pragma once

#include "OutputFolderRule.h"

#include "system/UniqueResource.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace Morvane {

// The security of the folders that hold a run's output: a protected DACL that lets in the user,
// SYSTEM and the Administrators and nobody else, inherited by everything made inside. Run
// folders hold pictures of every window and command lines that may carry secrets.
class PrivateFolderSecurity {
public:
    PrivateFolderSecurity();
    PrivateFolderSecurity(const PrivateFolderSecurity&) = delete;
    PrivateFolderSecurity& operator=(const PrivateFolderSecurity&) = delete;

    // For CreateDirectoryW; null when the user's account or the descriptor could not be had
    // (Result says why), and then the folders get the security they would inherit.
    [[nodiscard]] SECURITY_ATTRIBUTES* Attributes() noexcept;
    [[nodiscard]] HRESULT Result() const noexcept { return mResult; }
    // The account the tool runs as; null when it could not be read.
    [[nodiscard]] PSID User() const noexcept;

private:
    std::vector<std::byte> mTokenUser;
    TalvexBasic::UniqueLocalMemory mDescriptor;
    SECURITY_ATTRIBUTES mAttributes{};
    HRESULT mResult = S_OK;
};

// How an existing folder stands: the folder itself, never what a link in its place points to.
[[nodiscard]] ExistingFolderSighting SightExistingFolder(const std::wstring& path, PSID user);

} // namespace Morvane
