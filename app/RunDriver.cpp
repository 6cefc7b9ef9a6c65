#include "RunDriver.h"

#include "logs/Trace.h"

namespace Morvane {

int Run()
{
    MORVANE_TRACE("Initialize", "begin~.");
    return 0;
}

} // namespace Morvane
