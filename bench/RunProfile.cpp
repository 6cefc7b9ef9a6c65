#include "RunProfile.h"

#include "support/TestPaths.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace MorvaneBench {
namespace {

// Milliseconds since midnight of a line's header time "hh:mm:ss:mmm", or a negative value.
double LineTime(const std::string& line)
{
    const size_t open = line.find('[');
    const size_t blank = open == std::string::npos ? std::string::npos : line.find(' ', open);
    unsigned hours = 0;
    unsigned minutes = 0;
    unsigned seconds = 0;
    unsigned milliseconds = 0;
    if (blank == std::string::npos ||
        std::sscanf(line.c_str() + blank + 1, "%u:%u:%u:%u", &hours, &minutes, &seconds, &milliseconds) != 4) {
        return -1;
    }
    return ((hours * 60.0 + minutes) * 60.0 + seconds) * 1000.0 + milliseconds;
}

} // namespace

RunProfile ReadRunProfile(const std::wstring& outputDirectory)
{
    RunProfile profile;
    const std::wstring logFolder = outputDirectory + L"\\Log";
    std::string text;
    for (const std::wstring& name : TestSupport::FilesIn(logFolder)) {
        text += TestSupport::ReadWholeFile(logFolder + L"\\" + name);
    }
    double reportStart = -1;
    double recordEnd = -1;
    double windowEnd = -1;
    double monitorEnd = -1;
    unsigned betweenCount = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t message = line.find("]:");
        if (message == std::string::npos) {
            continue;
        }
        const double time = LineTime(line);
        if (line.compare(message + 2, 13, "ZonePosition:") == 0) {
            reportStart = time;
            if (monitorEnd >= 0) {
                profile.betweenMs += time - monitorEnd;
                ++betweenCount;
            }
        } else if (line.compare(message + 2, 19, "WriteToFile$Static(") == 0 && reportStart >= 0) {
            recordEnd = time;
            profile.recordMs += time - reportStart;
        } else if (line.compare(message + 2, 31, "CaptureWindowToJpegFile$Static(") == 0 && recordEnd >= 0) {
            windowEnd = time;
            profile.windowPictureMs += time - recordEnd;
        } else if (line.compare(message + 2, 39, "CaptureDisplayMonitorToJpegFile$Static(") == 0 && windowEnd >= 0) {
            monitorEnd = time;
            profile.monitorPictureMs += time - windowEnd;
            ++profile.windows;
        }
    }
    if (profile.windows > 0) {
        profile.recordMs /= profile.windows;
        profile.windowPictureMs /= profile.windows;
        profile.monitorPictureMs /= profile.windows;
    }
    if (betweenCount > 0) {
        profile.betweenMs /= betweenCount;
    }
    return profile;
}

} // namespace MorvaneBench
