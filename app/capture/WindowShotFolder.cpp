#include "capture/WindowShotFolder.h"

#include "basic/PathParts.h"
#include "basic/StringFormat.h"
#include "system/HResult.h"

#include <string_view>

namespace Morvane {
namespace {

// Characters that a folder name cannot hold: the platform reads '/' as a separator like '\',
// and refuses control characters and the reserved punctuation. The image name never holds a
// backslash (it is the part after the last one), and any such character is replaced, so the name
// stays one folder level below WindowShot. Every other character, look-alikes of the separators
// included, is kept as it is: the folders are made from the wide path.
bool IsRefusedInFolderName(wchar_t character) noexcept
{
    return character < 0x20 || std::wstring_view(L"<>:\"/\\|?*").find(character) != std::wstring_view::npos;
}

void AppendImageName(std::wstring& folder, std::wstring_view imageName)
{
    for (const wchar_t character : imageName) {
        folder += IsRefusedInFolderName(character) ? L'_' : character;
    }
}

// "WindowShot<separator>[<image name>]-0x<handle>-<pid>-<tid>"; the image name holds neither
// separator, as both are replaced.
void AppendWindowShotFolder(std::wstring& folder, const WindowInfo& record, wchar_t separator)
{
    folder += L"WindowShot";
    folder += separator;
    folder += L'[';
    AppendImageName(folder, Basic::Paths::FileNamePart(record.mProcessDosPath));
    Basic::Text::AppendFormat(folder, L"]-0x%016llX-%u-%u", TalvexBasic::PointerBits(record.mWindowHandle),
                              static_cast<unsigned>(record.mProcessId), static_cast<unsigned>(record.mThreadId));
}

} // namespace

std::wstring MakeWindowShotFolder(const std::wstring& outputDirectory, const WindowInfo& record)
{
    std::wstring folder = outputDirectory + L"\\";
    AppendWindowShotFolder(folder, record, L'\\');
    return folder + L'\\';
}

std::wstring MakeRelativeWindowShotFolder(const WindowInfo& record)
{
    std::wstring folder;
    AppendWindowShotFolder(folder, record, L'/');
    return folder;
}

} // namespace Morvane
