#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace TalvexBasic::Files {

// One entry of a folder as the directory search reports it.
struct FolderEntry {
    std::wstring mName;
    DWORD mAttributes = 0;
    unsigned long long mSize = 0;
    // The last-write time as one number (FILETIME: 100-ns steps since 1601, UTC).
    unsigned long long mLastWriteTime = 0;

    [[nodiscard]] bool IsFolder() const noexcept { return (mAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

// The entries directly in a folder (not below its subfolders), without "." and "..", in the
// order of the directory search. The folder is given without a trailing backslash (one is
// tolerated). The list is written only on success; a folder without entries gives an empty list.
// Writes no trace line: each caller decides what a folder that cannot be listed means to it.
[[nodiscard]] HRESULT ListFolder(const std::wstring& folder, std::vector<FolderEntry>& entries) noexcept;

} // namespace TalvexBasic::Files
