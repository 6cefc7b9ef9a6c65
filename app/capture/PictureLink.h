#pragma once

#include <windows.h>

#include <string>

namespace Morvane {

// What storing a picture's bytes once more gave: the result, and whether the file is a further
// name of the earlier one (it took no room of its own on the disk).
struct StoredAgain {
    HRESULT result = E_PENDING;
    bool linked = false;
};

// Stores JPEG bytes that an earlier file of the run holds at the path: as a further name (hard
// link) of that file, or, where no link can be made (names on two volumes, a file with all the
// names its volume allows, the earlier file gone; none given), as a copy written from the bytes.
// A link that fails has a trace line under the caller's function name before the copy.
// Safe because no picture file is written twice in a run: each window has a folder of its own,
// so a file, once written, keeps its bytes under all its names.
[[nodiscard]] StoredAgain StoreJpegAgain(const std::wstring& earlier, const std::wstring& path,
                                         const unsigned char* data, unsigned int length,
                                         const char* traceFunction) noexcept;

} // namespace Morvane
