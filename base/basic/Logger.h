#pragma once

namespace Basic::Logs {

// Platform-neutral logger interface. The order of the virtual operations is part of the
// interface: derived loggers append theirs after IsLevelEnabled.
class Logger {
public:
    struct Level {
        // Bit values; a logger accepts a level when level & mLevelMask is non-zero.
        enum Value : unsigned {
            Fatal = 0x1,
            Error = 0x2,
            Warning = 0x4,
            Information = 0x8,
            Trace = 0x10, // every trace line carries this level
        };
    };

    virtual ~Logger() = default;
    virtual long Initialize() = 0;
    virtual void Finalize() = 0;
    virtual long Write(const void* data, unsigned bytes, Level::Value level) = 0;
    virtual bool IsReady() { return true; }
    virtual void SetFlag(bool flag) { mFlag = flag; }
    virtual bool IsLevelEnabled(Level::Value level) { return (level & mLevelMask) != 0; }

    unsigned mLevelMask = Level::Information | Level::Trace; // 24
    bool mFlag = false;
};

} // namespace Basic::Logs
