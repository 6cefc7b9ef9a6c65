#include "capture/PictureReuseRule.h"

#include <algorithm>
#include <utility>

namespace Morvane {

PictureKey MakePictureKey(const unsigned char* data, std::size_t length) noexcept
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (std::size_t index = 0; index < length; ++index) {
        hash = (hash ^ data[index]) * 0x100000001b3ULL;
    }
    return PictureKey{hash, length};
}

const std::wstring* RememberedPictures::Find(const PictureKey& key) const noexcept
{
    const auto found =
        std::find_if(mEntries.rbegin(), mEntries.rend(), [&key](const Entry& entry) { return entry.key == key; });
    return found == mEntries.rend() ? nullptr : &found->path;
}

void RememberedPictures::Remember(const PictureKey& key, const std::wstring& path)
{
    if (mLimit == 0) {
        return;
    }
    // The copy first: a name that cannot be copied leaves the table as it was, and the path may
    // be the name of the key's own entry.
    Entry entry{key, path};
    const auto known =
        std::find_if(mEntries.begin(), mEntries.end(), [&key](const Entry& one) { return one.key == key; });
    if (known != mEntries.end()) {
        mEntries.erase(known);
    } else if (mEntries.size() >= mLimit) {
        mEntries.pop_front();
    }
    mEntries.push_back(std::move(entry));
}

} // namespace Morvane
