#pragma once

#include <windows.h>

#include <string>

namespace Morvane {

// The whole window text, however long, read without sending the window a message.
[[nodiscard]] std::wstring ReadWholeWindowText(HWND window);

// The window's class name; empty when it cannot be read.
[[nodiscard]] std::wstring ReadClassName(HWND window);

} // namespace Morvane
