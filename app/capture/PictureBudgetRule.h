#pragma once

#include <optional>

namespace Morvane {

// A watch may run for days: its pictures stop before they fill the disk.
constexpr unsigned long long kDefaultMaxRunBytes = 2ULL << 30; // the run folder's limit (--max-size)
constexpr unsigned long long kLeastFreeBytes = 1ULL << 30;     // what the volume keeps free

// Why pictures are no longer written.
enum class PictureStop {
    None,         // pictures go on
    MaxSize,      // the run folder reached its limit
    LowDiskSpace, // the volume has less than kLeastFreeBytes free
};

// Pictures go on while the bytes the run has written stay below its limit and the volume keeps
// kLeastFreeBytes free. Free space that cannot be read stops nothing: the limit still holds.
[[nodiscard]] PictureStop DecidePictures(unsigned long long runBytes, unsigned long long maxRunBytes,
                                         std::optional<unsigned long long> freeBytes) noexcept;

// "maxSize", "lowDiskSpace"; null for None.
[[nodiscard]] const char* PictureStopName(PictureStop stop) noexcept;

} // namespace Morvane
