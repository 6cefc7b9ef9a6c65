#pragma once

#include "system/CriticalSection.h"

#include <windows.h>

#include <map>
#include <string>

namespace TalvexBasic::Modules {

// A library name and, once loaded, its module. Never unloads what it loaded: handles taken from
// here stay valid for the life of the process.
class ModuleHolder {
public:
    [[nodiscard]] HRESULT GetOrLoad(HMODULE* module) noexcept;

    HMODULE mModule = nullptr;
    std::wstring mModuleName;
};

struct CaseInsensitiveLess {
    bool operator()(const std::wstring& left, const std::wstring& right) const noexcept;
};

// One process-wide map from library name (any letter case) to its loaded module.
class ModuleHolderMapManager {
public:
    [[nodiscard]] static HRESULT Get$Static(const std::wstring& name, HMODULE* module);

    static std::map<std::wstring, ModuleHolder, CaseInsensitiveLess> sModuleHolderMap;
    static CriticalSection sModuleHolderMapLock;
};

} // namespace TalvexBasic::Modules
