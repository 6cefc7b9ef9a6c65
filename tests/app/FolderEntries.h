#pragma once

#include "system/FolderListing.h"

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
    std::vector<TalvexBasic::Files::FolderEntry> listed;
    std::vector<FolderEntry> entries;
    if (FAILED(TalvexBasic::Files::ListFolder(folder, listed))) {
        return entries;
    }
    for (const TalvexBasic::Files::FolderEntry& entry : listed) {
        entries.push_back({entry.mName, entry.IsFolder()});
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& left, const FolderEntry& right) { return left.name < right.name; });
    return entries;
}

inline void PrintTo(const FolderEntry& entry, std::ostream* stream)
{
    *stream << (entry.folder ? "folder " : "file ") << ::testing::PrintToString(entry.name);
}

} // namespace MorvaneTests
