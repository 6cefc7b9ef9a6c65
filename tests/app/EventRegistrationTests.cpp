// --register-events and --unregister-events against the prefix's real HKEY_LOCAL_MACHINE (Wine
// lets its one user write it), each through the command line as the program runs it; the
// refusals of Windows (no administrator, the registry's ACCESS_DENIED) through the import slots of
// CheckTokenMembership and RegCreateKeyExW.

#include "ProgramEntry.h"
#include "events/EventRegistration.h"
#include "support/ImportPatch.h"
#include "support/MessageBoxCollector.h"
#include "system/UniqueResource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

TEST_SUPPORT_IMPORT_SLOT(CheckTokenMembership);
TEST_SUPPORT_IMPORT_SLOT(RegCreateKeyExW);

namespace {

using TestSupport::ImportPatch;

// The refusals of Windows that Wine does not make.
struct Refusals {
    static inline LSTATUS createRefusal = ERROR_ACCESS_DENIED;

    static BOOL WINAPI NotAMember(HANDLE, PSID, PBOOL member)
    {
        *member = FALSE;
        return TRUE;
    }
    static LSTATUS WINAPI RefuseCreate(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                                       PHKEY, LPDWORD)
    {
        return createRefusal;
    }
};

std::optional<std::wstring> MessageFile()
{
    DWORD type = REG_NONE;
    wchar_t data[4096] = {};
    DWORD size = sizeof data;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, Morvane::kEventSourceKey, Morvane::kEventMessageFileValue, RRF_RT_REG_SZ,
                       &type, data, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(data);
}

std::optional<DWORD> TypesSupported()
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, Morvane::kEventSourceKey, Morvane::kTypesSupportedValue, RRF_RT_REG_DWORD,
                       nullptr, &value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

bool KeyExists()
{
    TalvexBasic::UniqueRegistryKey key;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Morvane::kEventSourceKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// The prefix is shared: whatever the test did, no key is left behind.
struct KeyRemoved {
    ~KeyRemoved() { (void)::RegDeleteKeyW(HKEY_LOCAL_MACHINE, Morvane::kEventSourceKey); }
};

std::wstring ThisProgram()
{
    std::vector<wchar_t> path(32768);
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return std::wstring(path.data(), length);
}

TEST(EventRegistration, WritesAndRemovesTheSourceAndSaysSo)
{
    const KeyRemoved removed;
    (void)::RegDeleteKeyW(HKEY_LOCAL_MACHINE, Morvane::kEventSourceKey);
    const struct {
        const wchar_t* commandLine;
        int exitCode;
        bool registered; // afterwards
        const wchar_t* says;
    } steps[] = {
        {L"Morvane.exe --unregister-events", 0, false, L"nothing to remove"},
        {L"Morvane.exe --register-events", 0, true, L"now show as sentences in Event Viewer"},
        {L"Morvane.exe /register-events", 0, true, L"now show as sentences in Event Viewer"},
        {L"Morvane.exe --unregister-events", 0, false, L"no longer registered"},
        {L"Morvane.exe --unregister-events", 0, false, L"nothing to remove"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.commandLine, step.commandLine + wcslen(step.commandLine)));
        const TestSupport::MessageBoxCollector boxes;
        EXPECT_EQ(Morvane::RunCommandLine(step.commandLine), step.exitCode);
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_NE(boxes.Boxes()[0].text.find(step.says), std::wstring::npos);
        EXPECT_NE(boxes.Boxes()[0].text.find(
                      L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Morvane"),
                  std::wstring::npos);
        EXPECT_EQ(boxes.Boxes()[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
        EXPECT_EQ(KeyExists(), step.registered);
        if (step.registered) {
            EXPECT_EQ(MessageFile(), ThisProgram());
            EXPECT_NE(boxes.Boxes()[0].text.find(ThisProgram()), std::wstring::npos);
            EXPECT_EQ(TypesSupported(), std::optional<DWORD>(7));
        }
    }
}

TEST(EventRegistration, RefusalsSayWhyAndChangeNothing)
{
    const KeyRemoved removed;
    (void)::RegDeleteKeyW(HKEY_LOCAL_MACHINE, Morvane::kEventSourceKey);
    enum class Refusal { NotAdministrator, RegistryDenies, RegistryFails };
    const struct {
        Refusal refusal;
        const wchar_t* commandLine;
        const wchar_t* says;
    } cases[] = {
        {Refusal::NotAdministrator, L"Morvane.exe --register-events", L"needs the Administrators group"},
        {Refusal::NotAdministrator, L"Morvane.exe --unregister-events", L"needs the Administrators group"},
        {Refusal::RegistryDenies, L"Morvane.exe --register-events", L"needs the Administrators group"},
        {Refusal::RegistryFails, L"Morvane.exe --register-events", L"could not be registered"},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(static_cast<int>(example.refusal));
        Refusals::createRefusal = example.refusal == Refusal::RegistryFails ? ERROR_OUTOFMEMORY : ERROR_ACCESS_DENIED;
        const TestSupport::MessageBoxCollector boxes;
        int exitCode = -1;
        {
            std::optional<ImportPatch<decltype(&::CheckTokenMembership)>> member;
            std::optional<ImportPatch<decltype(&::RegCreateKeyExW)>> create;
            if (example.refusal == Refusal::NotAdministrator) {
                member.emplace(__imp_CheckTokenMembership, &Refusals::NotAMember);
            } else {
                create.emplace(__imp_RegCreateKeyExW, &Refusals::RefuseCreate);
            }
            exitCode = Morvane::RunCommandLine(example.commandLine);
        }
        EXPECT_EQ(exitCode, 1);
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_NE(boxes.Boxes()[0].text.find(example.says), std::wstring::npos);
        const std::wstring error = example.refusal == Refusal::RegistryFails ? L"(error 14)." : L"(error 5).";
        EXPECT_NE(boxes.Boxes()[0].text.find(error), std::wstring::npos);
        EXPECT_EQ(boxes.Boxes()[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
        EXPECT_FALSE(KeyExists());
    }
}

} // namespace
