#pragma once

#include "support/TestPaths.h"

#include <string>

namespace MorvaneTests {

using TestSupport::UnixPathOf;

// What a Unix shell command writes on its standard output, run through Wine (which starts a Unix
// program given by its path on the Z: drive, without a handle or standard handles): the answer
// comes back through a file in the given scratch folder, written under another name and renamed
// once complete. Empty where that cannot be done.
[[nodiscard]] std::string UnixCommandOutput(const std::string& command, const std::wstring& scratch);

// A folder's Unix mode bits in octal ("750") as Linux's own stat reads them.
[[nodiscard]] std::string UnixModeOf(const std::wstring& path, const std::wstring& scratch);

// A DACL that keeps a folder to the user, SYSTEM and Administrators leaves nothing to others (Wine
// gives the user's own entry to the file's user and group alike: 750 under umask 022).
[[nodiscard]] bool UsersAlone(const std::string& mode);

} // namespace MorvaneTests
