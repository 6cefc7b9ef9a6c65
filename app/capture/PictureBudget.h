#pragma once

#include "RunClock.h"
#include "capture/PictureBudgetRule.h"

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>

namespace Morvane {

// A watch's disk budget (DecidePictures): it counts the bytes the run writes into its folder as
// they are written, and reads the volume's free space at most once a second, so that a window
// that just appeared does not wait on the file system before its picture. Once pictures stop
// they stay stopped, so that the record names one moment and one reason.
class PictureBudget {
public:
    PictureBudget(std::wstring runFolder, unsigned long long maxRunBytes, const RunClock& clock);

    // True while pictures may be written. The first time not, the stop is noted with its time.
    [[nodiscard]] bool AllowsPictures();

    // A file of the run folder just written: its size counts (0 when it is not there). These two
    // may be called by the thread that writes a watch's pictures while another decides.
    void CountFile(const std::wstring& path) noexcept;
    void Count(unsigned long long bytes) noexcept { mWindowBytes += bytes; }

    // The files that are written anew as a whole (the record and page): their sizes now.
    void CountRewritten(const std::wstring& firstPath, const std::wstring& secondPath) noexcept;

    [[nodiscard]] unsigned long long MaxRunBytes() const noexcept { return mMaxRunBytes; }
    [[nodiscard]] unsigned long long BytesWritten() const noexcept { return mWindowBytes + mRewrittenBytes; }
    [[nodiscard]] PictureStop Stop() const noexcept { return mStop; }
    // When pictures stopped, local time as the record's; empty while they go on.
    [[nodiscard]] const std::string& StoppedAt() const noexcept { return mStoppedAt; }

private:
    std::wstring mRunFolder;
    unsigned long long mMaxRunBytes;
    const RunClock& mClock;
    std::atomic<unsigned long long> mWindowBytes{0};
    unsigned long long mRewrittenBytes = 0;
    PictureStop mStop = PictureStop::None;
    std::string mStoppedAt;
    bool mFreeSpaceFailureTold = false;
    bool mFreeSpaceRead = false;
    ULONGLONG mFreeSpaceReadAt = 0; // GetTickCount64
    std::optional<unsigned long long> mFreeBytes;
};

} // namespace Morvane
