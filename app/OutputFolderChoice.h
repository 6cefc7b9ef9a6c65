#pragma once

#include <windows.h>

#include <string>

namespace Morvane {

// A folder given with --output, as the platform made it full.
struct OutputFolderSighting {
    std::wstring argument;     // as given on the command line
    bool expanded = false;     // its environment variables could be expanded
    std::wstring expandedText; // the argument with its variables expanded, WithoutStrayClosingQuote
    bool madeFull = false;     // a full path could be made of the expanded text
    std::wstring fullPath;     // the expanded text as a full path (relative to the current folder)
    DWORD error = ERROR_SUCCESS;   // why the expansion or the full path failed
    std::wstring errorText;        // the system's words for that error
};

// The folder the run folders go directly below, or why it cannot be used.
struct OutputFolderChoice {
    std::wstring folder; // without a trailing backslash; empty when refused
    std::wstring error;  // names the folder and the reason; empty when chosen
};

// Longer folders are used in their "\\?\" form, in which the system takes paths of any length:
// their run folders would pass the 248 characters a plain folder path may have.
constexpr size_t kLongestPlainOutputFolder = 206;

// Refuses a folder whose variables are undefined or whose names hold characters no folder may
// hold; otherwise its full path, in the "\\?\" or "\\?\UNC\" form where it is long.
[[nodiscard]] OutputFolderChoice ChooseOutputFolder(const OutputFolderSighting& sighting);

// "C:\x\" typed in quotes reaches the program as C:\x" (a backslash keeps the quote after it).
// No folder name holds a quote, so a lone one at the end is taken for that closing quote.
[[nodiscard]] std::wstring WithoutStrayClosingQuote(std::wstring path);

// The message box's text when the chosen folder cannot take the run: names the folder given, the
// folder tried, and the system's reason with its error number.
[[nodiscard]] std::wstring MakeChosenFolderFailureText(const std::wstring& argument, const std::wstring& folder,
                                                       DWORD error, const std::wstring& errorText);

} // namespace Morvane
