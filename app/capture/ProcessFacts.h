#pragma once

#include "capture/VersionStrings.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace Morvane {

// What a process tells of where it came from. Each fact that cannot be read stays empty, and a
// trace line says why; reading never fails as a whole.
struct ProcessFacts {
    std::uint32_t processId = 0;
    std::uint64_t creationTime = 0; // FILETIME ticks; 0 when unknown
    std::wstring imagePath;
    std::optional<std::wstring> commandLine;
    std::optional<std::uint32_t> parentProcessId; // as the process snapshot names it
    std::optional<std::wstring> parentImagePath;  // only while that parent is still the one
    bool parentGone = false;                      // the parent has ended, or its id was reused
    bool parentUnreadable = false; // a process runs under the parent id, but may not be read
    VersionStrings version; // of the image file: read apart, once per image path
};

// Reads the facts of one process but its version strings; imagePath is its executable, as the
// window's sample read it.
[[nodiscard]] ProcessFacts ReadProcessFacts(std::uint32_t processId, const std::wstring& imagePath);

// The whole command line of another process: asked of the system first, then read from the
// process's own parameters (Wine answers the first with STATUS_INVALID_INFO_CLASS). The handle
// needs limited query and VM-read rights. Written only on success.
[[nodiscard]] HRESULT ReadCommandLine(HANDLE process, std::wstring& commandLine);

// The executable of a process through a handle with the limited query right alone (which
// processes of other accounts and elevated ones grant where they refuse more); empty when even
// that open is refused.
[[nodiscard]] std::wstring ReadLimitedImagePathOf(std::uint32_t processId);

} // namespace Morvane
