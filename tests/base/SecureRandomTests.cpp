#include "system/SecureRandom.h"

#include "support/ImportPatch.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

TEST_SUPPORT_IMPORT_SLOT(rand_s);

namespace {

using TalvexBasic::SecureRandomOr;

errno_t FailingRandom(unsigned* random)
{
    *random = 12345;
    return EINVAL;
}

TEST(SecureRandom, GivesTheGeneratorsNumberOrTheFallbackWhenItFails)
{
    constexpr unsigned kFallback = 0xFA11BAC4u;
    bool fromGenerator = false;
    for (int draw = 0; draw < 8; ++draw) {
        fromGenerator = fromGenerator || SecureRandomOr(kFallback) != kFallback;
    }
    EXPECT_TRUE(fromGenerator);

    TestSupport::ImportPatch<decltype(&::rand_s)> patch(__imp_rand_s, &FailingRandom);
    EXPECT_EQ(SecureRandomOr(kFallback), kFallback);
    EXPECT_EQ(SecureRandomOr(0), 0u);
}

} // namespace
