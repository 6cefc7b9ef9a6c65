#pragma once

#include "system/UniqueResource.h"

#include <windows.h>

namespace TalvexBasic::Drawings {

// A DC made with CreateCompatibleDC or CreateDC; freed with DeleteDC.
struct MemoryDcTraits {
    using Type = HDC;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type dc) noexcept { ::DeleteDC(dc); }
};

// The DC of a window, from GetWindowDC or GetDC; given back to its window with ReleaseDC.
struct WindowDc {
    HWND window = nullptr;
    HDC dc = nullptr;
    friend bool operator==(const WindowDc& left, const WindowDc& right) noexcept { return left.dc == right.dc; }
};
struct WindowDcTraits {
    using Type = WindowDc;
    static Type Invalid() noexcept { return {}; }
    static void Close(Type windowDc) noexcept { ::ReleaseDC(windowDc.window, windowDc.dc); }
};

// A bitmap, brush, pen or font; freed with DeleteObject. It must not be selected into a DC at
// that time, or the platform refuses to free it.
template <typename Object> struct GdiObjectTraits {
    using Type = Object;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type object) noexcept { ::DeleteObject(object); }
};

// An object selected into a DC: ending the selection puts the object it replaced back, so that
// the selected object can be freed afterwards. release() leaves the new object selected.
struct Selection {
    HDC dc = nullptr;
    HGDIOBJ previous = nullptr;
    friend bool operator==(const Selection& left, const Selection& right) noexcept
    {
        return left.previous == right.previous;
    }
};
struct SelectionTraits {
    using Type = Selection;
    static Type Invalid() noexcept { return {}; }
    static void Close(Type selection) noexcept { ::SelectObject(selection.dc, selection.previous); }
};

using MemoryDcHolder = UniqueResource<MemoryDcTraits>;
using WindowDcHolder = UniqueResource<WindowDcTraits>;
using BitmapHolder = UniqueResource<GdiObjectTraits<HBITMAP>>;
using BrushHolder = UniqueResource<GdiObjectTraits<HBRUSH>>;
using SelectionHolder = UniqueResource<SelectionTraits>;

// Selects the object into the DC; a selection that failed holds nothing to put back.
[[nodiscard]] inline SelectionHolder SelectInto(HDC dc, HGDIOBJ object) noexcept
{
    const HGDIOBJ previous = ::SelectObject(dc, object);
    if (previous == nullptr || previous == HGDI_ERROR) {
        return SelectionHolder();
    }
    return SelectionHolder(Selection{dc, previous});
}

// GetWindowDC as a holder; holds nothing when the call failed.
[[nodiscard]] inline WindowDcHolder GetWindowDcOf(HWND window) noexcept
{
    const HDC dc = ::GetWindowDC(window);
    return dc == nullptr ? WindowDcHolder() : WindowDcHolder(WindowDc{window, dc});
}

} // namespace TalvexBasic::Drawings
