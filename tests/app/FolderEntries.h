#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

namespace MorvaneTests {

struct FolderEntry {
    std::wstring name;
    bool folder = false;

    bool operator==(const FolderEntry& other) const { return name == other.name && folder == other.folder; }
};

// Every entry directly in a folder, files and folders alike, sorted by name.
inline std::vector<FolderEntry> EntriesIn(const std::wstring& folder)
{
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW entry{};
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            entries.push_back({name, (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
        }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& left, const FolderEntry& right) { return left.name < right.name; });
    return entries;
}

inline void PrintTo(const FolderEntry& entry, std::ostream* stream)
{
    *stream << (entry.folder ? "folder " : "file ") << ::testing::PrintToString(entry.name);
}

} // namespace MorvaneTests
