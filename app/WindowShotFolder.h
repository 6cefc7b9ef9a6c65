#pragma once

#include "WindowInfo.h"

#include <string>

namespace Morvane {

// "<output directory>\WindowShot\[<image name>]-0x<handle>-<pid>-<tid>\", with the trailing
// backslash.
[[nodiscard]] std::wstring MakeWindowShotFolder(const std::wstring& outputDirectory, const WindowInfo& record);

} // namespace Morvane
