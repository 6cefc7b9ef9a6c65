#pragma once

#include <windows.h>

#include <string>

namespace TalvexBasic::Files {

class Directory {
public:
    // Creates every missing folder up to the last backslash of the path: give a directory with
    // its trailing backslash; for a file path the folders above the file are created. Folders
    // are made from the wide path level by level, so a name keeps every character it holds;
    // folders that already exist are fine, a file in the way is an error.
    [[nodiscard]] static HRESULT MakeSureDirectoryPathExists$Static(const std::wstring& path) noexcept;

    // The same, but each folder created whose path is longer than securedFrom characters gets the
    // given security (a folder that already exists keeps its own).
    [[nodiscard]] static HRESULT MakeSureDirectoryPathExists$Static(const std::wstring& path,
                                                                    SECURITY_ATTRIBUTES* security,
                                                                    size_t securedFrom) noexcept;
};

} // namespace TalvexBasic::Files
