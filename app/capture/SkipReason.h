#pragma once

namespace Morvane {

// Why an enumerated window gets no folder; None: it gets one.
enum class SkipReason {
    None,
    Invisible,
    TooSmall, // the rectangle, the monitor or the zone is unusable
    ProcessNotOpened,
    SampleFailed,
};

} // namespace Morvane
