#pragma once

#include "capture/SkipReason.h"
#include "capture/ZonePosition.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace Morvane {

struct WindowSample;

// One consistent sample of a top-level window's facts.
class WindowInfo {
public:
    WindowInfo() noexcept = default;

    // S_OK when the record is complete; E_ABORT when the window is not to be handled; otherwise
    // the error of the failed system call. mWindowHandle is set only on success.
    [[nodiscard]] HRESULT SampleInitialize(HWND window);

    HWND mWindowHandle = nullptr;
    std::uint32_t mStyle = 0;
    std::uint32_t mExtendedStyle = 0;
    std::uint32_t mProcessId = 0;
    std::uint32_t mThreadId = 0;
    std::uint64_t mProcessCreationTime = 0;
    RECT mWindowRectangle{};
    HMONITOR mDisplayMonitorHandle = nullptr;
    MONITORINFOEXW mDisplayMonitorInfo{};
    ZonePosition mZonePosition = InvalidRectangle;
    std::wstring mCaption;
    std::wstring mClassName;
    std::wstring mProcessDosPath;

private:
    friend WindowSample SampleWindow(HWND window);
    friend std::wstring ReadImagePathOf(DWORD processId);

    // The sample with its decision; describeRefused also reads, for a refused window, what can be
    // read of it without a message and without a trace line of its own.
    [[nodiscard]] HRESULT Sample(HWND window, SkipReason& reason, bool describeRefused);
    void DescribeInvisible(HWND window);
    [[nodiscard]] HRESULT ReadImagePath(HANDLE process);
};

// The executable of a process whose window is gone, read the way a window's is, else as the
// limited right gives it; empty when the process cannot be opened (it may have ended too).
[[nodiscard]] std::wstring ReadImagePathOf(DWORD processId);

} // namespace Morvane
