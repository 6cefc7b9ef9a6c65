#include "WindowShotFolder.h"

#include "basic/PathParts.h"
#include "basic/StringFormat.h"
#include "system/HResult.h"

namespace Morvane {

std::wstring MakeWindowShotFolder(const std::wstring& outputDirectory, const WindowInfo& record)
{
    std::wstring folder = outputDirectory + L"\\WindowShot\\[";
    folder += Basic::Paths::FileNamePart(record.mProcessDosPath);
    Basic::Text::AppendFormat(folder, L"]-0x%016llX-%u-%u\\", TalvexBasic::PointerBits(record.mWindowHandle),
                              static_cast<unsigned>(record.mProcessId), static_cast<unsigned>(record.mThreadId));
    return folder;
}

} // namespace Morvane
