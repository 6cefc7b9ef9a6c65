#include "events/EventRegistration.h"

#include "MorvaneTrace.h"
#include "SystemErrorText.h"
#include "basic/StringFormat.h"
#include "system/Module.h"
#include "system/UniqueResource.h"

namespace Morvane {
namespace {

constexpr const char* kEventRegistration = "Morvane::EventRegistration";

std::wstring KeyName()
{
    return std::wstring(L"HKEY_LOCAL_MACHINE\\") + kEventSourceKey;
}

// Whether the token in use holds the Administrators group enabled: under user account control an
// administrator's unelevated token holds it for denying only.
bool RunsAsAdministrator(DWORD& error)
{
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                    0, 0, &administrators)) {
        error = ::GetLastError();
        return false;
    }
    BOOL member = FALSE;
    const BOOL checked = ::CheckTokenMembership(nullptr, administrators, &member);
    error = checked ? ERROR_ACCESS_DENIED : ::GetLastError();
    ::FreeSid(administrators);
    return checked && member;
}

std::wstring ProgramPath(DWORD& error)
{
    std::wstring program;
    const HRESULT found = TalvexBasic::Modules::Module::GetModuleFullFileName$Static(program);
    if (FAILED(found)) {
        error = HRESULT_FACILITY(found) == FACILITY_WIN32 ? HRESULT_CODE(found) : ERROR_BAD_PATHNAME;
        return {};
    }
    return program;
}

EventRegistrationReport Refused(const std::wstring& program, DWORD error, EventRegistrationChange otherwise)
{
    const EventRegistrationChange change =
        error == ERROR_ACCESS_DENIED ? EventRegistrationChange::NeedsAdministrators : otherwise;
    return ReportEventRegistration(change, program, error, SystemErrorText(error));
}

} // namespace

EventRegistrationReport ReportEventRegistration(EventRegistrationChange change, const std::wstring& program,
                                                DWORD error, const std::wstring& why)
{
    const std::wstring because =
        Basic::Text::Format(L"%ls (error %lu).", why.empty() ? L"The system gave no reason" : why.c_str(),
                            static_cast<unsigned long>(error));
    switch (change) {
    case EventRegistrationChange::Registered:
        return {L"The events of the source Morvane now show as sentences in Event Viewer; their message file is\r\n" +
                    program + L"\r\n(" + KeyName() + L").",
                MB_ICONINFORMATION, 0};
    case EventRegistrationChange::Unregistered:
        return {L"The event source Morvane is no longer registered (" + KeyName() + L" removed).", MB_ICONINFORMATION,
                0};
    case EventRegistrationChange::WasAbsent:
        return {L"The event source Morvane was not registered (no " + KeyName() + L"): nothing to remove.",
                MB_ICONINFORMATION, 0};
    case EventRegistrationChange::NeedsAdministrators:
        return {L"Changing the registration of the event source Morvane needs the Administrators group: run Morvane.exe "
                "as administrator (" +
                    KeyName() + L"): " + because,
                MB_ICONERROR, 1};
    case EventRegistrationChange::NotRegistered:
        return {L"The event source Morvane could not be registered (" + KeyName() + L"): " + because, MB_ICONERROR, 1};
    case EventRegistrationChange::NotUnregistered:
        break;
    }
    return {L"The event source Morvane could not be unregistered (" + KeyName() + L"): " + because, MB_ICONERROR, 1};
}

EventRegistrationReport RegisterRunEvents()
{
    DWORD error = ERROR_SUCCESS;
    const std::wstring program = ProgramPath(error);
    if (program.empty()) {
        return ReportEventRegistration(EventRegistrationChange::NotRegistered, program, error, SystemErrorText(error));
    }
    if (!RunsAsAdministrator(error)) {
        return Refused(program, error, EventRegistrationChange::NotRegistered);
    }
    TalvexBasic::UniqueRegistryKey key;
    LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                       key.put(), nullptr);
    if (status == ERROR_SUCCESS) {
        status = ::RegSetValueExW(key.get(), kEventMessageFileValue, 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(program.c_str()),
                                  static_cast<DWORD>((program.size() + 1) * sizeof(wchar_t)));
    }
    if (status == ERROR_SUCCESS) {
        status = ::RegSetValueExW(key.get(), kTypesSupportedValue, 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&kTypesSupported), sizeof kTypesSupported);
    }
    error = static_cast<DWORD>(status);
    MORVANE_TRACE_W(kEventRegistration, L"The event source written with \"%ls\": %lu.", program.c_str(),
                    static_cast<unsigned long>(error));
    if (error != ERROR_SUCCESS) {
        return Refused(program, error, EventRegistrationChange::NotRegistered);
    }
    return ReportEventRegistration(EventRegistrationChange::Registered, program, error, {});
}

EventRegistrationReport UnregisterRunEvents()
{
    DWORD error = ERROR_SUCCESS;
    if (!RunsAsAdministrator(error)) {
        return Refused({}, error, EventRegistrationChange::NotUnregistered);
    }
    error = static_cast<DWORD>(::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey));
    MORVANE_TRACE(kEventRegistration, "The event source removed: %lu.", static_cast<unsigned long>(error));
    // No key: the source was not registered, and is not now.
    if (error == ERROR_FILE_NOT_FOUND) {
        return ReportEventRegistration(EventRegistrationChange::WasAbsent, {}, error, {});
    }
    if (error != ERROR_SUCCESS) {
        return Refused({}, error, EventRegistrationChange::NotUnregistered);
    }
    return ReportEventRegistration(EventRegistrationChange::Unregistered, {}, error, {});
}

} // namespace Morvane
