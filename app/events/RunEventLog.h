#pragma once

#include "events/RunEvents.h"
#include "events/WindowEventRate.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

namespace Morvane {

// The run's events, written to the Application log on a thread of their own: whoever posts one
// only queues it, so that the log never holds up a capture. What the events need that takes time
// (the user's name, the program's version, a window's signature) is read on that thread too.
// Window events pass the rate limit (WindowEventRate) when they are posted.
class RunEventLog {
public:
    RunEventLog();
    // Ends as End() without a last event.
    ~RunEventLog();
    RunEventLog(const RunEventLog&) = delete;
    RunEventLog& operator=(const RunEventLog&) = delete;

    // 1000: the run began saving into folder.
    void RunStarted(RunMode mode, const std::wstring& folder);
    // A whole event (the end of a run, a failure).
    void Post(RunEvent event);
    // 1010: a window the watch caught, unless the rate limit leaves it out (then counted, and told
    // by 1011).
    void WindowCaught(CaughtWindow window);

    // Tells how many window events were left out, then the last event, and waits until all are
    // written, at most kEndBoundMilliseconds: a log that hangs must not keep the run from ending.
    void End(std::optional<RunEvent> last);

    static constexpr DWORD kEndBoundMilliseconds = 2000;

    struct Shared;

private:
    std::shared_ptr<Shared> mShared;
};

} // namespace Morvane
