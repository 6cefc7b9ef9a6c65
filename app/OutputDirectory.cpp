#include "OutputDirectory.h"

#include "PrivateFolder.h"
#include "SystemErrorText.h"
#include "basic/PathParts.h"
#include "system/Directory.h"
#include "system/EnvironmentString.h"
#include "system/Module.h"

#include <utility>

namespace Morvane {
namespace {

// "Morvane", "Output" and the run's own folder.
constexpr int kOwnFolderLevels = 3;
// Below a chosen folder only the run's own folder is the tool's.
constexpr int kOwnFolderLevelsBelowChosen = 1;

// The length of the path above the tool's own folders: that of "C:\x" in "C:\x\Morvane\Output\run".
size_t StartOfOwnFolders(const std::wstring& folder, int ownLevels = kOwnFolderLevels) noexcept
{
    size_t start = folder.size();
    for (int level = 0; level < ownLevels && start > 0; ++level) {
        const size_t backslash = folder.rfind(L'\\', start - 1);
        if (backslash == std::wstring::npos) {
            break;
        }
        start = backslash;
    }
    return start;
}

bool IsMissing(const std::wstring& path) noexcept
{
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The first of the tool's own folders that may not hold the output, with why; None when all may.
// Before they are made, the check ends at the first that does not exist yet.
FailedOutputFolder RefusedOwnFolder(const std::wstring& folder, PSID user, bool upToTheFirstMissing, int ownLevels)
{
    FailedOutputFolder failure;
    for (size_t end = folder.find(L'\\', StartOfOwnFolders(folder, ownLevels) + 1);; end = folder.find(L'\\', end + 1)) {
        const std::wstring level = folder.substr(0, end);
        if (upToTheFirstMissing && IsMissing(level)) {
            return failure;
        }
        failure.refusal = JudgeExistingFolder(SightExistingFolder(level, user));
        if (failure.refusal != FolderRefusal::None) {
            failure.folder = folder;
            failure.result = E_ACCESSDENIED;
            failure.refusedFolder = level;
            return failure;
        }
        if (end == std::wstring::npos) {
            return failure;
        }
    }
}

} // namespace

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

namespace {

// Makes the folder with all its missing levels, those past securedFrom characters private, and
// refuses it when one of its last ownLevels levels was planted; true when it may take the run.
bool TryOutputFolder(OutputDirectoryChoice& choice, PrivateFolderSecurity& security, const std::wstring& folder,
                     int ownLevels, size_t securedFrom)
{
    // Nothing is made inside a folder planted in advance, nor where a link in its place points.
    FailedOutputFolder planted = RefusedOwnFolder(folder, security.User(), true, ownLevels);
    if (planted.refusal != FolderRefusal::None) {
        choice.failures.push_back(std::move(planted));
        return false;
    }
    const HRESULT result = TalvexBasic::Files::Directory::MakeSureDirectoryPathExists$Static(
        folder + L"\\", security.Attributes(), securedFrom);
    if (FAILED(result)) {
        FailedOutputFolder failed;
        failed.folder = folder;
        failed.result = result;
        choice.failures.push_back(std::move(failed));
        return false;
    }
    // Checked again once they all exist: a folder planted between the check and its creation
    // is refused all the same.
    FailedOutputFolder refused = RefusedOwnFolder(folder, security.User(), false, ownLevels);
    if (refused.refusal != FolderRefusal::None) {
        choice.failures.push_back(std::move(refused));
        return false;
    }
    choice.directory = folder;
    choice.created = true;
    return true;
}

} // namespace

OutputDirectoryChoice CreateOutputDirectory(const std::wstring& preferred,
                                            const std::function<std::wstring()>& makeFallback)
{
    OutputDirectoryChoice choice;
    choice.directory = preferred;
    PrivateFolderSecurity security;
    const auto tryFolder = [&choice, &security](const std::wstring& folder) {
        return TryOutputFolder(choice, security, folder, kOwnFolderLevels, StartOfOwnFolders(folder));
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

OutputDirectoryChoice CreateChosenOutputDirectory(const std::wstring& runFolder)
{
    OutputDirectoryChoice choice;
    choice.directory = runFolder;
    PrivateFolderSecurity security;
    choice.noFallback = !TryOutputFolder(choice, security, runFolder, kOwnFolderLevelsBelowChosen, 0);
    return choice;
}

OutputDirectoryChoice CreateOutputDirectoryBelow(const std::wstring& argument, const std::wstring& runName)
{
    const OutputFolderChoice chosen = ResolveOutputFolder(argument);
    if (!chosen.error.empty()) {
        OutputDirectoryChoice refused;
        refused.directory = argument;
        refused.noFallback = true;
        refused.chosenFolderFailure = chosen.error;
        return refused;
    }
    OutputDirectoryChoice choice = CreateChosenOutputDirectory(chosen.folder + L"\\" + runName);
    choice.chosenFolder = chosen.folder;
    if (!choice.failures.empty()) {
        const HRESULT result = choice.failures.front().result;
        const DWORD error =
            HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : static_cast<DWORD>(result);
        choice.chosenFolderFailure = MakeChosenFolderFailureText(argument, chosen.folder, error, SystemErrorText(error));
    }
    return choice;
}

OutputFolderChoice ResolveOutputFolder(const std::wstring& argument)
{
    OutputFolderSighting sighting;
    sighting.argument = argument;
    const HRESULT expanded = TalvexBasic::EnvironmentVars::String::Expand$Static(argument, sighting.expandedText);
    sighting.expanded = SUCCEEDED(expanded);
    sighting.expandedText = WithoutStrayClosingQuote(std::move(sighting.expandedText));
    if (!sighting.expanded) {
        sighting.error = HRESULT_FACILITY(expanded) == FACILITY_WIN32 ? HRESULT_CODE(expanded) : ERROR_INVALID_DATA;
        sighting.errorText = SystemErrorText(sighting.error);
        return ChooseOutputFolder(sighting);
    }
    // The length asked first includes the terminating zero; a path that grew meanwhile is asked again.
    DWORD length = ::GetFullPathNameW(sighting.expandedText.c_str(), 0, nullptr, nullptr);
    while (length != 0) {
        sighting.fullPath.assign(length, L'\0');
        const DWORD written =
            ::GetFullPathNameW(sighting.expandedText.c_str(), length, sighting.fullPath.data(), nullptr);
        if (written != 0 && written < length) {
            sighting.fullPath.resize(written);
            sighting.madeFull = true;
            break;
        }
        length = written;
    }
    if (!sighting.madeFull) {
        sighting.error = ::GetLastError();
        sighting.errorText = SystemErrorText(sighting.error);
        sighting.fullPath.clear();
    }
    return ChooseOutputFolder(sighting);
}

} // namespace Morvane
