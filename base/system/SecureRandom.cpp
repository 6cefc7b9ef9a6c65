#include "system/SecureRandom.h"

#include <cstdlib>

namespace TalvexBasic {

unsigned SecureRandomOr(unsigned fallback) noexcept
{
    unsigned random = 0;
    return rand_s(&random) == 0 ? random : fallback;
}

} // namespace TalvexBasic
