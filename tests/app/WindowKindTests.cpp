// What kind of window a class name and styles make: the system's own short-lived classes
// whatever their styles, other toolkits' only with the styles such windows have.

#include "capture/WindowKind.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

using Morvane::WindowKind;

TEST(WindowKind, FollowsTheClassNameAndStyles)
{
    constexpr DWORD kPopup = WS_POPUP;
    constexpr DWORD kFramed = WS_OVERLAPPEDWINDOW;
    constexpr DWORD kPassThrough = WS_EX_LAYERED | WS_EX_TRANSPARENT;
    const struct {
        const wchar_t* className;
        DWORD style;
        DWORD exStyle;
        WindowKind expected;
        const char* name;
    } cases[] = {
        {L"#32768", kPopup, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WindowKind::Menu, "menu"},
        {L"#32768", 0, 0, WindowKind::Menu, "menu"},
        {L"tooltips_class32", kPopup, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WindowKind::Tooltip, "tooltip"},
        {L"Tooltips_Class32", kFramed, 0, WindowKind::Tooltip, "tooltip"},
        {L"ComboLBox", kPopup, WS_EX_TOOLWINDOW, WindowKind::List, "list"},
        {L"IME", kPopup, 0, WindowKind::Ime, "ime"},
        {L"MSCTFIME UI", kPopup, 0, WindowKind::Ime, "ime"},
        {L"MSCTFIME Composition", kPopup, 0, WindowKind::Ime, "ime"},
        {L"SysShadow", kPopup, kPassThrough, WindowKind::Shadow, "shadow"},
        {L"sysshadow", 0, 0, WindowKind::Shadow, "shadow"},
        // Other toolkits: the name counts with the styles.
        {L"Toolkit_ToolTipWindow", kPopup, WS_EX_TOPMOST, WindowKind::Tooltip, "tooltip"},
        {L"Toolkit_ToolTipWindow", kFramed, 0, WindowKind::Window, "window"},
        {L"Toolkit_ToolTipWindow", WS_CHILD, 0, WindowKind::Window, "window"},
        {L"PopupDropShadow", kPopup, kPassThrough, WindowKind::Shadow, "shadow"},
        {L"PopupDropShadow", kPopup, WS_EX_LAYERED, WindowKind::Window, "window"},
        {L"PopupDropShadow", kFramed, kPassThrough, WindowKind::Window, "window"},
        // Near misses stay windows.
        {L"#32770", kPopup, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WindowKind::Window, "window"},
        {L"#327680", kPopup, 0, WindowKind::Window, "window"},
        {L"ComboBox", kPopup, 0, WindowKind::Window, "window"},
        {L"IMEPad", kPopup, 0, WindowKind::Window, "window"},
        {L"MSCTF", kPopup, 0, WindowKind::Window, "window"},
        {L"", kPopup, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WindowKind::Window, "window"},
        {L"Notepad", kFramed, 0, WindowKind::Window, "window"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.style) + " " + std::to_string(c.exStyle));
        const WindowKind kind = Morvane::JudgeWindowKind(c.className, c.style, c.exStyle);
        EXPECT_EQ(kind, c.expected) << static_cast<int>(kind);
        EXPECT_STREQ(Morvane::WindowKindName(kind), c.name);
    }
}

} // namespace
