#include "capture/WindowInfo.h"

#include "MorvaneTrace.h"
#include "capture/ProcessFacts.h"
#include "system/FileTimeValue.h"
#include "system/HResult.h"
#include "system/Module.h"
#include "system/UniqueResource.h"

namespace Morvane {

using TalvexBasic::LastErrorRule;
using TalvexBasic::UniqueHandle;

namespace {

// Enough for the creation time and for the image path, so one open serves both.
constexpr DWORD kProcessAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

bool IsUsable(const RECT& rectangle) noexcept
{
    return rectangle.left + 3 < rectangle.right && rectangle.top + 3 < rectangle.bottom;
}

} // namespace

HRESULT WindowInfo::SampleInitialize(HWND window)
{
    SkipReason reason = SkipReason::None;
    return Sample(window, reason, false);
}

HRESULT WindowInfo::ReadImagePath(HANDLE process)
{
    return TalvexBasic::Modules::Module::QueryModuleDosFullFileName$Static(mProcessDosPath, process, nullptr);
}

std::wstring ReadImagePathOf(DWORD processId)
{
    WindowInfo facts;
    const UniqueHandle process(processId != 0 ? ::OpenProcess(kProcessAccess, FALSE, processId) : nullptr);
    if (!process) {
        // Where reading its memory is refused, the limited right still names its executable.
        return processId != 0 ? ReadLimitedImagePathOf(processId) : std::wstring();
    }
    (void)facts.ReadImagePath(process.get());
    return facts.mProcessDosPath;
}

void WindowInfo::DescribeInvisible(HWND window)
{
    mExtendedStyle = static_cast<std::uint32_t>(::GetWindowLongPtrW(window, GWL_EXSTYLE));
    DWORD processId = 0;
    mThreadId = ::GetWindowThreadProcessId(window, &processId);
    mProcessId = processId;
    ::GetWindowRect(window, &mWindowRectangle);
    if (mProcessId != 0) {
        const UniqueHandle process(::OpenProcess(kProcessAccess, FALSE, mProcessId));
        if (process) {
            (void)ReadImagePath(process.get());
        }
    }
}

HRESULT WindowInfo::Sample(HWND window, SkipReason& reason, bool describeRefused)
{
    mStyle = static_cast<std::uint32_t>(::GetWindowLongPtrW(window, GWL_STYLE));
    if ((mStyle & WS_VISIBLE) == 0) {
        reason = SkipReason::Invisible;
        if (describeRefused) {
            DescribeInvisible(window);
        }
        return E_ABORT;
    }
    mExtendedStyle = static_cast<std::uint32_t>(::GetWindowLongPtrW(window, GWL_EXSTYLE));

    DWORD processId = 0;
    mThreadId = ::GetWindowThreadProcessId(window, &processId);
    mProcessId = processId;
    if (mThreadId == 0 || mProcessId == 0) {
        reason = SkipReason::SampleFailed;
        if (describeRefused) {
            ::GetWindowRect(window, &mWindowRectangle);
        }
        return E_ABORT;
    }

    const UniqueHandle process(::OpenProcess(kProcessAccess, FALSE, mProcessId));
    if (!process) {
        reason = SkipReason::ProcessNotOpened;
        const DWORD error = ::GetLastError();
        if (describeRefused) {
            ::GetWindowRect(window, &mWindowRectangle);
        }
        // Processes with higher rights than ours are skipped without a word.
        if (error == ERROR_ACCESS_DENIED) {
            return E_ACCESSDENIED;
        }
        ::SetLastError(error);
        return MORVANE_FAIL_LAST_ERROR("Morvane::WindowInfo::SampleInitialize", LastErrorRule::Standard,
                                       "OpenProcess(%u) error:%u.", static_cast<unsigned>(mProcessId));
    }

    FILETIME creation{};
    FILETIME scratch{};
    if (::GetProcessTimes(process.get(), &creation, &scratch, &scratch, &scratch)) {
        mProcessCreationTime = TalvexBasic::FileTimeValue(creation);
    } else {
        MORVANE_TRACE("Morvane::WindowInfo::SampleInitialize", "GetProcessTimes(%u) error:%u.", mProcessId,
                      static_cast<unsigned>(::GetLastError()));
    }

    // A window too small to be seen, or off every usable monitor, is refused without a line.
    const auto tooSmall = [&] {
        reason = SkipReason::TooSmall;
        if (describeRefused) {
            (void)ReadImagePath(process.get());
        }
        return E_ABORT;
    };
    if (!::GetWindowRect(window, &mWindowRectangle) || !IsUsable(mWindowRectangle)) {
        return tooSmall();
    }
    mDisplayMonitorHandle = ::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (mDisplayMonitorHandle == nullptr) {
        return tooSmall();
    }
    mDisplayMonitorInfo.cbSize = sizeof(MONITORINFOEXW);
    if (!::GetMonitorInfoW(mDisplayMonitorHandle, &mDisplayMonitorInfo) || !IsUsable(mDisplayMonitorInfo.rcMonitor)) {
        return tooSmall();
    }
    mZonePosition = ClassifyZonePosition(mWindowRectangle, mDisplayMonitorInfo.rcMonitor);
    if (mZonePosition == InvalidRectangle) {
        return tooSmall();
    }

    const HRESULT result = ReadImagePath(process.get());
    if (FAILED(result)) {
        reason = SkipReason::SampleFailed;
        return result;
    }
    reason = SkipReason::None;
    mWindowHandle = window;
    return result;
}

} // namespace Morvane
