#pragma once

#include <cstdint>
#include <string_view>

namespace Morvane {

// What a top-level window is for, as far as its class and styles tell. Menus, tooltips,
// drop-down lists, input method windows and drop shadows come and go all day on a desktop in use:
// they are saved with their window picture, but without a monitor picture, and the page folds
// them away. Everything else is a "window", saved in full.
enum class WindowKind {
    Window,
    Menu,
    Tooltip,
    List,  // the list of a drop-down combo box
    Ime,   // a window of an input method
    Shadow // the drop shadow drawn under a menu or tooltip
};

[[nodiscard]] WindowKind JudgeWindowKind(std::wstring_view className, std::uint32_t style,
                                         std::uint32_t exStyle) noexcept;

// "window", "menu", "tooltip", "list", "ime", "shadow".
[[nodiscard]] const char* WindowKindName(WindowKind kind) noexcept;

} // namespace Morvane
