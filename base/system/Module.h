#pragma once

#include <windows.h>

#include <string>

namespace TalvexBasic::Modules {

using GetModuleFileNameExWRoutine = DWORD(WINAPI*)(HANDLE process, HMODULE module, LPWSTR fileName, DWORD size);

class Module {
public:
    // Full drive-letter path of a module in another process (null module: its executable), with
    // short components expanded where possible. The process handle needs query and VM-read
    // rights; it is neither opened nor closed here. The path is written only on success.
    [[nodiscard]] static HRESULT QueryModuleDosFullFileName$Static(std::wstring& path, HANDLE process, HMODULE module);

    // Full path of this program's own executable. Written only on success.
    [[nodiscard]] static HRESULT GetModuleFullFileName$Static(std::wstring& path);

    // Taken from "PsApi.dll" at run time, on first use; never reset.
    static GetModuleFileNameExWRoutine sGetModuleFileNameExW$Routine;
};

} // namespace TalvexBasic::Modules
