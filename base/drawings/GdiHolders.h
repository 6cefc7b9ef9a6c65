#pragma once

#include <windows.h>

#include <utility>

namespace TalvexBasic::Drawings {

// The DC of a window, from GetWindowDC or GetDC; given back with ReleaseDC.
class WindowDcHolder {
public:
    WindowDcHolder() noexcept = default;
    WindowDcHolder(HWND window, HDC dc) noexcept : mWindow(window), mDc(dc) {}
    WindowDcHolder(const WindowDcHolder&) = delete;
    WindowDcHolder& operator=(const WindowDcHolder&) = delete;
    ~WindowDcHolder()
    {
        if (mDc != nullptr) {
            ::ReleaseDC(mWindow, mDc);
        }
    }

    [[nodiscard]] HDC get() const noexcept { return mDc; }

private:
    HWND mWindow = nullptr;
    HDC mDc = nullptr;
};

// A DC made with CreateCompatibleDC or CreateDC; freed with DeleteDC.
class MemoryDcHolder {
public:
    MemoryDcHolder() noexcept = default;
    explicit MemoryDcHolder(HDC dc) noexcept : mDc(dc) {}
    MemoryDcHolder(const MemoryDcHolder&) = delete;
    MemoryDcHolder& operator=(const MemoryDcHolder&) = delete;
    ~MemoryDcHolder() { reset(); }

    [[nodiscard]] HDC get() const noexcept { return mDc; }
    [[nodiscard]] HDC release() noexcept { return std::exchange(mDc, nullptr); }
    void reset(HDC dc = nullptr) noexcept
    {
        HDC old = std::exchange(mDc, dc);
        if (old != nullptr) {
            ::DeleteDC(old);
        }
    }

private:
    HDC mDc = nullptr;
};

// A bitmap, brush, pen or font; freed with DeleteObject. It must not be selected into a DC
// at that time, or the platform refuses to free it.
template <typename Object> class GdiObjectHolder {
public:
    GdiObjectHolder() noexcept = default;
    explicit GdiObjectHolder(Object object) noexcept : mObject(object) {}
    GdiObjectHolder(const GdiObjectHolder&) = delete;
    GdiObjectHolder& operator=(const GdiObjectHolder&) = delete;
    ~GdiObjectHolder() { reset(); }

    [[nodiscard]] Object get() const noexcept { return mObject; }
    [[nodiscard]] Object release() noexcept { return std::exchange(mObject, nullptr); }
    void reset(Object object = nullptr) noexcept
    {
        Object old = std::exchange(mObject, object);
        if (old != nullptr) {
            ::DeleteObject(old);
        }
    }

private:
    Object mObject = nullptr;
};

using BitmapHolder = GdiObjectHolder<HBITMAP>;
using BrushHolder = GdiObjectHolder<HBRUSH>;

// Selects an object into a DC and puts the one it replaced back when it ends, so that the
// selected object can be freed afterwards. Release() leaves the new object selected.
class SelectionHolder {
public:
    SelectionHolder(HDC dc, HGDIOBJ object) noexcept : mDc(dc), mPrevious(::SelectObject(dc, object)) {}
    SelectionHolder(const SelectionHolder&) = delete;
    SelectionHolder& operator=(const SelectionHolder&) = delete;
    ~SelectionHolder()
    {
        if (mPrevious != nullptr && mPrevious != HGDI_ERROR) {
            ::SelectObject(mDc, mPrevious);
        }
    }

    void Release() noexcept { mPrevious = nullptr; }

private:
    HDC mDc;
    HGDIOBJ mPrevious;
};

} // namespace TalvexBasic::Drawings
