#include "capture/WindowKind.h"

#include <windows.h>

#include <cwctype>

namespace Morvane {
namespace {

// Class names compare without regard to case, as the system compares them.
bool SameName(std::wstring_view name, std::wstring_view expected) noexcept
{
    if (name.size() != expected.size()) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        if (std::towlower(name[i]) != std::towlower(expected[i])) {
            return false;
        }
    }
    return true;
}

bool StartsWith(std::wstring_view name, std::wstring_view prefix) noexcept
{
    return name.size() >= prefix.size() && SameName(name.substr(0, prefix.size()), prefix);
}

bool Contains(std::wstring_view name, std::wstring_view part) noexcept
{
    for (size_t at = 0; at + part.size() <= name.size(); ++at) {
        if (SameName(name.substr(at, part.size()), part)) {
            return true;
        }
    }
    return false;
}

} // namespace

WindowKind JudgeWindowKind(std::wstring_view className, std::uint32_t style, std::uint32_t exStyle) noexcept
{
    // The system's own classes say what they are whatever their styles.
    if (SameName(className, L"#32768")) {
        return WindowKind::Menu;
    }
    if (SameName(className, L"tooltips_class32")) {
        return WindowKind::Tooltip;
    }
    if (SameName(className, L"ComboLBox")) {
        return WindowKind::List;
    }
    if (SameName(className, L"IME") || StartsWith(className, L"MSCTFIME")) {
        return WindowKind::Ime;
    }
    if (SameName(className, L"SysShadow")) {
        return WindowKind::Shadow;
    }
    // Other toolkits name theirs in their own way: a name that says so counts only with the styles
    // such a window has, so that an application's main window that happens to be named so stays a
    // window. A tooltip is a pop-up; a shadow is also one that clicks pass through.
    const bool popup = (style & WS_POPUP) != 0 && (style & WS_CAPTION) != WS_CAPTION;
    if (popup && Contains(className, L"tooltip")) {
        return WindowKind::Tooltip;
    }
    if (popup && (exStyle & WS_EX_TRANSPARENT) != 0 && Contains(className, L"shadow")) {
        return WindowKind::Shadow;
    }
    return WindowKind::Window;
}

const char* WindowKindName(WindowKind kind) noexcept
{
    switch (kind) {
    case WindowKind::Menu:
        return "menu";
    case WindowKind::Tooltip:
        return "tooltip";
    case WindowKind::List:
        return "list";
    case WindowKind::Ime:
        return "ime";
    case WindowKind::Shadow:
        return "shadow";
    case WindowKind::Window:
        break;
    }
    return "window";
}

} // namespace Morvane
