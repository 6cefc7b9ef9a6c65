#pragma once

namespace TalvexBasic {

// A number from the platform's secure generator, or `fallback` where the generator fails: names
// and nonces still come out, only less unpredictable.
[[nodiscard]] unsigned SecureRandomOr(unsigned fallback) noexcept;

} // namespace TalvexBasic
