#pragma once

#include <windows.h>

#include <string>

namespace TestSupport {

// Which file on the disk a name leads to, and how many names that file has. Two names of one
// file (hard links) have the same volume and index.
struct FileIdentity {
    bool read = false; // the file could be opened and asked
    DWORD volume = 0;
    unsigned long long index = 0;
    DWORD links = 0;

    [[nodiscard]] bool SameFileAs(const FileIdentity& other) const noexcept
    {
        return read && other.read && volume == other.volume && index == other.index;
    }
};

[[nodiscard]] FileIdentity IdentifyFile(const std::wstring& path);

} // namespace TestSupport
