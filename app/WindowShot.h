#pragma once

#include "WindowInfo.h"

namespace Morvane {

// Writes the window's folder below the output directory: the text record, the window picture
// and the monitor picture. Returns the result of the monitor picture.
HRESULT SaveWindowShot(const WindowInfo& record);

} // namespace Morvane
