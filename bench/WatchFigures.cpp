#include "WatchFigures.h"

#include "record/RunRecord.h"
#include "support/DebugCapture.h"
#include "support/FixtureProcess.h"
#include "support/JpegReader.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "system/HResult.h"
#include "system/UniqueResource.h"
#include "watch/WatchSignals.h"

#include <windows.h>

#include <psapi.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace MorvaneBench {
namespace {

using nlohmann::json;

long long UtcMilliseconds()
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    // 100 ns steps since 1601 to milliseconds since 1970.
    return static_cast<long long>(ticks / 10000) - 11644473600000LL;
}

std::string Handle(HWND window)
{
    return Morvane::FormatHandle(TalvexBasic::PointerBits(window));
}

// One window shown by the fixture, and when the fixture answered (just before it shows).
struct Shown {
    TestSupport::FixtureWindow window;
    unsigned durationMs = 0;
    COLORREF fill = 0;
    long long shownAt = 0; // UTC milliseconds
    bool box = false;
};

double Percentile(std::vector<double> values, double share)
{
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

bool PictureShows(const std::wstring& folder, const json& entry, const Shown& shown)
{
    if (entry["outcome"] != "saved" || !entry["folder"].is_string()) {
        return false;
    }
    TestSupport::DecodedImage image;
    std::string reason;
    if (!TestSupport::DecodeJpegFile(TestSupport::RecordPath(folder, entry["folder"]) + L"\\Morvane.Window.jpg", image,
                                     reason)) {
        return false;
    }
    const TestSupport::Rgb found = image.MeanAround(image.width / 2, image.height / 2, 4);
    if (shown.box) {
        return found.red + found.green + found.blue > 3 * 48;
    }
    return TestSupport::IsNear(found, GetRValue(shown.fill), GetGValue(shown.fill), GetBValue(shown.fill));
}

struct ProcessUse {
    double cpuMs = 0;     // as GetProcessTimes reports it
    double unixCpuMs = 0; // as Linux counts the process (Wine's own figure disagrees); -1 unknown
    double serverCpuMs = 0; // wineserver, which does part of every window call's work; -1 unknown
    SIZE_T workingSet = 0;
    SIZE_T privateBytes = 0;
    long handles = -1;    // from the system's handle table (GetProcessHandleCount says 0 under Wine)
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
};

// The CPU time Linux counts for the first process whose command line holds every part, read
// from /proc through drive Z:; -1 when there is none.
double UnixCpuMilliseconds(std::initializer_list<const char*> parts)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(L"Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) {
        return -1;
    }
    double cpuMs = -1;
    do {
        if (found.cFileName[0] < L'0' || found.cFileName[0] > L'9') {
            continue;
        }
        const std::wstring folder = std::wstring(L"Z:\\proc\\") + found.cFileName;
        std::string commandLine = TestSupport::ReadWholeFile(folder + L"\\cmdline");
        std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
        if (!std::all_of(parts.begin(), parts.end(),
                         [&](const char* part) { return commandLine.find(part) != std::string::npos; })) {
            continue;
        }
        const std::string stat = TestSupport::ReadWholeFile(folder + L"\\stat");
        const size_t afterName = stat.rfind(')');
        if (afterName == std::string::npos) {
            continue;
        }
        // After the name: state, then ten fields, then utime and stime in clock ticks (1/100 s).
        std::istringstream fields(stat.substr(afterName + 1));
        std::string field;
        double ticks = 0;
        for (int index = 0; index < 13 && fields >> field; ++index) {
            if (index >= 11) {
                ticks += std::strtod(field.c_str(), nullptr);
            }
        }
        cpuMs = ticks * 10.0;
        break;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return cpuMs;
}

// Handles the process holds, counted in the system's handle table.
long HandleCountOf(DWORD processId)
{
    struct HandleEntry {
        PVOID object;
        ULONG_PTR processId;
        ULONG_PTR value;
        ULONG access;
        USHORT creatorBackTraceIndex;
        USHORT typeIndex;
        ULONG attributes;
        ULONG reserved;
    };
    struct HandleTable {
        ULONG_PTR count;
        ULONG_PTR reserved;
        HandleEntry entries[1];
    };
    using QuerySystem = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QuerySystem>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) {
        return -1;
    }
    constexpr ULONG kExtendedHandleInformation = 64;
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004L);
    std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status =
            query(kExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 65536));
            continue;
        }
        if (status < 0) {
            return -1;
        }
        const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
        long count = 0;
        for (ULONG_PTR index = 0; index < table->count; ++index) {
            count += table->entries[index].processId == processId ? 1 : 0;
        }
        return count;
    }
    return -1;
}

