#pragma once

#include "capture/CaptureContext.h"
#include "record/RunRecorder.h"

namespace Morvane {

// One run, made by the run driver and passed down: through the enumeration (its user pointer),
// into each window's shot and into the recorder of the run's entries. Any source of windows
// hands them to HandleWindow with the run's one context.
struct RunContext : CaptureContext {
    RunRecorder recorder;
};

} // namespace Morvane
