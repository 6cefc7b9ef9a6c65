#pragma once

// What the watch benchmarks read of a running watch from outside: its process's use of the
// machine, the fixture windows shown to it and how its entries match them.

#include "support/FixtureProcess.h"
#include "system/UniqueResource.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace MorvaneBench {

[[nodiscard]] long long UtcMilliseconds();
[[nodiscard]] std::string Handle(HWND window);

// One window shown by the fixture, and when the fixture answered (just before it shows).
struct Shown {
    TestSupport::FixtureWindow window;
    unsigned durationMs = 0;
    COLORREF fill = 0;
    long long shownAt = 0; // UTC milliseconds
    bool box = false;
};

// The value below which the share of values lies (nearest rank); -1 for none.
[[nodiscard]] double Percentile(std::vector<double> values, double share);

// Whether the entry's window picture, decoded, shows the window's own colour at its centre.
[[nodiscard]] bool PictureShows(const std::wstring& folder, const nlohmann::json& entry, const Shown& shown);

struct ProcessUse {
    double cpuMs = 0;       // as GetProcessTimes reports it
    double unixCpuMs = 0;   // as Linux counts the process (Wine's own figure disagrees); -1 unknown
    double serverCpuMs = 0; // wineserver, which does part of every window call's work; -1 unknown
    SIZE_T workingSet = 0;
    SIZE_T privateBytes = 0;
    long handles = -1; // from the system's handle table (GetProcessHandleCount says 0 under Wine)
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
};

// The /proc folder (through drive Z:) of the first Linux process whose command line holds every
// part, compared without case and with '/' read as '\'; empty when there is none.
[[nodiscard]] std::wstring UnixProcessFolder(std::initializer_list<std::string> parts);
// The CPU time Linux counts for the process of that folder; -1 when unknown.
[[nodiscard]] double UnixCpuOf(const std::wstring& unixFolder);
// Bytes the process of that folder has handed to write calls (/proc/<pid>/io wchar); -1 unknown.
[[nodiscard]] long long UnixBytesWrittenOf(const std::wstring& unixFolder);

// What Linux counts of the process's memory: resident, and of that the anonymous part (heaps and
// stacks, no mapped files); -1 unknown. Wine reports no private bytes of another process.
struct UnixMemory {
    long long residentBytes = -1;
    long long anonymousBytes = -1;
};
[[nodiscard]] UnixMemory UnixMemoryOf(const std::wstring& unixFolder);

// Handles the process holds, counted in the system's handle table.
[[nodiscard]] long HandleCountOf(DWORD processId);
// unixFolder: the tool's /proc folder; empty to look for the first watch by its command line.
[[nodiscard]] ProcessUse UseOf(HANDLE process, DWORD processId, const std::wstring& unixFolder = {});
void PrintUse(const char* when, const ProcessUse& use);
// CPU between two readings, in percent of one core: as Wine reports it, as Linux counts the
// tool's process, and wineserver's part.
void PrintCpu(const char* what, const ProcessUse& from, const ProcessUse& to, long long elapsedMs);

// The layout of the benchmark's index-th shown window: one of 40 places of a grid, a colour of
// its own.
[[nodiscard]] TestSupport::FixtureWindowSpec ShownLayout(int index);
// The windows of one phase, one after another, each on a thread of its own in the fixture.
[[nodiscard]] std::vector<Shown> ShowWindows(TestSupport::FixtureProcess& fixture, unsigned durationMs, int count,
                                             int firstIndex, DWORD pauseMs);

// Entries of the run by handle (handles come back for later windows, so several a handle).
using EntriesByHandle = std::map<std::string, std::vector<nlohmann::json>>;
// Prints for the windows: how many got an entry, how many a picture that shows them (decoded),
// shown to seen and shown to picture written (median and 95th percentile), and the outcomes.
void ReportShown(const char* what, const std::vector<Shown>& windows, const EntriesByHandle& entries,
                 const std::wstring& folder);

// Prints the watch's log from its stop on, with the times of each step (a dozen lines at most).
void PrintEnding(const std::wstring& folder);

// Morvane.exe --watch as a plain process, as people run it: under a debugger every trace line
// would stop the process, which slows it.
class WatchProcess {
public:
    // extraArguments follow --watch.
    [[nodiscard]] bool Start(const std::wstring& extraArguments = {});
    // Starts the watch and waits for its run folder, which it publishes once the windows present
    // at its start are saved; empty (said, and the watch stopped) when either fails.
    [[nodiscard]] std::wstring StartWatching(const std::wstring& extraArguments = {});
    [[nodiscard]] HANDLE Handle() const noexcept { return mProcess.get(); }
    [[nodiscard]] DWORD Id() const noexcept { return mProcessId; }
    // Waits for the completion box and presses OK; the UTC time it was first seen, or -1.
    long long ConfirmCompletion(DWORD timeoutMs);
    // The exit code; the process is killed when it does not end in time.
    DWORD WaitForExit(DWORD timeoutMs);

private:
    TalvexBasic::UniqueHandle mProcess;
    DWORD mProcessId = 0;
};

} // namespace MorvaneBench
