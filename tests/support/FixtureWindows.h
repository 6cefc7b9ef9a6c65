#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace TestSupport {

// One top-level window to open: its exact window rectangle (screen coordinates), caption, class,
// styles and the colour that fills its client area.
struct FixtureWindowSpec {
    RECT rect{};
    std::wstring caption;
    std::wstring className;
    DWORD style = WS_POPUP | WS_VISIBLE;
    DWORD exStyle = 0;
    COLORREF fill = RGB(0, 0, 0);
};

// An opened window and the ids of its owner, or the reason why it could not be opened.
struct FixtureWindow {
    HWND handle = nullptr;
    DWORD processId = 0;
    DWORD threadId = 0;
    std::string failure; // empty when the window exists

    explicit operator bool() const noexcept { return handle != nullptr; }
};

// Opens real top-level windows in this process. Ordinary windows live on one UI thread of the
// object's own that keeps pumping messages; each hung window has a thread of its own that
// paints the window once and then stops pumping until the window is closed or the object ends.
//
// A class name that the process does not know yet is registered with a window procedure that
// paints the fill colour (WM_ERASEBKGND, WM_PAINT, WM_PRINTCLIENT); a class that exists already
// (a system class such as "Button") is used as it is and subclassed to paint the same way.
// The windows take no minimum or maximum tracking size, so any rectangle is kept exactly; a
// visible window is shown without being activated.
//
// Under Wine without a window manager, destroying a visible window with a caption or a sizing
// frame takes about two seconds (the X11 driver waits for a window manager to withdraw it);
// prefer such windows in a FixtureProcess, which ends without destroying them one by one.
//
// Beware of hung windows in the test's own process: GetWindowTextW and similar calls send
// messages to windows of their own process and then block. Open hung windows in a
// FixtureProcess unless the test means exactly that.
class FixtureWindows {
public:
    FixtureWindows();
    ~FixtureWindows();
    FixtureWindows(const FixtureWindows&) = delete;
    FixtureWindows& operator=(const FixtureWindows&) = delete;

    // Returns once the window exists, has the requested rectangle and, with WS_VISIBLE, is shown
    // and painted.
    [[nodiscard]] FixtureWindow Open(const FixtureWindowSpec& layout);

    // Same, but the window's thread stops pumping messages as soon as the window is painted.
    [[nodiscard]] FixtureWindow OpenHung(const FixtureWindowSpec& layout);

    // Destroys one window opened here (a hung one: its thread is released first). False when the
    // window is not one of ours or could not be destroyed.
    [[nodiscard]] bool Close(HWND window);

    // Destroys every window and stops every thread; the destructor calls this.
    void CloseAll() noexcept;

private:
    class State;
    std::unique_ptr<State> mState;
};

} // namespace TestSupport
