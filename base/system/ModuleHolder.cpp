#include "system/ModuleHolder.h"

#include "logs/Trace.h"
#include "system/HResult.h"
#include "system/LastErrorFailure.h"

#include <cwchar>

namespace TalvexBasic::Modules {

std::map<std::wstring, ModuleHolder, CaseInsensitiveLess> ModuleHolderMapManager::sModuleHolderMap;
CriticalSection ModuleHolderMapManager::sModuleHolderMapLock;

bool CaseInsensitiveLess::operator()(const std::wstring& left, const std::wstring& right) const noexcept
{
    return _wcsicmp(left.c_str(), right.c_str()) < 0;
}

HRESULT ModuleHolder::GetOrLoad(HMODULE* module) noexcept
{
    if (mModule != nullptr) {
        *module = mModule;
        return S_OK;
    }
    mModule = ::LoadLibraryW(mModuleName.c_str());
    if (mModule != nullptr) {
        *module = mModule;
        return S_OK;
    }
    // Never success: a null module must not be stored as a loaded library.
    return TALVEX_FAIL_LAST_ERROR_W("TalvexBasic::Modules::ModuleHolder::GetOrLoad", LastErrorRule::Standard,
                                    L"LoadLibraryW(%ls) error:%u.", mModuleName.c_str());
}

HRESULT ModuleHolderMapManager::Get$Static(const std::wstring& name, HMODULE* module)
{
    {
        CriticalSectionLock lock(sModuleHolderMapLock);
        const auto found = sModuleHolderMap.find(name);
        if (found != sModuleHolderMap.end()) {
            *module = found->second.mModule;
            return S_OK;
        }
    }

    // No lock is held while the library loads.
    ModuleHolder holder;
    holder.mModuleName = name;
    const HRESULT result = holder.GetOrLoad(module);
    if (FAILED(result)) {
        return result;
    }

    CriticalSectionLock lock(sModuleHolderMapLock);
    sModuleHolderMap[name] = holder;
    return S_OK;
}

} // namespace TalvexBasic::Modules
