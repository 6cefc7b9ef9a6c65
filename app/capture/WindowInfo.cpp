#include "capture/WindowInfo.h"

#include "MorvaneTrace.h"
#include "system/HResult.h"
#include "system/Module.h"
#include "system/UniqueResource.h"

namespace Morvane {

using TalvexBasic::FailureHResultFromWin32;
using TalvexBasic::LastErrorRule;
using TalvexBasic::UniqueHandle;

namespace {

bool IsUsable(const RECT& rectangle) noexcept
{
    return rectangle.left + 3 < rectangle.right && rectangle.top + 3 < rectangle.bottom;
}

} // namespace

HRESULT WindowInfo::SampleInitialize(HWND window)
{
    mStyle = static_cast<std::uint32_t>(::GetWindowLongPtrW(window, GWL_STYLE));
    if ((mStyle & WS_VISIBLE) == 0) {
        return E_ABORT;
    }
    mExtendedStyle = static_cast<std::uint32_t>(::GetWindowLongPtrW(window, GWL_EXSTYLE));

    DWORD processId = 0;
    mThreadId = ::GetWindowThreadProcessId(window, &processId);
    mProcessId = processId;
    if (mThreadId == 0 || mProcessId == 0) {
        return E_ABORT;
    }

    {
        UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, mProcessId));
        if (!process) {
            // Processes with higher rights than ours are skipped without a word.
            if (::GetLastError() == ERROR_ACCESS_DENIED) {
                return E_ACCESSDENIED;
            }
            return MORVANE_FAIL_LAST_ERROR("Morvane::WindowInfo::SampleInitialize", LastErrorRule::Standard,
                                           "OpenProcess(%u) error:%u.", static_cast<unsigned>(mProcessId));
        }

        FILETIME creation{};
        FILETIME scratch{};
        if (::GetProcessTimes(process.get(), &creation, &scratch, &scratch, &scratch)) {
            mProcessCreationTime = (static_cast<std::uint64_t>(creation.dwHighDateTime) << 32) + creation.dwLowDateTime;
        } else {
            MORVANE_TRACE("Morvane::WindowInfo::SampleInitialize", "GetProcessTimes(%u) error:%u.", mProcessId,
                          static_cast<unsigned>(::GetLastError()));
        }
    }

    if (!::GetWindowRect(window, &mWindowRectangle) || !IsUsable(mWindowRectangle)) {
        return E_ABORT;
    }

    mDisplayMonitorHandle = ::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (mDisplayMonitorHandle == nullptr) {
        return E_ABORT;
    }
    mDisplayMonitorInfo.cbSize = sizeof(MONITORINFOEXW);
    if (!::GetMonitorInfoW(mDisplayMonitorHandle, &mDisplayMonitorInfo) || !IsUsable(mDisplayMonitorInfo.rcMonitor)) {
        return E_ABORT;
    }

    mZonePosition = ClassifyZonePosition(mWindowRectangle, mDisplayMonitorInfo.rcMonitor);
    if (mZonePosition == InvalidRectangle) {
        return E_ABORT;
    }

    HRESULT result = S_OK;
    {
        UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, mProcessId));
        if (!process) {
            // Skipped without a line; a last error of 0 must still skip the window.
            result = FailureHResultFromWin32(::GetLastError());
        } else {
            result = TalvexBasic::Modules::Module::QueryModuleDosFullFileName$Static(mProcessDosPath, process.get(),
                                                                                     nullptr);
        }
    }

    if (SUCCEEDED(result)) {
        mWindowHandle = window;
    }
    return result;
}

} // namespace Morvane
