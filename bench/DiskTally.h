#pragma once

#include <set>
#include <utility>

namespace MorvaneBench {

// The bytes of a folder's files counted twice over: once per name (what the folder would take if
// every hard link were a copy) and once per file on the disk (each file index once).
class DiskTally {
public:
    void Add(unsigned long volume, unsigned long long fileIndex, unsigned long long bytes);

    [[nodiscard]] unsigned long long NamedBytes() const noexcept { return mNamedBytes; }
    [[nodiscard]] unsigned long long StoredBytes() const noexcept { return mStoredBytes; }
    [[nodiscard]] unsigned long long Names() const noexcept { return mNames; }
    [[nodiscard]] unsigned long long Files() const noexcept { return mFiles.size(); }

private:
    std::set<std::pair<unsigned long, unsigned long long>> mFiles;
    unsigned long long mNamedBytes = 0;
    unsigned long long mStoredBytes = 0;
    unsigned long long mNames = 0;
};

} // namespace MorvaneBench
