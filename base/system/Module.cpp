#include "system/Module.h"

#include "logs/Trace.h"
#include "system/HResult.h"
#include "system/LastErrorFailure.h"
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
            return TALVEX_FAIL_LAST_ERROR(
                "TalvexBasic::Modules::Module::QueryModuleDosFullFileName$Static", LastErrorRule::Standard,
                "GetProcAddress(0x%016llX, GetModuleFileNameExW) error:%u.", PointerBits(psapi));
        }
    }

    const std::unique_ptr<wchar_t[]> buffer = NewPathBuffer();
    if (!buffer) {
        TALVEX_TRACE("TalvexBasic::Modules::Module::QueryModuleDosFullFileName$Static", "new WCHAR[MAXUINT16] failed.");
        return E_OUTOFMEMORY;
    }

    if (sGetModuleFileNameExW$Routine(process, module, buffer.get(), kPathBufferLength) == 0) {
        return TALVEX_FAIL_LAST_ERROR(
            "TalvexBasic::Modules::Module::QueryModuleDosFullFileName$Static", LastErrorRule::Standard,
            "sGetModuleFileNameExW$Routine(0x%016llX, 0x%016llX) error:%u.", PointerBits(process), PointerBits(module));
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
        // A failure without a last error must not pass for an empty path: the tool would then
        // write at the root of the current drive.
        return TALVEX_FAIL_LAST_ERROR("TalvexBasic::Modules::Module::GetModuleFullFileName$Static",
                                      LastErrorRule::Standard, "GetModuleFileNameW(0x%016llX) error:%u.",
                                      PointerBits(nullptr));
    }
    path.assign(buffer.get(), length < kPathBufferLength ? length : kPathBufferLength - 1);
    return S_OK;
}

} // namespace TalvexBasic::Modules
