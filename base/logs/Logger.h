#pragma once

#include "basic/Logger.h"

namespace TalvexBasic::Logs {

// A logger of the Windows library. The log manager reads mIsSynchronous: a synchronous logger
// writes on the emitting thread, any other is fed from the manager's worker.
class Logger : public Basic::Logs::Logger {
public:
    bool mIsSynchronous = true;
};

} // namespace TalvexBasic::Logs
