#pragma once

#include <windows.h>

namespace TalvexBasic {

// GetProcAddress hands back a generic routine pointer; this gives it its real type. The detour
// through void(*)() keeps GCC's function-type cast warning quiet for a cast that is intended.
template <typename Routine> [[nodiscard]] Routine RoutineCast(FARPROC routine) noexcept
{
    return reinterpret_cast<Routine>(reinterpret_cast<void (*)()>(routine));
}

} // namespace TalvexBasic
