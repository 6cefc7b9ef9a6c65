#pragma once

#include "capture/WindowInfo.h"

#include <string>

namespace Morvane {

// "<output directory>\WindowShot\[<image name>]-0x<handle>-<pid>-<tid>\", with the trailing
// backslash. The image name is kept exactly, except for characters no folder name may hold
// ('/', control characters, <>:"|?*), which become '_': the folder is always one level below
// WindowShot.
[[nodiscard]] std::wstring MakeWindowShotFolder(const std::wstring& outputDirectory, const WindowInfo& record);

// "WindowShot/[<image name>]-0x<handle>-<pid>-<tid>": the same folder relative to the output
// directory, with '/' and no trailing one, as the run record names it.
[[nodiscard]] std::wstring MakeRelativeWindowShotFolder(const WindowInfo& record);

} // namespace Morvane
