#pragma once

#include <string>

namespace MorvaneBench {

struct LongWatchOptions {
    int windows = 50'000;            // short windows shown during the watch
    int perSecond = 100;             // how many of them start each second
    unsigned shownMs = 60;           // how long each shows
    int memoryEvery = 5'000;         // the watch's memory is read after every so many windows
                                     // (every 1,000 when N is 10,000 or fewer)
    int idleSeconds = 20;            // idle watching measured after the windows
    std::wstring maxSize = L"1024g"; // the watch's disk budget, kept out of the way of the figures
    bool quiet = false;              // the watch started with --quiet: its end shows no completion box
};

// The long watch (MorvaneBench.exe --long-watch [N]): a real Morvane.exe --watch catches ten
// windows of 300 ms, then N short windows, then ten of 300 ms again; then it idles and is stopped
// with --stop. Prints, read from outside the watch (its journal, its files, the process's
// counters): the ten before and after (caught, with a picture that shows them, shown to picture
// written), memory along the way, the time spent writing the journal per second of watching,
// idle CPU, the stop (to the completion box and to the exit, or with quiet to the exit alone: under
// Wine without a window manager, closing a box alone holds its thread about 2 s), and disk per window with and without identical pictures stored once.
// Prints figures, asserts nothing; non-zero when the watch could not be run at all.
[[nodiscard]] int RunLongWatch(const LongWatchOptions& options);

} // namespace MorvaneBench
