#pragma once

#include "system/UniqueResource.h"

#include <windows.h>

#include <string>

namespace Morvane {

// Where the text for standard error goes.
enum class ErrorOutput {
    Console,       // standard error is a console: WriteConsoleW, every character kept
    Bytes,         // standard error is a file, a pipe or a device: UTF-8 bytes
    ParentConsole, // no standard error, but the parent's console was attached: its CONOUT$
    None,          // nowhere
};

// The choice from what the system tells of standard error: whether there is a handle, whether
// GetConsoleMode takes it, its GetFileType, and whether the parent's console could be attached.
[[nodiscard]] ErrorOutput ChooseErrorOutput(bool hasHandle, bool consoleMode, DWORD fileType,
                                            bool attached) noexcept;

// Standard error of this program. The program is built for the Windows subsystem, so it has a
// standard error only when its starter handed one over (a redirection, a pipe) or when it attaches
// to the console of the process that started it. Looked for once, at the first use.
class ErrorStream {
public:
    ErrorStream() = default;
    ErrorStream(const ErrorStream&) = delete;
    ErrorStream& operator=(const ErrorStream&) = delete;

    // True when there is somewhere to write.
    [[nodiscard]] bool Available();

    // The text and a line break; false when it could not be written whole.
    bool WriteLine(const std::wstring& text);

private:
    void Find();

    bool mLooked = false;
    ErrorOutput mOutput = ErrorOutput::None;
    HANDLE mHandle = nullptr; // standard error, the system's; or the console output below
    TalvexBasic::UniqueFileHandle mConsoleOutput;
};

} // namespace Morvane
