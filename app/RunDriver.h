#pragma once

#include "record/RunEntry.h"

#include <windows.h>

#include <functional>
#include <string>

namespace Morvane {

class OutcomeNotice;
struct RunContext;

// The whole run: start-up, the walk over the top-level windows, the completion message and the
// shut-down; the run folder goes below chosenFolder (as given with --output) when there is one.
// Returns 0, or 1 when no output folder could be created at all. The completion message is told
// through notice.
int Run(OutcomeNotice& notice, const std::wstring& chosenFolder = {});

// Creates the output directory (directly below chosenFolder when one is given) and starts the
// logging; true when an output folder exists. Otherwise gOutputFailureText says why.
[[nodiscard]] bool Initialize(const std::wstring& chosenFolder = {});
void Finalize();

// One step per enumerated window; true goes on with the enumeration.
using WindowStep = std::function<bool(HWND window, void* user)>;

struct EnumerationContext {
    WindowStep step;
    void* user = nullptr;
};

// The EnumWindows callback: lParam points to an EnumerationContext. An empty step raises
// std::bad_function_call.
BOOL CALLBACK EnumerateWindowsAdapter(HWND window, LPARAM context);

// Samples one window and, if it is to be handled, reports it and saves its folder; the run's
// recorder gets the window's entry, and a copy of it is returned.
RunWindow HandleWindow(RunContext& context, HWND window);

// The enumeration's step: user is the run's RunContext.
bool HandleEnumeratedWindow(HWND window, void* user);

// The walk over the top-level windows present now, each handled into the context's recorder.
void SaveWindowsPresentNow(RunContext& context);

// "YYYYMMDD-hhmmss-<ms>-<tick>-<random>", the name of a run's folder.
[[nodiscard]] std::wstring MakeRunFolderName(const SYSTEMTIME& time, unsigned tickCount, unsigned random);

// "<folder>\Morvane\Output\YYYYMMDD-hhmmss-<ms>-<tick>-<random>"
[[nodiscard]] std::wstring MakeOutputDirectory(const std::wstring& folder, const SYSTEMTIME& time, unsigned tickCount,
                                               unsigned random);

// "Success Save All Window To \r\n\"<directory>\"."
[[nodiscard]] std::wstring MakeCompletionText(const std::wstring& directory);

// "Failed Save All Window To \r\n\"<directory>\".", when no output folder could be made.
[[nodiscard]] std::wstring MakeFailureText(const std::wstring& directory);

// The error a failure event gives when no output folder could be made: a chosen folder's own
// reason, else where to look for the folders tried.
[[nodiscard]] std::wstring OutputFailureEventText(const std::wstring& chosenFolder);

} // namespace Morvane
