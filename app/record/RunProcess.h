#pragma once

#include "capture/ProcessFacts.h"
#include "capture/SignatureVerdict.h"

#include <string>

namespace Morvane {

// One process that owns a saved window, as the run record tells it.
struct RunProcess {
    ProcessFacts facts;
    std::string startedAt; // as the run's startedAt; empty when the start is unknown
    SignatureVerdict signature;
};

} // namespace Morvane
