#pragma once

#include "OutputFolderChoice.h"
#include "OutputFolderRule.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace Morvane {

// The folder of this executable, below which the run's output goes. "." (the current folder)
// when the executable's path cannot be had or names no folder: an output path must never start
// at the root of the current drive.
[[nodiscard]] std::wstring ExecutableFolder();

// %LOCALAPPDATA% without a trailing backslash, the place for the output when nothing can be made
// below the executable; empty unless it expands to a full path (drive or server form).
[[nodiscard]] std::wstring LocalApplicationDataFolder();

// "C:\x", "C:\", "\\server\share": a path that names its drive or server. Relative paths, and
// paths that start at the root of whatever the current drive is, are not.
[[nodiscard]] bool IsFullPath(const std::wstring& path) noexcept;

struct FailedOutputFolder {
    std::wstring folder;
    HRESULT result = S_OK;
    // Set when an existing folder of the tool's own levels could not be trusted with the output.
    FolderRefusal refusal = FolderRefusal::None;
    std::wstring refusedFolder;
};

struct OutputDirectoryChoice {
    // The folder created for the run; when none could be created, the one tried first.
    std::wstring directory;
    bool created = false;
    // The folders that could not be created, in the order tried.
    std::vector<FailedOutputFolder> failures;
    // The preferred folder failed and there was no fallback to try.
    bool noFallback = false;
    // For a folder given with --output: the folder as chosen (full), and why it cannot take the
    // run, naming it with the system's reason; empty when the run folder was made.
    std::wstring chosenFolder;
    std::wstring chosenFolderFailure;
};

// Creates the run's output directory: the preferred folder if it can be made, else the folder
// that makeFallback gives (asked only then; empty for none). The folders are really created
// here, so that the completion message only ever names a folder that exists. The last three
// levels of either path ("Morvane\Output\<run>") are the tool's own: those it creates get a
// DACL for the user, SYSTEM and Administrators alone, and one that already exists is refused
// when it is a reparse point or owned by anyone else.
[[nodiscard]] OutputDirectoryChoice CreateOutputDirectory(const std::wstring& preferred,
                                                          const std::function<std::wstring()>& makeFallback);

// The folder given with --output, its environment variables expanded and made a full path against
// the current folder, as ChooseOutputFolder decides.
[[nodiscard]] OutputFolderChoice ResolveOutputFolder(const std::wstring& argument);

// Creates a run folder directly below a folder given with --output. Every level made here, the
// missing levels of the chosen folder too, gets the private DACL; the run folder is the tool's own
// and refused when planted. A chosen folder has no fallback: noFallback is set when it fails.
[[nodiscard]] OutputDirectoryChoice CreateChosenOutputDirectory(const std::wstring& runFolder);

// The run folder runName below the folder given with --output (as given): resolved, then created
// (CreateChosenOutputDirectory). When the folder is refused, directory is the folder as given.
[[nodiscard]] OutputDirectoryChoice CreateOutputDirectoryBelow(const std::wstring& argument, const std::wstring& runName);

} // namespace Morvane
