#pragma once

#include "CommandReport.h"

#include <windows.h>

#include <string>

namespace Morvane {

// Where the Application log finds the sentences of the source "Morvane": this program, whose
// message table holds them.
constexpr wchar_t kEventSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Morvane";
constexpr wchar_t kEventMessageFileValue[] = L"EventMessageFile";
constexpr wchar_t kTypesSupportedValue[] = L"TypesSupported";
// Errors, warnings and information.
constexpr DWORD kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

// What --register-events or --unregister-events did.
enum class EventRegistrationChange {
    Registered,       // the key names this program as the source's message file
    Unregistered,     // the key was there and is gone
    WasAbsent,        // --unregister-events found no key: nothing to do
    NeedsAdministrators, // the user is no (elevated) administrator, or the registry said so
    NotRegistered,    // the key or a value could not be written
    NotUnregistered,  // the key could not be removed
};

// The message box of a change and the exit code: 0 when done, 1 otherwise.
using EventRegistrationReport = CommandReport;

// program: the message file written (Registered) or meant; why: the system's text of the error.
[[nodiscard]] EventRegistrationReport ReportEventRegistration(EventRegistrationChange change,
                                                              const std::wstring& program, DWORD error,
                                                              const std::wstring& why);

// Writes the source's key for this program's own executable, or removes it, and reports. Both
// need the Administrators group, elevated: without it nothing is tried.
[[nodiscard]] EventRegistrationReport RegisterRunEvents();
[[nodiscard]] EventRegistrationReport UnregisterRunEvents();

} // namespace Morvane
