#pragma once

#include "capture/SkipReason.h"
#include "capture/WindowShot.h"
#include "record/RunProcess.h"
#include "capture/ZonePosition.h"
#include "record/WatchFacts.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Morvane {

// One enumerated top-level window, saved or skipped, as the run record tells it.
struct RunWindow {
    std::uint64_t handle = 0;
    std::uint32_t processId = 0;
    std::uint32_t threadId = 0;
    std::wstring caption;
    std::wstring className;
    std::wstring imagePath; // empty where unknown
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    RECT rect{};
    RECT frame{}; // the visible frame (ReadWindowFrame); the rectangle where there is no other
    ZonePosition zone = InvalidRectangle; // InvalidRectangle: not sampled
    std::uint64_t monitor = 0;            // 0: no monitor known
    SkipReason skipReason = SkipReason::None;
    std::wstring folder; // below the output directory, with '/'; empty when skipped
    WindowShotOutcome shot;
    bool newSinceLastRun = false;
    bool hasProcess = false;      // saved: its process is one of the run's processes
    std::string processStartedAt; // that process's startedAt; empty when unknown
    WatchFacts watch;
    // Where the window picture came from the screen: the windows above it that cover part of it
    // (earlier in the enumeration, which goes from the top down; for a window that appeared while
    // watching, above it in the z-order when it was taken), and the covered share.
    std::vector<std::uint64_t> coveredBy;
    double coveredShare = 0.0;
};

struct RunMonitor {
    std::uint64_t handle = 0;
    RECT rect{};
    RECT workRect{};
    std::uint32_t flags = 0;
    std::wstring device;
    std::uint32_t dpi = 0; // 0: the platform gives none
    std::string since{};   // when a watch first saw it; empty for a monitor there from the start
};

// What makes two saved windows of two runs the same window, as UTF-8 text.
struct WindowKey {
    std::string imagePath;
    std::string className;
    std::string caption;

    [[nodiscard]] bool operator<(const WindowKey& other) const
    {
        if (imagePath != other.imagePath) {
            return imagePath < other.imagePath;
        }
        return className != other.className ? className < other.className : caption < other.caption;
    }
};

// Saved windows of the previous run that have no counterpart in this one.
struct GoneWindow {
    WindowKey key;
    unsigned count = 0;
};

// A run that went on watching for windows that appear; empty for a run without a watch.
struct WatchSummary {
    bool watched = false;
    std::string since;        // when the watching began
    long long forSeconds = 0; // --for; 0 until stopped
    bool running = false;     // the record was written while the watch still ran
    // Its disk budget: the limit, the bytes counted so far, and when and why pictures stopped
    // (empty and null while they go on).
    unsigned long long maxRunBytes = 0;
    unsigned long long bytesWritten = 0;
    std::string picturesStoppedAt{};
    const char* picturesStopped = nullptr;
    // Pictures not written because those waiting to be encoded had no room for them.
    unsigned picturesDroppedQueueFull = 0;
};

struct RunSummary {
    std::string startedAt; // local time, ISO 8601 with milliseconds and UTC offset
    std::string endedAt;
    std::wstring outputDirectory;
    std::wstring computerName;
    std::vector<RunMonitor> monitors;
    std::vector<RunWindow> windows;
    std::wstring previousRun; // folder name; empty when there was none
    std::vector<GoneWindow> gone;
    std::vector<RunProcess> processes; // of the saved windows, in the order of their first windows
    WatchSummary watch;
};

} // namespace Morvane
