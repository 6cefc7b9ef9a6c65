#pragma once

namespace Morvane {

// The whole run: start-up, the walk over the top-level windows, the completion message and the
// shut-down. Always returns 0.
int Run();

} // namespace Morvane
