#pragma once

#include "basic/Logger.h"

#include <memory>

namespace TalvexBasic::Logs {

class Logger;

// One queued write: a private copy of the caller's bytes and the logger that is to take them.
struct LogPacket {
    Basic::Logs::Logger::Level::Value mLevel = Basic::Logs::Logger::Level::Trace;
    Logger* mLogger = nullptr;
    std::unique_ptr<unsigned char[]> mData; // a private copy, freed with the packet
    unsigned mBytes = 0;
};

} // namespace TalvexBasic::Logs
