#pragma once

#include <windows.h>

#include <memory>

namespace MorvaneBench {

// A small topmost window of this process that paints a new counter every 10 ms, so that every
// capture of the monitor differs from the one before. It lives on a thread of its own, which
// keeps painting while the benchmark waits for the tool.
class TickerWindow {
public:
    TickerWindow();
    ~TickerWindow();
    TickerWindow(const TickerWindow&) = delete;
    TickerWindow& operator=(const TickerWindow&) = delete;

    // Opens the window at the rectangle and returns once it has painted; false if it could not.
    [[nodiscard]] bool Open(const RECT& rect);

    // How many times the counter was painted so far.
    [[nodiscard]] unsigned Ticks() const noexcept;

private:
    class State;
    std::unique_ptr<State> mState;
};

} // namespace MorvaneBench
