#include "OutputFolderChoice.h"

#include "basic/StringFormat.h"

#include <string_view>

namespace Morvane {
namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";

bool StartsWith(std::wstring_view text, std::wstring_view start) noexcept
{
    return text.substr(0, start.size()) == start;
}

bool IsDriveLetter(wchar_t character) noexcept
{
    return (character >= L'A' && character <= L'Z') || (character >= L'a' && character <= L'z');
}

// The first "%NAME%" left in an expanded text: a variable that is not defined stays as written.
std::wstring UndefinedVariable(const std::wstring& expanded)
{
    for (size_t open = expanded.find(L'%'); open != std::wstring::npos; open = expanded.find(L'%', open + 1)) {
        const size_t close = expanded.find(L'%', open + 1);
        if (close == std::wstring::npos) {
            break;
        }
        const std::wstring_view name = std::wstring_view(expanded).substr(open + 1, close - open - 1);
        if (!name.empty() && name.find_first_of(L"\\/") == std::wstring_view::npos) {
            return expanded.substr(open, close - open + 1);
        }
    }
    return {};
}

// The first character that no folder name may hold, or 0. The "\\?\" prefix and a drive's colon
// are no names; "/" separates folders as "\" does.
wchar_t ForbiddenCharacter(std::wstring_view path) noexcept
{
    if (StartsWith(path, kLongPrefix)) {
        path.remove_prefix(kLongPrefix.size());
    }
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':') {
        path.remove_prefix(2);
    }
    for (const wchar_t character : path) {
        if (character < 32 || std::wstring_view(L"<>:\"|?*").find(character) != std::wstring_view::npos) {
            return character;
        }
    }
    return 0;
}

// "<system's words> (error N)."
std::wstring Because(DWORD error, const std::wstring& errorText)
{
    return Basic::Text::Format(L"%ls (error %lu).", errorText.empty() ? L"The system gave no reason" : errorText.c_str(),
                               static_cast<unsigned long>(error));
}

OutputFolderChoice Refuse(const std::wstring& argument, const std::wstring& why)
{
    return {{}, L"The output folder \"" + argument + L"\" cannot be used:\r\n" + why};
}

} // namespace

OutputFolderChoice ChooseOutputFolder(const OutputFolderSighting& sighting)
{
    if (!sighting.expanded) {
        return Refuse(sighting.argument, L"its environment variables cannot be expanded: " +
                                             Because(sighting.error, sighting.errorText));
    }
    const std::wstring& expandedText = sighting.expandedText;
    const std::wstring undefined = UndefinedVariable(expandedText);
    if (!undefined.empty()) {
        return Refuse(sighting.argument, L"the environment variable " + undefined + L" is not defined.");
    }
    if (expandedText.find_first_not_of(L" ") == std::wstring::npos) {
        return Refuse(sighting.argument, L"it names no folder.");
    }
    const wchar_t forbidden = ForbiddenCharacter(expandedText);
    if (forbidden != 0) {
        const std::wstring shown = forbidden < 32 ? Basic::Text::Format(L"the control character %u",
                                                                        static_cast<unsigned>(forbidden))
                                                  : std::wstring(L"'") + forbidden + L"'";
        return Refuse(sighting.argument, L"\"" + expandedText + L"\" holds " + shown +
                                             L", which no folder name may hold.");
    }
    if (!sighting.madeFull) {
        return Refuse(sighting.argument, L"\"" + expandedText + L"\" makes no full path: " +
                                             Because(sighting.error, sighting.errorText));
    }
    std::wstring folder = sighting.fullPath;
    // "C:\" and "\\server\share\" lose their backslash too: each run folder is appended with its own.
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    if (folder.size() > kLongestPlainOutputFolder && !StartsWith(folder, kLongPrefix)) {
        folder = StartsWith(folder, L"\\\\") ? std::wstring(kLongUncPrefix) + folder.substr(2)
                                             : std::wstring(kLongPrefix) + folder;
    }
    return {folder, {}};
}

std::wstring WithoutStrayClosingQuote(std::wstring path)
{
    if (!path.empty() && path.back() == L'"' && path.find(L'"') == path.size() - 1) {
        path.pop_back();
    }
    return path;
}

std::wstring MakeChosenFolderFailureText(const std::wstring& argument, const std::wstring& folder, DWORD error,
                                         const std::wstring& errorText)
{
    return Refuse(argument, L"\"" + folder + L"\": " + Because(error, errorText)).error;
}

} // namespace Morvane
