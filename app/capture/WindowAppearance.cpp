#include "capture/WindowAppearance.h"

#include "capture/WindowFrame.h"
#include "system/ModuleHolder.h"
#include "system/RoutineCast.h"

namespace Morvane {
namespace {

using TalvexBasic::RoutineCast;

// DWMWA_EXTENDED_FRAME_BOUNDS, DWMWA_CLOAKED and MDT_EFFECTIVE_DPI, which older headers lack.
constexpr DWORD kExtendedFrameBoundsAttribute = 9;
constexpr DWORD kCloakedAttribute = 14;
constexpr int kEffectiveDpi = 0;

using DwmGetWindowAttributeRoutine = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);
using GetDpiForWindowRoutine = UINT(WINAPI*)(HWND);
using GetDpiForMonitorRoutine = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

// A routine of a library loaded once for the process and kept; null where either is missing.
FARPROC RoutineOf(const wchar_t* library, const char* name) noexcept
{
    HMODULE module = nullptr;
    if (FAILED(TalvexBasic::Modules::ModuleHolderMapManager::Get$Static(library, &module))) {
        return nullptr;
    }
    return ::GetProcAddress(module, name);
}

bool IsCloaked(HWND window) noexcept
{
    const auto routine = RoutineCast<DwmGetWindowAttributeRoutine>(RoutineOf(L"dwmapi.dll", "DwmGetWindowAttribute"));
    DWORD cloaked = 0;
    return routine != nullptr && SUCCEEDED(routine(window, kCloakedAttribute, &cloaked, sizeof cloaked)) &&
           cloaked != 0;
}

std::uint32_t WindowDpi(HWND window) noexcept
{
    const auto routine = RoutineCast<GetDpiForWindowRoutine>(RoutineOf(L"user32.dll", "GetDpiForWindow"));
    return routine != nullptr ? routine(window) : 0;
}

} // namespace

WindowAppearance ReadWindowAppearance(HWND window) noexcept
{
    WindowAppearance appearance;
    appearance.minimised = ::IsIconic(window) != FALSE;
    appearance.cloaked = IsCloaked(window);
    appearance.dpi = WindowDpi(window);
    return appearance;
}

RECT ReadWindowFrame(HWND window, const RECT& windowRect) noexcept
{
    const auto routine = RoutineCast<DwmGetWindowAttributeRoutine>(RoutineOf(L"dwmapi.dll", "DwmGetWindowAttribute"));
    RECT bounds{};
    const HRESULT answered = routine != nullptr
                                 ? routine(window, kExtendedFrameBoundsAttribute, &bounds, sizeof bounds)
                                 : E_NOTIMPL;
    return ChooseWindowFrame(windowRect, answered, bounds);
}

bool IsCloakedNow(HWND window) noexcept
{
    return IsCloaked(window);
}

std::uint32_t ReadMonitorDpi(HMONITOR monitor) noexcept
{
    const auto routine = RoutineCast<GetDpiForMonitorRoutine>(RoutineOf(L"shcore.dll", "GetDpiForMonitor"));
    UINT x = 0;
    UINT y = 0;
    if (routine == nullptr || FAILED(routine(monitor, kEffectiveDpi, &x, &y))) {
        return 0;
    }
    return x;
}

} // namespace Morvane
