#pragma once

#include <windows.h>

namespace TalvexBasic {

// HRESULT_FROM_WIN32 as a function: 0 and negative codes pass through unchanged.
[[nodiscard]] constexpr HRESULT HResultFromWin32(DWORD error) noexcept
{
    return static_cast<HRESULT>(error) <= 0 ? static_cast<HRESULT>(error)
                                            : static_cast<HRESULT>((error & 0x0000FFFF) | 0x80070000);
}

// The capture variant: a last error of 0 must not turn a failed capture into success.
[[nodiscard]] constexpr HRESULT CaptureHResultFromWin32(DWORD error) noexcept
{
    return error == 0 ? E_UNEXPECTED : HResultFromWin32(error);
}

// A failed WriteFile whose last error reads 0 is still a failure.
[[nodiscard]] constexpr HRESULT FailureHResultFromWin32(DWORD error, HRESULT ifZero = E_FAIL) noexcept
{
    return error == 0 ? ifZero : HResultFromWin32(error);
}

// Handles and pointers are printed as "0x" and 16 upper-case hexadecimal digits; this is the
// value that goes with the "%016llX" conversion on every compiler.
[[nodiscard]] inline unsigned long long PointerBits(const void* pointer) noexcept
{
    return static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(pointer));
}

} // namespace TalvexBasic
