#pragma once

#include "capture/CaptureContext.h"
#include "capture/WindowAppearance.h"
#include "capture/WindowInfo.h"
#include "capture/WindowsAbove.h"
#include "drawings/GdiHolders.h"

#include <windows.h>

#include <string>
#include <vector>

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
    // For a window that just appeared: when its window picture was written (the watch's clock,
    // 0 without one), and why a picture from the screen was dropped ("destroyed", "hidden",
    // "moved"; null when none was).
    long long windowWrittenAt = 0;
    const char* droppedBecause = nullptr;
    // Read before the window picture: a minimised or cloaked window's picture never comes from
    // the screen, which does not show the window at its place.
    WindowAppearance appearance{};
    // The window's visible frame, read before the window picture, where the compositor gives one
    // other than the window rectangle (ReadWindowFrame); a picture from the screen is of it.
    bool hasFrame = false;
    RECT frame{};
    // The saved window picture has one colour throughout (black included), and which.
    bool pictureOneColour = false;
    COLORREF pictureColour = 0;
    // A window that just appeared, taken from the screen: the shown windows above it right after
    // the capture. A run's start takes the windows saved before it instead (it goes top down).
    bool windowsAboveKnown = false;
    std::vector<WindowAbove> windowsAbove{};
    // Why no monitor picture was taken on purpose ("kind": a menu, tooltip or other short-lived
    // window; "queueFull": a watch's pictures waiting to be encoded had no room for it; monitor is
    // then S_FALSE); null when one was asked for.
    const char* monitorSkipped = nullptr;
    // Why the window picture taken was not written on purpose ("queueFull"; window is then
    // S_FALSE); null otherwise.
    const char* pictureSkipped = nullptr;
    // Why the pictures not taken were left out: the watch's disk budget had stopped pictures
    // (PictureStopName); null when none was left out for it.
    const char* picturesStopped = nullptr;
    // The monitor picture is a further name of one written before in the run, with the same
    // bytes: it took no room on the disk.
    bool monitorLinked = false;
    // The window picture is a further name of an earlier window picture of the run with the same
    // bytes (the same menu or dialog shown again): it took no room on the disk.
    bool windowLinked = false;
};

// How to take a window that just appeared, while a watch runs.
struct JustShownShot {
    // Appended to the window's folder name when the window is saved again ("-2", "-3", ...).
    std::wstring folderSuffix;
};

// Writes the window's folder below the context's output directory: the text record, the window
// picture and the monitor picture. Returns the result of the monitor picture; the outcome, when
// given, receives every step's result and the folder.
HRESULT SaveWindowShot(CaptureContext& context, const WindowInfo& record, WindowShotOutcome* outcome = nullptr);

// A picture of a window that just appeared, taken and not yet written: the bitmap alone, out of
// the DC it was taken with, so that another thread may encode it (null: nothing to encode), and
// the files it goes to. A window's step also writes the window's text record, after its picture.
struct TakenPicture {
    TalvexBasic::Drawings::BitmapHolder bitmap;
    SIZE size{};
    std::wstring path;
    bool monitorPicture = false;
    HMONITOR monitor = nullptr;                 // a monitor picture's monitor
    PictureSource source = PictureSource::None; // a window picture's source, once written
    std::wstring recordPath;                    // a window's step: its text record
    std::string recordText;

    // The memory its pixels hold while it waits (32 bits a pixel); 0 without a bitmap.
    [[nodiscard]] unsigned long long Bytes() const noexcept;
};

// A window that just appeared is saved in two steps, so that the window pictures of windows that
// appear together are all taken before the slower monitor pictures: first the window picture and
// the text record, then the monitor picture. Each step takes its picture and does the checks that
// need the live window (Take...), and the picture is encoded and written afterwards, on another
// thread (WriteTakenPicture); the outcome gets each result as it is known. A picture from the
// screen that is black is taken again while the window shows; one taken when the window had gone,
// was hidden or had moved is not written.
void TakeJustShownWindowPicture(CaptureContext& context, const WindowInfo& record, const JustShownShot& shot,
                                WindowShotOutcome& outcome, TakenPicture& taken);
void TakeJustShownMonitorPicture(CaptureContext& context, const WindowInfo& record, const JustShownShot& shot,
                                 WindowShotOutcome& outcome, TakenPicture& taken);
// Encodes and writes what was taken (a monitor picture through the context's monitor picture
// cache, a window picture through its window picture store), counts it in the disk budget and
// frees the bitmap. One thread at a time.
void WriteTakenPicture(CaptureContext& context, TakenPicture& taken, WindowShotOutcome& outcome) noexcept;
// The picture is not written (why: e.g. "queueFull"); its bitmap is freed, the outcome says why.
void LeaveOutTakenPicture(TakenPicture& taken, WindowShotOutcome& outcome, const char* why) noexcept;

// False for windows whose kind (JudgeWindowKind) is not "window": they get no monitor picture.
[[nodiscard]] bool TakesMonitorPicture(const WindowInfo& record) noexcept;

// The window's folder with the suffix before its trailing backslash, if it has one.
[[nodiscard]] std::wstring WithFolderSuffix(const std::wstring& folder, const std::wstring& suffix);

} // namespace Morvane
