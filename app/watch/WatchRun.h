#pragma once

#include <string>

namespace Morvane {

class OutcomeNotice;

// A run that saves the windows present now, as Run does, and then every top-level window of
// another process that shows, until --stop, the icon's menu, the end of the session, or
// watchSeconds (0: no limit). Its pictures stop once the run folder holds maxRunBytes, or the
// volume is short of space (PictureBudget); the entries go on. The run folder goes below
// chosenFolder (as given with --output) when there is one. Returns the exit code: 0, or 1 when another watch runs or no
// output folder could be made, or kWatchRefusedExitCode when another watch runs out of reach. The outcome is told through notice.
[[nodiscard]] int RunWatch(unsigned long long watchSeconds, unsigned long long maxRunBytes, OutcomeNotice& notice,
                          const std::wstring& chosenFolder = {});

} // namespace Morvane
