#include "watch/SignInStart.h"

#include "MorvaneTrace.h"
#include "SystemErrorText.h"
#include "basic/StringFormat.h"
#include "system/Module.h"
#include "system/UniqueResource.h"

namespace Morvane {
namespace {

constexpr const char* kSignInStart = "Morvane::SignInStart";

using TalvexBasic::UniqueRegistryKey;

std::wstring ValueName()
{
    return Basic::Text::Format(L"HKEY_CURRENT_USER\\%ls, value \"%ls\"", kSignInRunKey, kSignInValueName);
}

} // namespace

std::wstring MakeSignInCommand(const std::wstring& programPath, bool quiet, const std::wstring& outputFolder)
{
    std::wstring command = L"\"" + programPath + L"\" --watch" + (quiet ? L" --quiet" : L"");
    if (!outputFolder.empty()) {
        // Backslashes count only before a quote: those and the closing quote's are doubled.
        std::wstring quoted = L"\"";
        size_t backslashes = 0;
        for (const wchar_t character : outputFolder) {
            if (character == L'\\') {
                ++backslashes;
            } else {
                quoted.append(character == L'"' ? backslashes + 1 : 0, L'\\');
                backslashes = 0;
            }
            quoted += character;
        }
        quoted.append(backslashes, L'\\');
        command += L" --output " + quoted + L"\"";
    }
    return command;
}

SignInReport ReportSignInChange(SignInChange change, const std::wstring& command, DWORD error, const std::wstring& why)
{
    const std::wstring because =
        Basic::Text::Format(L"%ls (error %lu).", why.empty() ? L"The system gave no reason" : why.c_str(),
                            static_cast<unsigned long>(error));
    switch (change) {
    case SignInChange::Written:
        return {L"A watch will start at each sign-in:\r\n" + command + L"\r\n(" + ValueName() + L").",
                MB_ICONINFORMATION, 0};
    case SignInChange::Removed:
        return {L"The watch will no longer start at sign-in (" + ValueName() + L" removed).", MB_ICONINFORMATION, 0};
    case SignInChange::WasAbsent:
        return {L"The watch was not set to start at sign-in (no " + ValueName() + L"): nothing to remove.",
                MB_ICONINFORMATION, 0};
    case SignInChange::NotWritten:
        return {L"The watch could not be set to start at sign-in (" + ValueName() + L"): " + because, MB_ICONERROR, 1};
    case SignInChange::NotRemoved:
        break;
    }
    return {L"The watch could not be kept from starting at sign-in (" + ValueName() + L"): " + because, MB_ICONERROR,
            1};
}

SignInReport StartAtSignIn(bool quiet, const std::wstring& outputFolder)
{
    std::wstring program;
    const HRESULT found = TalvexBasic::Modules::Module::GetModuleFullFileName$Static(program);
    if (FAILED(found)) {
        const DWORD error = HRESULT_FACILITY(found) == FACILITY_WIN32 ? HRESULT_CODE(found) : ERROR_BAD_PATHNAME;
        return ReportSignInChange(SignInChange::NotWritten, {}, error, SystemErrorText(error));
    }
    const std::wstring command = MakeSignInCommand(program, quiet, outputFolder);
    UniqueRegistryKey key;
    LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, kSignInRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                       key.put(), nullptr);
    if (status == ERROR_SUCCESS) {
        status = ::RegSetValueExW(key.get(), kSignInValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                                  static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
    const DWORD error = static_cast<DWORD>(status);
    MORVANE_TRACE_W(kSignInStart, L"The sign-in value \"%ls\" written: %lu.", command.c_str(),
                    static_cast<unsigned long>(error));
    return ReportSignInChange(error == ERROR_SUCCESS ? SignInChange::Written : SignInChange::NotWritten, command, error,
                              SystemErrorText(error));
}

SignInReport StopStartingAtSignIn()
{
    UniqueRegistryKey key;
    LSTATUS status = ::RegOpenKeyExW(HKEY_CURRENT_USER, kSignInRunKey, 0, KEY_SET_VALUE, key.put());
    if (status == ERROR_SUCCESS) {
        status = ::RegDeleteValueW(key.get(), kSignInValueName);
    }
    const DWORD error = static_cast<DWORD>(status);
    MORVANE_TRACE(kSignInStart, "The sign-in value removed: %lu.", static_cast<unsigned long>(error));
    // No Run key or no value: the watch did not start at sign-in, and does not now.
    if (error == ERROR_FILE_NOT_FOUND) {
        return ReportSignInChange(SignInChange::WasAbsent, {}, error, {});
    }
    return ReportSignInChange(error == ERROR_SUCCESS ? SignInChange::Removed : SignInChange::NotRemoved, {}, error,
                              SystemErrorText(error));
}

} // namespace Morvane
