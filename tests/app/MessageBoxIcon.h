#pragma once

#include <windows.h>

namespace MorvaneTests {

enum class BoxIcon {
    None, // no icon shown
    Error,
    Warning,
    Information,
    Question,
    Unknown, // an icon that looks like none of the standard ones
};

[[nodiscard]] const char* NameOf(BoxIcon icon) noexcept;

// The icon that a message box of another process shows, told by its pixels on the screen: the
// box's icon control is compared with each standard icon drawn here on the same background.
// Call it while the box is up.
[[nodiscard]] BoxIcon ShownIcon(HWND box);

} // namespace MorvaneTests
