#pragma once

#include "basic/Logger.h"

namespace TalvexBasic::Logs {

class Logger;

// One queued write: a private copy of the caller's bytes and the logger that is to take them.
struct LogPacket {
    Basic::Logs::Logger::Level::Value mLevel = Basic::Logs::Logger::Level::Trace;
    Logger* mLogger = nullptr;
    unsigned char* mData = nullptr; // owned; freed by the packet's shared reference
    unsigned mBytes = 0;
};

} // namespace TalvexBasic::Logs
