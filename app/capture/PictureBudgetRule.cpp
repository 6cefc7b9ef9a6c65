#include "capture/PictureBudgetRule.h"

namespace Morvane {

PictureStop DecidePictures(unsigned long long runBytes, unsigned long long maxRunBytes,
                           std::optional<unsigned long long> freeBytes) noexcept
{
    if (runBytes >= maxRunBytes) {
        return PictureStop::MaxSize;
    }
    if (freeBytes && *freeBytes < kLeastFreeBytes) {
        return PictureStop::LowDiskSpace;
    }
    return PictureStop::None;
}

const char* PictureStopName(PictureStop stop) noexcept
{
    switch (stop) {
    case PictureStop::MaxSize:
        return "maxSize";
    case PictureStop::LowDiskSpace:
        return "lowDiskSpace";
    case PictureStop::None:
        break;
    }
    return nullptr;
}

} // namespace Morvane
