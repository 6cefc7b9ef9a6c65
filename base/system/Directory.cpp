#include "system/Directory.h"

#include "logs/Trace.h"
#include "system/HResult.h"
#include "system/TextConversion.h"

#include <new>
#include <string_view>

namespace TalvexBasic::Files {
namespace {

constexpr char kMakeSureName[] = "TalvexBasic::Files::Directory::MakeSureDirectoryPathExists$Static";

bool IsExistingDirectory(const wchar_t* path) noexcept
{
    const DWORD attributes = ::GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsDriveLetter(wchar_t character) noexcept
{
    return (character >= L'A' && character <= L'Z') || (character >= L'a' && character <= L'z');
}

// Skips "\\server\share\" and returns the index just past it, or the end of the path.
size_t SkipServerAndShare(std::wstring_view path, size_t start) noexcept
{
    const size_t server = path.find(L'\\', start);
    if (server == std::wstring_view::npos) {
        return path.size();
    }
    const size_t share = path.find(L'\\', server + 1);
    return share == std::wstring_view::npos ? path.size() : share + 1;
}

// Where the first folder that may need creating begins: past a drive root ("C:\"), a server and
// share ("\\server\share\"), their long-path forms ("\\?\C:\", "\\?\UNC\server\share\"), or a
// leading backslash. None of these can be created, only the folders below them.
size_t FirstCreatableLevel(std::wstring_view path) noexcept
{
    size_t start = 0;
    if (path.substr(0, 4) == L"\\\\?\\") {
        start = 4;
        if (path.substr(start, 4) == L"UNC\\") {
            return SkipServerAndShare(path, start + 4);
        }
    } else if (path.substr(0, 2) == L"\\\\") {
        return SkipServerAndShare(path, 2);
    }
    if (path.size() >= start + 2 && IsDriveLetter(path[start]) && path[start + 1] == L':') {
        start += 2;
    }
    while (start < path.size() && path[start] == L'\\') {
        ++start;
    }
    return start;
}

// The trace line shows the path in the thread's ANSI code page, as the platform's narrow
// routine once did; only the line is narrow, the folders are made from the wide path.
HRESULT Fail(const std::wstring& path, DWORD error) noexcept
{
    try {
        const std::string narrowPath = ToThreadAnsi(path);
        TALVEX_TRACE(kMakeSureName, "MakeSureDirectoryPathExists(%s) error:%u.", narrowPath.c_str(),
                     static_cast<unsigned>(error));
    } catch (const std::bad_alloc&) {
        TALVEX_TRACE(kMakeSureName, "new char[%u] failed.", static_cast<unsigned>(path.size()));
    }
    return FailureHResultFromWin32(error);
}

} // namespace

HRESULT Directory::MakeSureDirectoryPathExists$Static(const std::wstring& path) noexcept
{
    return MakeSureDirectoryPathExists$Static(path, nullptr, path.size());
}

HRESULT Directory::MakeSureDirectoryPathExists$Static(const std::wstring& path, SECURITY_ATTRIBUTES* security,
                                                      size_t securedFrom) noexcept
{
    std::wstring level;
    try {
        level = path;
    } catch (const std::bad_alloc&) {
        TALVEX_TRACE(kMakeSureName, "new WCHAR[%u] failed.", static_cast<unsigned>(path.size() + 1));
        return E_OUTOFMEMORY;
    }

    // Each level up to and including each backslash, from the root down. The copy is cut after
    // the backslash for the call and mended afterwards, so no level needs a string of its own.
    for (size_t backslash = path.find(L'\\', FirstCreatableLevel(path)); backslash != std::wstring::npos;
         backslash = path.find(L'\\', backslash + 1)) {
        const wchar_t kept = level[backslash + 1];
        level[backslash + 1] = L'\0';
        if (!::CreateDirectoryW(level.c_str(), backslash > securedFrom ? security : nullptr)) {
            const DWORD error = ::GetLastError();
            // An existing folder is no error, whatever the platform said; a file of that name
            // keeps its error (already exists), since nothing can be made below it.
            if (!IsExistingDirectory(level.c_str())) {
                return Fail(path, error);
            }
        }
        level[backslash + 1] = kept;
    }
    return S_OK;
}

} // namespace TalvexBasic::Files
