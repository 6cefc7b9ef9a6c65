#include "system/Module.h"

#include "logs/Trace.h"
#include "system/HResult.h"
#include "system/ModuleHolder.h"
#include "system/RoutineCast.h"

#include <memory>
#include <new>

namespace TalvexBasic::Modules {

GetModuleFileNameExWRoutine Module::sGetModuleFileNameExW$Routine = nullptr;

namespace {

constexpr DWORD kPathBufferLength = MAXUINT16;

std::unique_ptr<wchar_t[]> NewPathBuffer() noexcept
{
    return std::unique_ptr<wchar_t[]>(new (std::nothrow) wchar_t[kPathBufferLength]);
}

} // namespace

HRESULT Module::QueryModuleDosFullFileName$Static(std::wstring& path, HANDLE process, HMODULE module)
{
    if (sGetModuleFileNameExW$Routine == nullptr) {
        HMODULE psapi = nullptr;
        const HRESULT loaded = ModuleHolderMapManager::Get$Static(L"PsApi.dll", &psapi);
        if (FAILED(loaded)) {
            TALVEX_TRACE("TalvexBasic::Modules::Module::QueryModuleDosFullFileName$Static",
                         "Modules::ModuleHolderMapManager::Get$Static(PsApi.dll) return:0x%x.",
                         static_cast<unsigned>(loaded));
            return loaded;
        }
        sGetModuleFileNameExW$Routine =
            RoutineCast<GetModuleFileNameExWRoutine>(::GetProcAddress(psapi, "GetModuleFileNameExW"));
        if (sGetModuleFileNameExW$Routine == nullptr) {
            const DWORD error = ::GetLastError();
            TALVEX_TRACE("TalvexBasic::Modules::Module::QueryModuleDosFullFileName$Static",
                         "GetProcAddress(0x%016llX, GetModuleFileNameExW) error:%u.", PointerBits(psapi),
                         static_cast<unsigned>(error));
            return HResultFromWin32(error);
        }
    }

    const std::unique_ptr<wchar_t[]> buffer = NewPathBuffer();
    if (!buffer) {
        TALVEX_TRACE("TalvexBasic::Modules::Module::QueryModuleDosFullFileName$Static", "new WCHAR[MAXUINT16] failed.");
        return E_OUTOFMEMORY;
    }

    if (sGetModuleFileNameExW$Routine(process, module, buffer.get(), kPathBufferLength) == 0) {
        const DWORD error = ::GetLastError();
        TALVEX_TRACE("TalvexBasic::Modules::Module::QueryModuleDosFullFileName$Static",
                     "sGetModuleFileNameExW$Routine(0x%016llX, 0x%016llX) error:%u.", PointerBits(process),
                     PointerBits(module), static_cast<unsigned>(error));
        return HResultFromWin32(error);
    }
    buffer[kPathBufferLength - 1] = L'\0';
    path = buffer.get();

    // Expand 8.3 components; the short form stands if the long one cannot be had.
    if (::GetLongPathNameW(path.c_str(), buffer.get(), kPathBufferLength) != 0) {
        buffer[kPathBufferLength - 1] = L'\0';
        path = buffer.get();
    }
    return S_OK;
}

HRESULT Module::GetModuleFullFileName$Static(std::wstring& path)
{
    const std::unique_ptr<wchar_t[]> buffer = NewPathBuffer();
    if (!buffer) {
        return E_OUTOFMEMORY;
    }
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.get(), kPathBufferLength);
    if (length == 0) {
        const DWORD error = ::GetLastError();
        TALVEX_TRACE("TalvexBasic::Modules::Module::GetModuleFullFileName$Static",
                     "GetModuleFileNameW(0x%016llX) error:%u.", PointerBits(nullptr), static_cast<unsigned>(error));
        return HResultFromWin32(error);
    }
    path.assign(buffer.get(), length < kPathBufferLength ? length : kPathBufferLength - 1);
    return S_OK;
}

} // namespace TalvexBasic::Modules
