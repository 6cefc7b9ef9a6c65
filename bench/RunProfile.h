#pragma once

#include <string>

namespace MorvaneBench {

// Where a run's time per window went, read from the timestamps of its log file (1 ms steps,
// averaged over the windows): the report and the text record, the window picture, the monitor
// picture, and the rest until the next window's report (sampling, skipped windows).
struct RunProfile {
    unsigned windows = 0;
    double recordMs = 0;
    double windowPictureMs = 0;
    double monitorPictureMs = 0;
    double betweenMs = 0;
};

[[nodiscard]] RunProfile ReadRunProfile(const std::wstring& outputDirectory);

} // namespace MorvaneBench
