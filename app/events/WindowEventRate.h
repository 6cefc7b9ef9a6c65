#pragma once

namespace Morvane {

// How many window events a watch writes to the Application log: at most perSecond in each second
// of the watch's clock, so that a burst of pop-ups cannot flood the log. Those left out are
// counted, and the count is told once: before the first window event of a later second, or when
// a later second has begun and no window came, or at the end.
class WindowEventRate {
public:
    static constexpr unsigned kWindowEventsPerSecond = 10;

    explicit WindowEventRate(unsigned perSecond = kWindowEventsPerSecond) noexcept : mPerSecond(perSecond) {}

    struct Admission {
        bool write = false;      // the window's event is written
        unsigned leftOutTold = 0; // the count of events left out so far, to tell first (0: none)
    };

    // A window caught at nowMs (milliseconds on a clock that never goes back).
    [[nodiscard]] Admission Admit(long long nowMs) noexcept;

    // At nowMs without a window: the count left out, once a second after the one they were left
    // out in has begun; 0 otherwise.
    [[nodiscard]] unsigned Due(long long nowMs) noexcept;

    // When Due may next give a count (milliseconds on the same clock); -1 while none is left out.
    [[nodiscard]] long long DueAt() const noexcept;

    // The end: whatever is left out, whatever the second.
    [[nodiscard]] unsigned Remaining() noexcept;

    [[nodiscard]] unsigned PerSecond() const noexcept { return mPerSecond; }

private:
    unsigned mPerSecond;
    long long mSecond = -1;   // the second of the events counted in mWritten
    unsigned mWritten = 0;    // window events written in mSecond
    unsigned mLeftOut = 0;    // not told yet
    long long mLeftOutSecond = -1; // the second of the last one left out
};

} // namespace Morvane
