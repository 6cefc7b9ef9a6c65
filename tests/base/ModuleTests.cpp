#include "support/DebugLineCapture.h"
#include "support/ImportPatch.h"
#include "system/Module.h"
#include "system/ModuleHolder.h"

#include <gtest/gtest.h>

#include <string>

TEST_SUPPORT_IMPORT_SLOT(LoadLibraryW);
TEST_SUPPORT_IMPORT_SLOT(GetModuleFileNameW);

namespace {

using TalvexBasic::Modules::Module;
using TalvexBasic::Modules::ModuleHolderMapManager;

int gLoadCalls = 0;
decltype(&::LoadLibraryW) gRealLoadLibraryW = nullptr;

HMODULE WINAPI CountingLoadLibraryW(LPCWSTR name)
{
    ++gLoadCalls;
    return gRealLoadLibraryW(name);
}

class ModuleHolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gLoadCalls = 0;
        gRealLoadLibraryW = mPatch.Original();
    }
    TestSupport::ImportPatch<decltype(&::LoadLibraryW)> mPatch{__imp_LoadLibraryW, &CountingLoadLibraryW};
};

TEST_F(ModuleHolderTest, LoadsOnceForRepeatedAndDifferentlyCasedNames)
{
    HMODULE first = nullptr;
    ASSERT_EQ(ModuleHolderMapManager::Get$Static(L"Msimg32.dll", &first), S_OK);
    ASSERT_NE(first, nullptr);
    HMODULE again = nullptr;
    HMODULE lower = nullptr;
    HMODULE upper = nullptr;
    EXPECT_EQ(ModuleHolderMapManager::Get$Static(L"Msimg32.dll", &again), S_OK);
    EXPECT_EQ(ModuleHolderMapManager::Get$Static(L"msimg32.dll", &lower), S_OK);
    EXPECT_EQ(ModuleHolderMapManager::Get$Static(L"MSIMG32.DLL", &upper), S_OK);
    EXPECT_EQ(gLoadCalls, 1);
    EXPECT_EQ(again, first);
    EXPECT_EQ(lower, first);
    EXPECT_EQ(upper, first);
    EXPECT_EQ(ModuleHolderMapManager::sModuleHolderMap.count(L"mSiMg32.DlL"), 1u);
}

TEST_F(ModuleHolderTest, FailedLoadStoresNothingAndIsTriedAgain)
{
    TestSupport::DebugLineCapture capture;
    HMODULE module = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(ModuleHolderMapManager::Get$Static(L"NoSuchLibrary-Morvane.dll", &module),
              HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(module, reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x1234)));
    EXPECT_EQ(ModuleHolderMapManager::sModuleHolderMap.count(L"NoSuchLibrary-Morvane.dll"), 0u);
    EXPECT_EQ(ModuleHolderMapManager::Get$Static(L"nosuchlibrary-morvane.dll", &module),
              HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(gLoadCalls, 2);

    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" TalvexBasic::Modules::ModuleHolder::GetOrLoad,"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("]:LoadLibraryW(NoSuchLibrary-Morvane.dll) error:126.\r\n"), std::string::npos) << lines[0];
}

TEST_F(ModuleHolderTest, QueryReusesTheRoutineAndGivesTheRunningExecutable)
{
    std::wstring own;
    ASSERT_EQ(Module::GetModuleFullFileName$Static(own), S_OK);

    std::wstring path = L"untouched";
    ASSERT_EQ(Module::QueryModuleDosFullFileName$Static(path, ::GetCurrentProcess(), nullptr), S_OK);
    EXPECT_EQ(_wcsicmp(path.c_str(), own.c_str()), 0) << "query: " << path.size() << " own: " << own.size();
    EXPECT_NE(Module::sGetModuleFileNameExW$Routine, nullptr);

    gLoadCalls = 0;
    std::wstring second;
    ASSERT_EQ(Module::QueryModuleDosFullFileName$Static(second, ::GetCurrentProcess(), nullptr), S_OK);
    EXPECT_EQ(second, path);
    EXPECT_EQ(gLoadCalls, 0);
}

TEST(ModulePaths, OwnExecutableIsExactlyWhatTheSystemReports)
{
    wchar_t expected[MAX_PATH * 4] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, expected, MAX_PATH * 4);
    std::wstring path;
    ASSERT_EQ(Module::GetModuleFullFileName$Static(path), S_OK);
    EXPECT_EQ(path, std::wstring(expected, length));
    EXPECT_EQ(path.substr(path.size() - 4), L".exe");
}

DWORD WINAPI FailingGetModuleFileNameW(HMODULE, LPWSTR, DWORD)
{
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
}

TEST(ModulePaths, FailedOwnPathLeavesTheStringAndTracesTheError)
{
    TestSupport::DebugLineCapture capture;
    std::wstring path = L"before";
    {
        TestSupport::ImportPatch<decltype(&::GetModuleFileNameW)> patch(__imp_GetModuleFileNameW,
                                                                        &FailingGetModuleFileNameW);
        EXPECT_EQ(Module::GetModuleFullFileName$Static(path), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY));
    }
    EXPECT_EQ(path, L"before");
    EXPECT_EQ(capture.CountContaining(" TalvexBasic::Modules::Module::GetModuleFullFileName$Static,"), 1u);
    EXPECT_EQ(capture.CountContaining("]:GetModuleFileNameW(0x0000000000000000) error:8.\r\n"), 1u);
}

TEST(ModulePaths, ProcessWithoutReadRightsFailsWithOneLineAndLeavesThePath)
{
    // Wine grants every right within one user, so an exited process stands in for a refused one.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    wchar_t command[] = L"cmd.exe /c exit 0";
    ASSERT_TRUE(::CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                                 &startup, &started));
    ::CloseHandle(started.hThread);
    ASSERT_EQ(::WaitForSingleObject(started.hProcess, 20000), WAIT_OBJECT_0);

    TestSupport::DebugLineCapture capture;
    std::wstring path = L"before";
    const HRESULT result = Module::QueryModuleDosFullFileName$Static(path, started.hProcess, nullptr);
    ::CloseHandle(started.hProcess);
    EXPECT_LT(result, 0);
    EXPECT_EQ(path, L"before");
    EXPECT_EQ(capture.CountContaining("]:sGetModuleFileNameExW$Routine(0x"), 1u);
}

} // namespace
