#pragma once

#include "capture/WindowAppearance.h"
#include "capture/CaptureContext.h"
#include "capture/WindowInfo.h"

#include <windows.h>

#include <string>

namespace Morvane {

// Where a saved window picture came from.
enum class PictureSource {
    None,        // no window picture was saved
    PrintWindow, // the window painted itself
    FullContent, // the window painted itself with PW_RENDERFULLCONTENT
    Screen,      // the window's rectangle copied from the screen
};

// What one window's folder got: the result of writing each file, and the window picture's source.
struct WindowShotOutcome {
    HRESULT record = E_PENDING;
    HRESULT window = E_PENDING;
    HRESULT monitor = E_PENDING;
    PictureSource pictureSource = PictureSource::None;
    // False when the window's thread was given up on as hung.
    bool windowAnswered = true;
    // The window's folder relative to the output directory, with '/' (MakeRelativeWindowShotFolder).
    std::wstring folder;
    // Read before the window picture: a minimised or cloaked window's picture never comes from
    // the screen, which does not show the window at its place.
    WindowAppearance appearance{};
    // The saved window picture has one colour throughout (black included), and which.
    bool pictureOneColour = false;
    COLORREF pictureColour = 0;
};

// Writes the window's folder below the context's output directory: the text record, the window
// picture and the monitor picture. Returns the result of the monitor picture; the outcome, when
// given, receives every step's result and the folder.
HRESULT SaveWindowShot(CaptureContext& context, const WindowInfo& record, WindowShotOutcome* outcome = nullptr);

} // namespace Morvane
