#pragma once

#include "record/RunEntry.h"

#include <string>
#include <string_view>
#include <vector>

namespace Morvane {

enum class RunFileRead { Read, Missing, Unreadable };

// A run's file read whole, also one that a running watch appends to.
[[nodiscard]] RunFileRead ReadRunFile(const std::wstring& path, std::string& content);
// Its first bytes at most; whole tells whether they are all of it.
[[nodiscard]] RunFileRead ReadRunFileStart(const std::wstring& path, size_t bytes, std::string& content,
                                           bool& whole);

// Names of the folders directly in a folder; none when it cannot be listed.
[[nodiscard]] std::vector<std::wstring> FoldersIn(const std::wstring& folder);

// What this run needs of an earlier run's record.
struct EarlierRun {
    std::wstring folderName;
    long long startedAtUtc = 0; // milliseconds, see ParseLocalTime
    std::vector<WindowKey> savedWindows;
};

// Reads a run record's text; false, with the reason, when it is not a usable record.
[[nodiscard]] bool ReadEarlierRun(std::string_view text, EarlierRun& run, std::string& why);

// The key of a window of this run.
[[nodiscard]] WindowKey KeyOf(const RunWindow& window);

// Marks each saved window that has no counterpart among the earlier run's saved windows (keys
// matched as a multiset) as new, and returns the earlier windows left over, by key.
[[nodiscard]] std::vector<GoneWindow> CompareWithEarlierRun(std::vector<RunWindow>& windows,
                                                            const std::vector<WindowKey>& earlierSaved);
// The same over the keys of this run's saved windows, in their order: isNew gets one flag a key.
[[nodiscard]] std::vector<GoneWindow> CompareKeysWithEarlierRun(const std::vector<WindowKey>& keys,
                                                                std::vector<bool>& isNew,
                                                                const std::vector<WindowKey>& earlierSaved);

// Among the other run folders beside the output directory, the one whose readable record has the
// latest start; false when there is none. A folder without a usable record costs one trace line.
[[nodiscard]] bool FindPreviousRun(const std::wstring& outputDirectory, EarlierRun& previous);

} // namespace Morvane
