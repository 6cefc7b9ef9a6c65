#include "ErrorStream.h"

#include "system/TextConversion.h"

namespace Morvane {

ErrorOutput ChooseErrorOutput(bool hasHandle, bool consoleMode, DWORD fileType, bool attached) noexcept
{
    if (hasHandle && consoleMode) {
        return ErrorOutput::Console;
    }
    // A character device that is no console is most likely NUL: what the starter asked for.
    if (hasHandle && (fileType == FILE_TYPE_DISK || fileType == FILE_TYPE_PIPE || fileType == FILE_TYPE_CHAR)) {
        return ErrorOutput::Bytes;
    }
    return attached ? ErrorOutput::ParentConsole : ErrorOutput::None;
}

bool ErrorStream::Available()
{
    if (!mLooked) {
        mLooked = true;
        Find();
    }
    return mOutput != ErrorOutput::None;
}

void ErrorStream::Find()
{
    // Attached first: a console's standard handles are of use only once the process is on it.
    const bool attached = ::AttachConsole(ATTACH_PARENT_PROCESS) != FALSE;
    mHandle = ::GetStdHandle(STD_ERROR_HANDLE);
    const bool hasHandle = mHandle != nullptr && mHandle != INVALID_HANDLE_VALUE;
    DWORD mode = 0;
    const bool consoleMode = hasHandle && ::GetConsoleMode(mHandle, &mode) != FALSE;
    const DWORD fileType = hasHandle ? ::GetFileType(mHandle) : FILE_TYPE_UNKNOWN;
    mOutput = ChooseErrorOutput(hasHandle, consoleMode, fileType, attached);
    if (mOutput == ErrorOutput::ParentConsole) {
        mConsoleOutput.reset(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
        mHandle = mConsoleOutput.get();
        if (!mConsoleOutput) {
            mOutput = ErrorOutput::None;
        }
    }
}

bool ErrorStream::WriteLine(const std::wstring& text)
{
    if (!Available()) {
        return false;
    }
    const std::wstring line = text + L"\r\n";
    if (mOutput == ErrorOutput::Bytes) {
        const std::string bytes = TalvexBasic::ToUtf8(line);
        DWORD written = 0;
        return ::WriteFile(mHandle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE &&
               written == bytes.size();
    }
    DWORD written = 0;
    return ::WriteConsoleW(mHandle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) != FALSE &&
           written == line.size();
}

} // namespace Morvane
