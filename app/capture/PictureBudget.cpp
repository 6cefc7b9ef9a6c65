#include "capture/PictureBudget.h"

#include "MorvaneTrace.h"
#include "record/RunRecord.h"

#include <optional>
#include <utility>

namespace Morvane {
namespace {

constexpr const char* kAllowsPictures = "Morvane::PictureBudget::AllowsPictures";
// A second's pictures are far from a gigabyte.
constexpr ULONGLONG kFreeSpaceInterval = 1000;

unsigned long long FileBytes(const std::wstring& path) noexcept
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace

PictureBudget::PictureBudget(std::wstring runFolder, unsigned long long maxRunBytes, const RunClock& clock)
    : mRunFolder(std::move(runFolder)), mMaxRunBytes(maxRunBytes), mClock(clock)
{
}

bool PictureBudget::AllowsPictures()
{
    if (mStop != PictureStop::None) {
        return false;
    }
    const ULONGLONG now = ::GetTickCount64();
    if (!mFreeSpaceRead || now - mFreeSpaceReadAt >= kFreeSpaceInterval) {
        mFreeSpaceRead = true;
        mFreeSpaceReadAt = now;
        // The space left to this user (quotas included) is what the pictures may fill.
        ULARGE_INTEGER available{};
        mFreeBytes.reset();
        if (::GetDiskFreeSpaceExW((mRunFolder + L"\\").c_str(), &available, nullptr, nullptr)) {
            mFreeBytes = available.QuadPart;
        } else if (!mFreeSpaceFailureTold) {
            mFreeSpaceFailureTold = true;
            MORVANE_TRACE(kAllowsPictures, "GetDiskFreeSpaceExW error:%lu; only the run's limit holds.",
                          static_cast<unsigned long>(::GetLastError()));
        }
    }
    const std::optional<unsigned long long> freeBytes = mFreeBytes;
    mStop = DecidePictures(BytesWritten(), mMaxRunBytes, freeBytes);
    if (mStop == PictureStop::None) {
        return true;
    }
    const LocalInstant stoppedAt = mClock.Now();
    mStoppedAt = FormatLocalTime(stoppedAt.time, stoppedAt.offsetMinutes);
    MORVANE_TRACE(kAllowsPictures, "Pictures stop (%s): %llu bytes written of %llu, %llu bytes free.",
                  PictureStopName(mStop), BytesWritten(), mMaxRunBytes, freeBytes ? *freeBytes : 0ULL);
    return false;
}

void PictureBudget::CountFile(const std::wstring& path) noexcept
{
    mWindowBytes += FileBytes(path);
}

void PictureBudget::CountRewritten(const std::wstring& firstPath, const std::wstring& secondPath) noexcept
{
    mRewrittenBytes = FileBytes(firstPath) + FileBytes(secondPath);
}

} // namespace Morvane
