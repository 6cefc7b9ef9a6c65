#pragma once

#include <windows.h>

#include <string>

namespace Morvane {

// What a command that changes a setting did: the text and icon of its message box, and the
// program's exit code (0 when done, 1 for a failure).
struct CommandReport {
    std::wstring text;
    UINT icon = MB_ICONINFORMATION;
    int exitCode = 0;
};

} // namespace Morvane
