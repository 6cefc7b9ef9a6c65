#pragma once

#include <vector>

namespace MorvaneBench {

// What a watch's process had written when sampled, about once a second.
struct WriteSample {
    long long at = 0;            // UTC ms
    long long journalBytes = 0;  // the journal's size
    long long writtenBytes = -1; // every byte the process handed to write calls; -1 unknown
};

// The journal lines a watch appended during one stretch, and what appending them again cost.
struct JournalStretch {
    int lines = 0;
    long long bytes = 0;
    double appendMs = 0; // appending all of them again, one write a line
    double seconds = 0;  // the stretch's length
};

struct WritingRate {
    double linesPerSecond = 0;
    double msPerLine = 0;
    double msPerSecond = 0;            // appending the journal, per second of watching, over the stretch
    double busiestSecondBytes = 0;     // journal bytes of the second that grew it most
    double busiestSecondMs = 0;        // appending that second's lines, at the stretch's bytes and time a line
    double writtenBytesPerSecond = -1; // all the process's writes over the samples; -1 unknown
};

// The stretch's figures, its busiest second found among the samples taken during it.
[[nodiscard]] WritingRate RateOf(const JournalStretch& stretch, const std::vector<WriteSample>& samples);

} // namespace MorvaneBench
