// A failing platform call whose last error reads 0 is still a failure: module paths, module
// holders and environment expansion return E_FAIL, leave their out-arguments alone and trace the
// error number 0 in their usual line.

#include "support/DebugLineCapture.h"
#include "support/ImportPatch.h"
#include "system/EnvironmentString.h"
#include "system/Module.h"
#include "system/ModuleHolder.h"

#include <gtest/gtest.h>

#include <string>

TEST_SUPPORT_IMPORT_SLOT(GetModuleFileNameW);
TEST_SUPPORT_IMPORT_SLOT(LoadLibraryW);
TEST_SUPPORT_IMPORT_SLOT(GetProcAddress);
TEST_SUPPORT_IMPORT_SLOT(ExpandEnvironmentStringsW);

namespace {

using TalvexBasic::EnvironmentVars::String;
using TalvexBasic::Modules::GetModuleFileNameExWRoutine;
using TalvexBasic::Modules::Module;
using TalvexBasic::Modules::ModuleHolderMapManager;
using TestSupport::DebugLineCapture;
using TestSupport::ImportPatch;

DWORD WINAPI SilentGetModuleFileNameW(HMODULE, LPWSTR, DWORD)
{
    ::SetLastError(0);
    return 0;
}

HMODULE WINAPI SilentLoadLibraryW(LPCWSTR)
{
    ::SetLastError(0);
    return nullptr;
}

FARPROC WINAPI SilentGetProcAddress(HMODULE, LPCSTR)
{
    ::SetLastError(0);
    return nullptr;
}

DWORD WINAPI SilentExpandEnvironmentStringsW(LPCWSTR, LPWSTR, DWORD)
{
    ::SetLastError(0);
    return 0;
}

DWORD WINAPI SilentGetModuleFileNameExW(HANDLE, HMODULE, LPWSTR, DWORD)
{
    ::SetLastError(0);
    return 0;
}

TEST(LastErrorZero, OwnExecutablePathIsNeverAnEmptySuccess)
{
    std::wstring path = L"kept";
    DebugLineCapture capture;
    {
        ImportPatch<decltype(&::GetModuleFileNameW)> patch(__imp_GetModuleFileNameW, &SilentGetModuleFileNameW);
        EXPECT_EQ(Module::GetModuleFullFileName$Static(path), E_FAIL);
    }
    EXPECT_EQ(path, L"kept");
    EXPECT_EQ(capture.CountContaining(" TalvexBasic::Modules::Module::GetModuleFullFileName$Static,"), 1u);
    EXPECT_EQ(capture.CountContaining("]:GetModuleFileNameW(0x0000000000000000) error:0.\r\n"), 1u);
}

TEST(LastErrorZero, LibraryThatFailsToLoadIsNotStored)
{
    // A name that nothing else here loads through the holders.
    const std::wstring name = L"Version.dll";
    ASSERT_EQ(ModuleHolderMapManager::sModuleHolderMap.count(name), 0u);
    HMODULE module = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x1234));
    DebugLineCapture capture;
    {
        ImportPatch<decltype(&::LoadLibraryW)> patch(__imp_LoadLibraryW, &SilentLoadLibraryW);
        EXPECT_EQ(ModuleHolderMapManager::Get$Static(name, &module), E_FAIL);
    }
    EXPECT_EQ(module, reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x1234)));
    EXPECT_EQ(ModuleHolderMapManager::sModuleHolderMap.count(name), 0u);
    EXPECT_EQ(capture.CountContaining("]:LoadLibraryW(Version.dll) error:0.\r\n"), 1u);
    // Loaded for real on the next request.
    EXPECT_EQ(ModuleHolderMapManager::Get$Static(name, &module), S_OK);
    EXPECT_EQ(module, ::GetModuleHandleW(L"version.dll"));
}

TEST(LastErrorZero, ModulePathQueryFailsWithoutItsRoutineOrItsName)
{
    const GetModuleFileNameExWRoutine saved = Module::sGetModuleFileNameExW$Routine;
    std::wstring path = L"kept";
    DebugLineCapture capture;
    {
        SCOPED_TRACE("routine lookup");
        Module::sGetModuleFileNameExW$Routine = nullptr;
        {
            ImportPatch<decltype(&::GetProcAddress)> patch(__imp_GetProcAddress, &SilentGetProcAddress);
            EXPECT_EQ(Module::QueryModuleDosFullFileName$Static(path, ::GetCurrentProcess(), nullptr), E_FAIL);
        }
        EXPECT_EQ(Module::sGetModuleFileNameExW$Routine, nullptr);
        EXPECT_EQ(capture.CountContaining(", GetModuleFileNameExW) error:0.\r\n"), 1u);
    }
    {
        SCOPED_TRACE("name query");
        Module::sGetModuleFileNameExW$Routine = &SilentGetModuleFileNameExW;
        EXPECT_EQ(Module::QueryModuleDosFullFileName$Static(path, ::GetCurrentProcess(), nullptr), E_FAIL);
        EXPECT_EQ(capture.CountContaining("]:sGetModuleFileNameExW$Routine(0xFFFFFFFFFFFFFFFF, 0x0000000000000000) "
                                          "error:0.\r\n"),
                  1u);
    }
    Module::sGetModuleFileNameExW$Routine = saved;
    EXPECT_EQ(path, L"kept");
}

TEST(LastErrorZero, ExpansionFailureLeavesTheTextAlone)
{
    std::wstring text = L"kept";
    DebugLineCapture capture;
    {
        ImportPatch<decltype(&::ExpandEnvironmentStringsW)> patch(__imp_ExpandEnvironmentStringsW,
                                                                  &SilentExpandEnvironmentStringsW);
        EXPECT_EQ(String::Expand$Static(L"%LOCALAPPDATA%\\x", text), E_FAIL);
    }
    EXPECT_EQ(text, L"kept");
    EXPECT_EQ(capture.CountContaining("]:ExpandEnvironmentStringsW(%LOCALAPPDATA%\\x) error:0.\r\n"), 1u);
}

} // namespace
