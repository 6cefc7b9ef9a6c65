#include "record/WindowFolderCounts.h"

#include <algorithm>

namespace Morvane {

void WindowFolderCounts::NoteFolder(std::uint64_t window)
{
    ++mCounts[window];
    if (mCounts.size() >= mSweepAt) {
        ForgetThoseGone();
        mSweepAt = std::max(kFirstSweep, mCounts.size() * 2);
    }
}

unsigned WindowFolderCounts::Of(std::uint64_t window) const noexcept
{
    const auto found = mCounts.find(window);
    return found == mCounts.end() ? 0 : found->second;
}

void WindowFolderCounts::ForgetThoseGone()
{
    for (auto it = mCounts.begin(); it != mCounts.end();) {
        it = mExists(it->first) ? std::next(it) : mCounts.erase(it);
    }
}

} // namespace Morvane
