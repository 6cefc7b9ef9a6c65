#include "WritingRate.h"

#include <algorithm>

namespace MorvaneBench {

WritingRate RateOf(const JournalStretch& stretch, const std::vector<WriteSample>& samples)
{
    WritingRate rate;
    if (stretch.lines > 0) {
        rate.msPerLine = stretch.appendMs / stretch.lines;
    }
    if (stretch.seconds > 0) {
        rate.linesPerSecond = stretch.lines / stretch.seconds;
        rate.msPerSecond = stretch.appendMs / stretch.seconds;
    }
    for (size_t index = 1; index < samples.size(); ++index) {
        const double seconds = static_cast<double>(samples[index].at - samples[index - 1].at) / 1000.0;
        if (seconds > 0) {
            const double grown = static_cast<double>(samples[index].journalBytes - samples[index - 1].journalBytes);
            rate.busiestSecondBytes = std::max(rate.busiestSecondBytes, grown / seconds);
        }
    }
    if (stretch.bytes > 0) {
        rate.busiestSecondMs =
            rate.busiestSecondBytes * stretch.lines / static_cast<double>(stretch.bytes) * rate.msPerLine;
    }
    if (samples.size() >= 2 && samples.front().writtenBytes >= 0 && samples.back().writtenBytes >= 0 &&
        samples.back().at > samples.front().at) {
        rate.writtenBytesPerSecond = static_cast<double>(samples.back().writtenBytes - samples.front().writtenBytes) *
                                     1000.0 / static_cast<double>(samples.back().at - samples.front().at);
    }
    return rate;
}

} // namespace MorvaneBench
