#pragma once

#include "CommandReport.h"

#include <windows.h>

#include <string>

namespace Morvane {

// Where a watch is told to start at each sign-in: a value of the user's Run key, which the shell
// runs as the user signs in.
constexpr wchar_t kSignInRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kSignInValueName[] = L"Morvane";

// The value's text: the program's full path in quotes (it may hold spaces) and --watch; with
// quiet, --quiet as well, so that a watch deployed quietly stays quiet at each sign-in; with an
// output folder, --output and the folder as given, quoted as CommandLineToArgvW splits it back
// (its environment variables are expanded by each watch, so %LOCALAPPDATA% is each user's own).
[[nodiscard]] std::wstring MakeSignInCommand(const std::wstring& programPath, bool quiet = false,
                                             const std::wstring& outputFolder = {});

// What --at-sign-in or --not-at-sign-in did.
enum class SignInChange {
    Written,    // the value now starts a watch at sign-in
    Removed,    // the value was there and is gone
    WasAbsent,  // --not-at-sign-in found no value: nothing to do
    NotWritten, // the path or the value could not be written
    NotRemoved, // the value could not be removed
};

// The message box of a change and the program's exit code: 0 when done, 1 for a failure.
using SignInReport = CommandReport;

// command: the value written (Written), or the one that was meant (NotWritten, may be empty);
// why: the system's text of the failure.
[[nodiscard]] SignInReport ReportSignInChange(SignInChange change, const std::wstring& command, DWORD error,
                                              const std::wstring& why);

// Writes the value (REG_SZ: a plain string is what the shell runs everywhere) for this program's
// own executable (a quiet watch with quiet), or removes it, and reports.
[[nodiscard]] SignInReport StartAtSignIn(bool quiet, const std::wstring& outputFolder = {});
[[nodiscard]] SignInReport StopStartingAtSignIn();

} // namespace Morvane
