#include "OutputDirectory.h"

#include "basic/PathParts.h"
#include "system/Directory.h"
#include "system/EnvironmentString.h"
#include "system/Module.h"

namespace Morvane {

bool IsFullPath(const std::wstring& path) noexcept
{
    const bool driveLetter = path.size() >= 3 &&
                             ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                             path[1] == L':' && path[2] == L'\\';
    const bool server = path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\\';
    return driveLetter || server;
}

std::wstring ExecutableFolder()
{
    std::wstring executable;
    if (FAILED(TalvexBasic::Modules::Module::GetModuleFullFileName$Static(executable))) {
        return L".";
    }
    const size_t backslash = executable.find_last_of(L'\\');
    // "\x.exe" or "x.exe" would leave "" or "x.exe" as the folder, and the output would go to the
    // root of the current drive or into a folder named after the file.
    if (backslash == std::wstring::npos || backslash == 0) {
        return L".";
    }
    return std::wstring(Basic::Paths::FolderPart(executable));
}

std::wstring LocalApplicationDataFolder()
{
    std::wstring folder;
    if (FAILED(TalvexBasic::EnvironmentVars::String::Expand$Static(L"%LOCALAPPDATA%", folder))) {
        return {};
    }
    // An undefined variable stays "%LOCALAPPDATA%"; an empty one would give a path at the root.
    if (!IsFullPath(folder)) {
        return {};
    }
    // "C:\Users\x\" and "C:\" lose their trailing backslash: the output names are appended with
    // one of their own.
    while (folder.size() > 2 && folder.back() == L'\\') {
        folder.pop_back();
    }
    return folder;
}

OutputDirectoryChoice CreateOutputDirectory(const std::wstring& preferred,
                                            const std::function<std::wstring()>& makeFallback)
{
    OutputDirectoryChoice choice;
    choice.directory = preferred;
    const auto tryFolder = [&choice](const std::wstring& folder) {
        const HRESULT result = TalvexBasic::Files::Directory::MakeSureDirectoryPathExists$Static(folder + L"\\");
        if (FAILED(result)) {
            choice.failures.push_back({folder, result});
            return false;
        }
        choice.directory = folder;
        choice.created = true;
        return true;
    };
    if (tryFolder(preferred)) {
        return choice;
    }
    const std::wstring fallback = makeFallback ? makeFallback() : std::wstring();
    if (fallback.empty()) {
        choice.noFallback = true;
    } else {
        (void)tryFolder(fallback);
    }
    return choice;
}

} // namespace Morvane
