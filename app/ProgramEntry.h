#pragma once

namespace Morvane {

// Runs what the command line asks for and returns the exit code: without arguments one run
// (Run), --watch a watch, --stop the end of the running watch, --at-sign-in and --not-at-sign-in
// the start of a watch at sign-in and --register-events and --unregister-events the event source's
// registration (each 0, or 1 when the change failed), --help the usage; 2 for arguments that are
// refused, with nothing written. With --quiet no message box shows: the text goes to standard
// error when there is one (OutcomeNotice).
[[nodiscard]] int RunCommandLine(const wchar_t* commandLine);

} // namespace Morvane
