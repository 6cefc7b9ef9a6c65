#include "system/CriticalSection.h"

#include "system/HResult.h"
#include "system/HResultError.h"

namespace TalvexBasic {

CriticalSection::CriticalSection()
{
    if (!::InitializeCriticalSectionAndSpinCount(&mSection, 0)) {
        throw HResultError(HResultFromWin32(::GetLastError()));
    }
}

CriticalSection::~CriticalSection()
{
    ::DeleteCriticalSection(&mSection);
}

} // namespace TalvexBasic
