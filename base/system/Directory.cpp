#include "system/Directory.h"

#include "logs/Trace.h"
#include "system/HResult.h"
#include "system/TextConversion.h"

#include <dbghelp.h>

#include <new>

namespace TalvexBasic::Files {

HRESULT Directory::MakeSureDirectoryPathExists$Static(const std::wstring& path) noexcept
{
    std::string narrowPath;
    try {
        // The platform routine takes narrow text only.
        narrowPath = ToThreadAnsi(path);
    } catch (const std::bad_alloc&) {
        TALVEX_TRACE("TalvexBasic::Files::Directory::MakeSureDirectoryPathExists$Static", "new char[%u] failed.",
                     static_cast<unsigned>(path.size()));
        return E_OUTOFMEMORY;
    }
    if (::MakeSureDirectoryPathExists(narrowPath.c_str())) {
        return S_OK;
    }
    const DWORD error = ::GetLastError();
    TALVEX_TRACE("TalvexBasic::Files::Directory::MakeSureDirectoryPathExists$Static",
                 "MakeSureDirectoryPathExists(%s) error:%u.", narrowPath.c_str(), static_cast<unsigned>(error));
    return FailureHResultFromWin32(error);
}

} // namespace TalvexBasic::Files
