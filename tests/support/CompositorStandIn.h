#pragma once

#include "support/ImportPatch.h"

#include <windows.h>

#include <string>

TEST_SUPPORT_IMPORT_SLOT(GetProcAddress);

namespace TestSupport {

using DwmGetWindowAttributeRoutine = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);

// The compositor as a test wants it to answer: dwmapi's DwmGetWindowAttribute, which the product
// looks up with GetProcAddress, is the given stand-in for the life of the object; every other
// routine is looked up as ever. One at a time.
class CompositorStandIn {
public:
    explicit CompositorStandIn(DwmGetWindowAttributeRoutine standIn) : mPatch(__imp_GetProcAddress, &LookUp)
    {
        sReal = mPatch.Original();
        sStandIn = standIn;
    }

private:
    static FARPROC WINAPI LookUp(HMODULE module, LPCSTR name)
    {
        if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 && std::string(name) == "DwmGetWindowAttribute") {
            return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(sStandIn));
        }
        return sReal(module, name);
    }

    static inline decltype(&::GetProcAddress) sReal = nullptr;
    static inline DwmGetWindowAttributeRoutine sStandIn = nullptr;
    ImportPatch<decltype(&::GetProcAddress)> mPatch;
};

} // namespace TestSupport