ProcessUse UseOf(HANDLE process, DWORD processId)
{
    ProcessUse use;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (::GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        const auto ms = [](const FILETIME& time) {
            return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                       time.dwLowDateTime) /
                   10000.0;
        };
        use.cpuMs = ms(kernel) + ms(user);
    }
    use.unixCpuMs = UnixCpuMilliseconds({"Morvane.exe", "--watch"});
    use.serverCpuMs = UnixCpuMilliseconds({"wineserver"});
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
        use.workingSet = counters.WorkingSetSize;
        use.privateBytes = counters.PrivateUsage;
    }
    use.handles = HandleCountOf(processId);
    use.gdiObjects = ::GetGuiResources(process, GR_GDIOBJECTS);
    use.userObjects = ::GetGuiResources(process, GR_USEROBJECTS);
    return use;
}

void PrintUse(const char* when, const ProcessUse& use)
{
    std::printf("  %-40s working set %6.1f MiB, private %6.1f MiB, %4ld handles, %lu GDI / %lu USER objects\n", when,
                static_cast<double>(use.workingSet) / 1048576.0, static_cast<double>(use.privateBytes) / 1048576.0,
                use.handles, static_cast<unsigned long>(use.gdiObjects), static_cast<unsigned long>(use.userObjects));
}

// CPU between two readings, in percent of one core: as Wine reports it, as Linux counts the
// tool's process, and wineserver's part.
void PrintCpu(const char* what, const ProcessUse& from, const ProcessUse& to, long long elapsedMs)
{
    const auto share = [&](double fromMs, double toMs) {
        return fromMs < 0 || toMs < 0 ? -1.0 : (toMs - fromMs) * 100.0 / static_cast<double>(elapsedMs);
    };
    std::printf("%s: %.2f%% of one core as Linux counts the process (GetProcessTimes: %.2f%%); wineserver "
                "meanwhile %.2f%%\n",
                what, share(from.unixCpuMs, to.unixCpuMs), share(from.cpuMs, to.cpuMs),
                share(from.serverCpuMs, to.serverCpuMs));
}

// The windows of one phase, one after another, each on a thread of its own in the fixture.
std::vector<Shown> ShowWindows(TestSupport::FixtureProcess& fixture, unsigned durationMs, int count, int firstIndex,
                               DWORD pauseMs)
{
    std::vector<Shown> shown;
    for (int index = 0; index < count; ++index) {
        const int slot = (firstIndex + index) % 40;
        TestSupport::FixtureWindowSpec layout;
        const LONG left = 20 + (slot % 8) * 236;
        const LONG top = 20 + (slot / 8) * 200;
        layout.rect = RECT{left, top, left + 220, top + 180};
        layout.caption = L"Watch bench";
        layout.className = L"MorvaneFixtureFlash";
        const int colour = firstIndex + index;
        layout.fill = RGB(40 + (colour * 53) % 200, 40 + (colour * 97) % 200, 40 + (colour * 29) % 200);
        Shown entry;
        entry.window = fixture.Flash(layout, durationMs);
        entry.shownAt = UtcMilliseconds();
        entry.durationMs = durationMs;
        entry.fill = layout.fill;
        if (entry.window) {
            shown.push_back(entry);
        }
        ::Sleep(pauseMs);
    }
    return shown;
}

