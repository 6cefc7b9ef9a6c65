#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace TestSupport {

// One OutputDebugStringA or OutputDebugStringW call of the debuggee.
struct DebugLine {
    bool wide = false;  // sent with OutputDebugStringW
    std::string narrow; // narrow lines: the bytes exactly as sent, without the terminating zero
    std::wstring text;  // wide lines: the UTF-16 text as sent; narrow lines: the bytes read as ANSI
};

struct DebugCaptureOptions {
    std::wstring program;          // full path of the executable
    std::wstring arguments;        // appended to the quoted program path
    std::wstring workingDirectory; // empty: the caller's
    DWORD timeLimitMilliseconds = 60000;
    // The completion message box to confirm: a dialog of the debuggee with this caption.
    std::wstring boxCaption = L"Morvane";
    // Called with each such box and its text before OK is pressed, while the debuggee waits.
    std::function<void(HWND box, const std::wstring& text)> onMessageBox;
    // An inheritable handle handed to the program as its standard error (standard input and
    // output get none); null: none, rather than this process's own (which Wine would pass on).
    HANDLE standardError = nullptr;
};

struct DebugCaptureResult {
    std::string failure; // why the program could not be run; empty when it ran
    DWORD processId = 0;
    bool exited = false;   // the process has ended (also after a kill)
    bool timedOut = false; // it ran past the time limit and was killed
    DWORD exitCode = 0;    // valid when exited
    std::vector<DebugLine> lines;
    std::vector<std::wstring> messageBoxTexts; // text of every box confirmed, in order
    // The caption of every visible dialog (class #32770) of the program seen while it ran, with
    // any caption, boxes to confirm or not; each dialog once.
    std::vector<std::wstring> dialogCaptions;
    std::vector<DWORD> exceptionCodes;         // exceptions of the program itself, first chance
    bool unhandledException = false;           // a second-chance exception was reported
    // Whether wide lines keep characters outside the ANSI code page (see DebugCapture.cpp).
    bool wideLinesExact = false;

    // The lines whose text contains the given text, in order.
    [[nodiscard]] std::vector<const DebugLine*> LinesContaining(std::wstring_view part) const;
};

// Starts the program as a debuggee, records every debug-output line, confirms each completion
// box with OK, and returns once the program has ended. A program still running at the time
// limit is killed and reported as timed out. Runs on the calling thread (debug events reach only
// the thread that started the debuggee).
[[nodiscard]] DebugCaptureResult RunWithDebugCapture(const DebugCaptureOptions& options);

// The exit code given to a program that is killed at the time limit.
constexpr DWORD kDebugCaptureKilledExitCode = 0xDEAD;

} // namespace TestSupport
