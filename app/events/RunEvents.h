#pragma once

#include "capture/SignatureVerdict.h"
#include "record/RunEntry.h"
#include "record/RunTally.h"

#include <windows.h>

#include <string>
#include <vector>

namespace Morvane {

// The source the events are written under, in the Application log.
constexpr wchar_t kEventSourceName[] = L"Morvane";

// One event as it goes to the Application log: its ID (the message table's sentence), its level
// (EVENTLOG_INFORMATION_TYPE, _WARNING_TYPE or _ERROR_TYPE) and its insertion strings, %1 first.
struct RunEvent {
    DWORD id = 0;
    WORD type = EVENTLOG_INFORMATION_TYPE;
    std::vector<std::wstring> strings;
};

enum class RunMode {
    OneShot, // the windows present now, once
    Watch,   // then every window that appears
};

// "one-shot" or "watch".
[[nodiscard]] const wchar_t* RunModeName(RunMode mode) noexcept;

// The longest insertion string written; a longer one (a caption may hold 64K characters) is cut
// and ends with "...", as the log keeps a whole event within 64 KB.
constexpr size_t kLongestInsertionString = 2048;

// A window a watch caught and saved, as its journal entry tells it.
struct CaughtWindow {
    std::wstring caption;
    std::wstring className;
    std::wstring imagePath; // empty where unknown
    DWORD processId = 0;
    std::wstring kind; // WindowKindName
    std::wstring runFolder;
    std::wstring windowFolder; // its full path
};

// The window of a watch's entry, saved into runFolder.
[[nodiscard]] CaughtWindow CaughtWindowOf(const RunWindow& entry, const std::wstring& runFolder);

// The error of a run that could make no output folder at all.
constexpr wchar_t kNoOutputFolderError[] =
    L"No output folder could be made; the debugger output names each folder tried and its error.";

// 1000 (information): mode, output folder, user (DOMAIN\user), version.
[[nodiscard]] RunEvent MakeRunStartedEvent(RunMode mode, const std::wstring& folder, const std::wstring& user,
                                           const std::wstring& version);
// 1001 (information), or 1002 (warning) when a step failed: windows saved, skipped, missed,
// failed steps, output folder.
[[nodiscard]] RunEvent MakeRunEndedEvent(const RunTally& tally, const std::wstring& folder);
// 1010 (information): caption, class, image path, process id, kind, signature verdict, signer,
// run folder, window folder.
[[nodiscard]] RunEvent MakeWindowCaughtEvent(const CaughtWindow& window, const SignatureVerdict& signature);
// 1011 (warning): how many window events were left out, the most written a second, run folder.
[[nodiscard]] RunEvent MakeWindowEventsLeftOutEvent(unsigned leftOut, unsigned perSecond, const std::wstring& folder);
// 1090 (error): mode, output folder (may be empty), the error's text.
[[nodiscard]] RunEvent MakeRunFailedEvent(RunMode mode, const std::wstring& folder, const std::wstring& error);

} // namespace Morvane