// Morvane.exe --watch as a plain process, as people run it: under a debugger every trace line
// would stop the process, which slows it.
class WatchProcess {
public:
    [[nodiscard]] bool Start()
    {
        std::wstring commandLine = L"\"" + TestSupport::ProgramDirectory() + L"\\Morvane.exe\" --watch";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION information{};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &information)) {
            return false;
        }
        ::CloseHandle(information.hThread);
        mProcess.reset(information.hProcess);
        mProcessId = information.dwProcessId;
        return true;
    }

    [[nodiscard]] HANDLE Handle() const noexcept { return mProcess.get(); }
    [[nodiscard]] DWORD Id() const noexcept { return mProcessId; }

    // Waits for the completion box and presses OK; the UTC time it was first seen, or -1.
    long long ConfirmCompletion(DWORD timeoutMs)
    {
        for (DWORD waited = 0; waited < timeoutMs; waited += 5) {
            struct Search {
                DWORD processId;
                HWND box;
            } search{mProcessId, nullptr};
            ::EnumWindows(
                [](HWND window, LPARAM parameter) -> BOOL {
                    auto& found = *reinterpret_cast<Search*>(parameter);
                    DWORD processId = 0;
                    ::GetWindowThreadProcessId(window, &processId);
                    wchar_t className[16] = {};
                    ::GetClassNameW(window, className, 16);
                    if (processId == found.processId && ::IsWindowVisible(window) &&
                        std::wstring(className) == L"#32770") {
                        found.box = window;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            if (search.box != nullptr) {
                const long long seenAt = UtcMilliseconds();
                ::PostMessageW(search.box, WM_COMMAND, IDOK, 0);
                return seenAt;
            }
            ::Sleep(5);
        }
        return -1;
    }

    DWORD WaitForExit(DWORD timeoutMs)
    {
        DWORD exitCode = STILL_ACTIVE;
        if (::WaitForSingleObject(mProcess.get(), timeoutMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(mProcess.get(), 0xDEAD);
            ::WaitForSingleObject(mProcess.get(), 5000);
        }
        ::GetExitCodeProcess(mProcess.get(), &exitCode);
        return exitCode;
    }

private:
    TalvexBasic::UniqueHandle mProcess;
    DWORD mProcessId = 0;
};

// The watch's log from its stop on, with the times of each step.
void PrintEnding(const std::wstring& folder)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((folder + L"\\Log\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            continue;
        }
        std::istringstream lines(TestSupport::ReadWholeFile(folder + L"\\Log\\" + found.cFileName));
        std::vector<std::string> ending;
        for (std::string line; std::getline(lines, line);) {
            if (line.find("Watching stops") != std::string::npos) {
                ending.clear();
            }
            ending.push_back(line);
        }
        for (size_t index = 0; index < ending.size() && index < 12; ++index) {
            std::printf("  log: %s\n", ending[index].c_str());
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

} // namespace

int RunWatchFigures(const WatchFigureOptions& options)
{
    TestSupport::GdiplusSession gdiplus;
    TestSupport::FixtureProcess idleWindows;
    TestSupport::FixtureProcess fixture;
    if (!idleWindows.Start() || !fixture.Start()) {
        std::printf("fixture failed\n");
        return 1;
    }
    // An idle desktop, present when the watch starts.
    for (int index = 0; index < options.idleWindows; ++index) {
        TestSupport::FixtureWindowSpec layout;
        const LONG left = (index % 20) * 96;
        const LONG top = 700 + (index / 20) * 30;
        layout.rect = RECT{left, top, left + 90, top + 28};
        layout.caption = L"Idle " + std::to_wstring(index);
        layout.className = L"MorvaneBenchIdle";
        layout.fill = RGB(90, 90, 90);
        if (!idleWindows.Open(layout)) {
            std::printf("cannot open idle window %d\n", index);
            return 1;
        }
    }

    WatchProcess watch;
    const long long startedAt = UtcMilliseconds();
    if (!watch.Start()) {
        std::printf("Morvane.exe --watch did not start\n");
        return 1;
    }
    // The first record is written once the windows present at the start are saved.
    const std::wstring folder = TestSupport::WaitForWatchFolder(Morvane::kWatchFolderMappingName, 900000);
    if (folder.empty()) {
        std::printf("the watch did not start\n");
        (void)Morvane::SignalRunningWatchToStop();
        (void)watch.ConfirmCompletion(60000);
        (void)watch.WaitForExit(10000);
        return 1;
    }
    std::printf("Watch figures, screen %dx%d, %d idle windows present, saved at the start in %.1f s\n",
                ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), options.idleWindows,
                static_cast<double>(UtcMilliseconds() - startedAt) / 1000.0);

    // Idle: nothing appears.
    ::Sleep(2000);
    const ProcessUse idleStart = UseOf(watch.Handle(), watch.Id());
    PrintUse("after the start:", idleStart);
    const long long idleFrom = UtcMilliseconds();
    ProcessUse idleEnd = idleStart;
    if (options.idleMinutes > 0) {
        // The long idle watch: memory, handles and CPU each minute.
        for (int minute = 1; minute <= options.idleMinutes; ++minute) {
            const ProcessUse before = UseOf(watch.Handle(), watch.Id());
            const long long from = UtcMilliseconds();
            ::Sleep(60000);
            idleEnd = UseOf(watch.Handle(), watch.Id());
            const std::string when = "idle minute " + std::to_string(minute) + ":";
            PrintUse(when.c_str(), idleEnd);
            PrintCpu("    that minute", before, idleEnd, UtcMilliseconds() - from);
            std::fflush(stdout);
        }
    } else {
        ::Sleep(static_cast<DWORD>(options.idleSeconds) * 1000);
        idleEnd = UseOf(watch.Handle(), watch.Id());
    }
    const std::string idleWhat = "idle watching, " + std::to_string(options.idleWindows) + " windows";
    PrintCpu(idleWhat.c_str(), idleStart, idleEnd, UtcMilliseconds() - idleFrom);
    PrintUse("after idling:", idleEnd);

    // Windows of each duration, one after another, then message boxes.
    std::vector<Shown> all;
    int index = 0;
    if (options.durations) {
        for (const unsigned duration : {10u, 50u, 300u, 1000u}) {
            const std::vector<Shown> phase = ShowWindows(fixture, duration, 20, index, duration + 150);
            index += 20;
            all.insert(all.end(), phase.begin(), phase.end());
        }
        for (int box = 0; box < 5; ++box) {
            Shown shown;
            // Asked for before it shows: the fixture answers once it is seen visible.
            shown.shownAt = UtcMilliseconds();
            shown.window = fixture.ShowMessageBox(L"Bench box " + std::to_wstring(box), 300);
            shown.durationMs = 300;
            shown.box = true;
            if (shown.window) {
                all.push_back(shown);
            }
            ::Sleep(2600);
        }
        ::Sleep(3000);
    }

    // The burst: windows of 100 ms, one every 10 ms.
    const ProcessUse beforeMany = UseOf(watch.Handle(), watch.Id());
    const std::vector<Shown> many = ShowWindows(fixture, 100, options.burstWindows, 1000, 10);
    ::Sleep(15000);
    const ProcessUse afterMany = UseOf(watch.Handle(), watch.Id());

    // A stop right after another burst: set the stop event (as --stop does), timed to the
    // completion box; then --stop itself on an idle watch is timed apart (Wine starts a process
    // in about half a second).
    (void)ShowWindows(fixture, 100, options.burstWindows, 3000, 10);
    const long long stopAt = UtcMilliseconds();
    const bool signalled = Morvane::SignalRunningWatchToStop() == Morvane::StopAnswer::Stopped;
    const long long boxAt = watch.ConfirmCompletion(120000);
    const DWORD exitCode = watch.WaitForExit(60000);
    if (!signalled || boxAt < 0) {
        std::printf("the watch did not stop (signalled %d)\n", signalled ? 1 : 0);
        return 1;
    }
    const json record = json::parse(TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.json"), nullptr, false);
    if (record.is_discarded()) {
        std::printf("no record\n");
        return 1;
    }
    std::map<std::string, std::vector<const json*>> entries;
    for (const json& entry : record["windows"]) {
        entries[entry["handle"].get<std::string>()].push_back(&entry);
    }
    const auto report = [&](const char* what, const std::vector<Shown>& windows) {
        int caught = 0;
        int withPicture = 0;
        int wrongPicture = 0;
        std::map<std::string, int> outcomes;
        std::vector<double> seen;
        std::vector<double> pictured;
        for (const Shown& shown : windows) {
            const auto found = entries.find(Handle(shown.window.handle));
            if (found == entries.end()) {
                ++outcomes["no entry"];
                continue;
            }
            // A handle comes back for later windows: the entry is the one that appeared nearest
            // after this window was shown, while it showed.
            const json* match = nullptr;
            long long appeared = 0;
            for (const json* candidate : found->second) {
                long long at = 0;
                if ((*candidate)["appearedAt"].is_string() &&
                    Morvane::ParseLocalTime((*candidate)["appearedAt"].get<std::string>(), at) &&
                    at >= shown.shownAt - 50 && at <= shown.shownAt + shown.durationMs + 1000 &&
                    (match == nullptr || at < appeared)) {
                    match = candidate;
                    appeared = at;
                }
            }
            if (match == nullptr) {
                ++outcomes["no entry"];
                continue;
            }
            const json& entry = *match;
            ++caught;
            std::string outcome = entry["outcome"].is_string() ? entry["outcome"].get<std::string>() : "?";
            if (entry["pictureDropped"].is_string()) {
                outcome += ", picture dropped: " + entry["pictureDropped"].get<std::string>();
            }
            seen.push_back(static_cast<double>(appeared - shown.shownAt));
            if (entry["savedAfterMs"].is_number()) {
                pictured.push_back(static_cast<double>(appeared - shown.shownAt) + entry["savedAfterMs"].get<double>());
                if (PictureShows(folder, entry, shown)) {
                    ++withPicture;
                } else {
                    ++wrongPicture;
                    outcome += ", picture shows something else";
                }
            }
            ++outcomes[outcome];
        }
        std::printf("%-26s %4zu shown, %4d with an entry, %4d (%5.1f%%) with a picture that shows them, %d with one "
                    "that does not; shown to seen median %5.0f ms p95 %5.0f ms; shown to picture written median "
                    "%5.0f ms p95 %5.0f ms\n",
                    what, windows.size(), caught, withPicture,
                    windows.empty() ? 0.0 : withPicture * 100.0 / static_cast<double>(windows.size()), wrongPicture,
                    Percentile(seen, 0.5), Percentile(seen, 0.95), Percentile(pictured, 0.5),
                    Percentile(pictured, 0.95));
        for (const auto& [outcome, count] : outcomes) {
            std::printf("    %5d  %s\n", count, outcome.c_str());
        }
    };
    for (const unsigned duration : {10u, 50u, 300u, 1000u}) {
        std::vector<Shown> phase;
        std::copy_if(all.begin(), all.end(), std::back_inserter(phase),
                     [&](const Shown& shown) { return !shown.box && shown.durationMs == duration; });
        if (!phase.empty()) {
            const std::string what = "shown for " + std::to_string(duration) + " ms";
            report(what.c_str(), phase);
        }
    }
    std::vector<Shown> boxes;
    std::copy_if(all.begin(), all.end(), std::back_inserter(boxes), [](const Shown& shown) { return shown.box; });
    if (!boxes.empty()) {
        report("message boxes", boxes);
    }
    const std::string burstWhat = std::to_string(options.burstWindows) + " of 100 ms, 10 ms apart";
    report(burstWhat.c_str(), many);
    PrintUse("before the burst:", beforeMany);
    PrintUse("15 s after the burst:", afterMany);
    std::printf("stop right after a second burst of %d, to the completion box: %lld ms; exit code %lu\n",
                options.burstWindows, boxAt - stopAt, static_cast<unsigned long>(exitCode));
    PrintEnding(folder);
    if (::GetEnvironmentVariableW(L"MORVANE_BENCH_KEEP", nullptr, 0) == 0) {
        TestSupport::RemoveTree(folder);
    } else {
        std::printf("kept: %ls\n", folder.c_str());
    }

    // --stop as people type it, on an idle watch.
    WatchProcess idleWatch;
    if (idleWatch.Start() && !TestSupport::WaitForWatchFolder(Morvane::kWatchFolderMappingName, 900000).empty()) {
        const std::wstring idleFolder = TestSupport::WaitForWatchFolder(Morvane::kWatchFolderMappingName, 1000);
        TestSupport::DebugCaptureOptions stop;
        stop.program = TestSupport::ProgramDirectory() + L"\\Morvane.exe";
        stop.arguments = L"--stop";
        const long long commandAt = UtcMilliseconds();
        (void)TestSupport::RunWithDebugCapture(stop);
        const long long commandEnded = UtcMilliseconds();
        const long long idleBoxAt = idleWatch.ConfirmCompletion(60000);
        (void)idleWatch.WaitForExit(60000);
        std::printf("--stop on an idle watch: the command took %lld ms, the completion box showed %lld ms after it "
                    "began\n",
                    commandEnded - commandAt, idleBoxAt - commandAt);
        TestSupport::RemoveTree(idleFolder);
    }
    return 0;
}

} // namespace MorvaneBench
