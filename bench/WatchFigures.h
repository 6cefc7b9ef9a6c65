#pragma once

namespace MorvaneBench {

struct WatchFigureOptions {
    int idleWindows = 200;  // windows present when the watch starts
    int idleSeconds = 20;   // the idle phase
    int idleMinutes = 0;    // a long idle watch instead, with figures each minute
    bool durations = true;  // windows of 10, 50, 300 and 1,000 ms, and message boxes
    int burstWindows = 1000;
};

// The watch's figures (MorvaneBench.exe --watch): per duration a window shows, the share caught
// with a picture that shows it; shown-to-seen and shown-to-picture, median and 95th percentile;
// the watch's CPU on an idle desktop; its memory and handles after a burst of windows; how soon
// it stops after a burst. Prints figures, asserts nothing; returns non-zero when the watch could
// not be run at all.
[[nodiscard]] int RunWatchFigures(const WatchFigureOptions& options);

} // namespace MorvaneBench
