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
#include <map>
#include <string>
#include <thread>
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
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llX", TalvexBasic::PointerBits(window));
    return text;
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
    const std::string relative = entry["folder"];
    TestSupport::DecodedImage image;
    std::string reason;
    if (!TestSupport::DecodeJpegFile(folder + L"\\" + std::wstring(relative.begin(), relative.end()) +
                                         L"\\Morvane.Window.jpg",
                                     image, reason)) {
        return false;
    }
    const TestSupport::Rgb found = image.MeanAround(image.width / 2, image.height / 2, 4);
    if (shown.box) {
        return found.red + found.green + found.blue > 3 * 48;
    }
    return TestSupport::IsNear(found, GetRValue(shown.fill), GetGValue(shown.fill), GetBValue(shown.fill));
}

struct ProcessUse {
    double cpuMs = 0;
    SIZE_T workingSet = 0;
    SIZE_T privateBytes = 0;
    DWORD handles = 0;
};

ProcessUse UseOf(HANDLE process)
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
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
        use.workingSet = counters.WorkingSetSize;
        use.privateBytes = counters.PrivateUsage;
    }
    ::GetProcessHandleCount(process, &use.handles);
    return use;
}

void PrintUse(const char* when, const ProcessUse& use)
{
    std::printf("  %-40s working set %6.1f MiB, private %6.1f MiB, %4lu handles\n", when,
                static_cast<double>(use.workingSet) / 1048576.0, static_cast<double>(use.privateBytes) / 1048576.0,
                static_cast<unsigned long>(use.handles));
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

} // namespace

int RunWatchFigures()
{
    TestSupport::GdiplusSession gdiplus;
    TestSupport::FixtureProcess idleWindows;
    TestSupport::FixtureProcess fixture;
    if (!idleWindows.Start() || !fixture.Start()) {
        std::printf("fixture failed\n");
        return 1;
    }
    // An idle desktop of 200 windows, present when the watch starts.
    for (int index = 0; index < 200; ++index) {
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

    TestSupport::DebugCaptureResult result;
    std::thread watching([&] {
        TestSupport::DebugCaptureOptions options;
        options.program = TestSupport::ProgramDirectory() + L"\\Morvane.exe";
        options.arguments = L"--watch";
        options.timeLimitMilliseconds = 3600000;
        result = TestSupport::RunWithDebugCapture(options);
    });
    // The start saves the 200 windows first, which takes long on a busy machine.
    const std::wstring folder = TestSupport::WaitForWatchFolder(Morvane::kWatchFolderMappingName, 900000);
    if (folder.empty()) {
        std::printf("the watch did not start\n");
        TestSupport::DebugCaptureOptions stop;
        stop.program = TestSupport::ProgramDirectory() + L"\\Morvane.exe";
        stop.arguments = L"--stop";
        (void)TestSupport::RunWithDebugCapture(stop);
        watching.join();
        return 1;
    }
    // The watch's own hidden window names its process.
    DWORD processId = 0;
    for (int attempt = 0; attempt < 500 && processId == 0; ++attempt) {
        const HWND own = ::FindWindowW(L"Morvane.Watch", nullptr);
        if (own != nullptr) {
            ::GetWindowThreadProcessId(own, &processId);
        }
        ::Sleep(10);
    }
    const TalvexBasic::UniqueHandle process(
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    std::printf("Watch figures, screen %dx%d, 200 idle windows present\n", ::GetSystemMetrics(SM_CXSCREEN),
                ::GetSystemMetrics(SM_CYSCREEN));

    // Idle: nothing appears for 20 s.
    ::Sleep(2000);
    const ProcessUse idleStart = UseOf(process.get());
    const long long idleFrom = UtcMilliseconds();
    ::Sleep(20000);
    const ProcessUse idleEnd = UseOf(process.get());
    const double idleShare = (idleEnd.cpuMs - idleStart.cpuMs) * 100.0 / static_cast<double>(UtcMilliseconds() - idleFrom);
    std::printf("idle watching, 200 windows: %.2f%% of one core (the tool's process; wineserver not counted)\n",
                idleShare);
    PrintUse("after the start and 20 s idle:", idleEnd);

    // Windows of each duration, one after another, then message boxes.
    std::vector<Shown> all;
    int index = 0;
    for (const unsigned duration : {10u, 50u, 300u, 1000u}) {
        const std::vector<Shown> phase = ShowWindows(fixture, duration, 20, index, duration + 150);
        index += 20;
        all.insert(all.end(), phase.begin(), phase.end());
    }
    for (int box = 0; box < 5; ++box) {
        Shown shown;
        shown.window = fixture.ShowMessageBox(L"Bench box " + std::to_wstring(box), 300);
        shown.shownAt = UtcMilliseconds();
        shown.durationMs = 300;
        shown.box = true;
        if (shown.window) {
            all.push_back(shown);
        }
        ::Sleep(2600);
    }
    ::Sleep(3000);

    // 1,000 windows of 100 ms, one every 10 ms.
    const ProcessUse beforeMany = UseOf(process.get());
    const std::vector<Shown> many = ShowWindows(fixture, 100, 1000, 1000, 10);
    ::Sleep(15000);
    const ProcessUse afterMany = UseOf(process.get());

    const json record = json::parse(TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.json"), nullptr, false);
    // --stop, timed to the watch's end.
    const long long stopAt = UtcMilliseconds();
    TestSupport::DebugCaptureOptions stop;
    stop.program = TestSupport::ProgramDirectory() + L"\\Morvane.exe";
    stop.arguments = L"--stop";
    (void)TestSupport::RunWithDebugCapture(stop);
    watching.join();
    const long long stoppedAfter = UtcMilliseconds() - stopAt;
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
        std::vector<double> seen;
        std::vector<double> pictured;
        for (const Shown& shown : windows) {
            const auto found = entries.find(Handle(shown.window.handle));
            if (found == entries.end()) {
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
                continue;
            }
            const json& entry = *match;
            ++caught;
            seen.push_back(static_cast<double>(appeared - shown.shownAt));
            if (entry["savedAfterMs"].is_number()) {
                pictured.push_back(static_cast<double>(appeared - shown.shownAt) + entry["savedAfterMs"].get<double>());
            }
            if (PictureShows(folder, entry, shown)) {
                ++withPicture;
            }
        }
        std::printf("%-26s %4zu shown, %4d with an entry, %4d (%5.1f%%) with a picture that shows them; shown to seen "
                    "median %5.0f ms p95 %5.0f ms; shown to picture written median %5.0f ms p95 %5.0f ms\n",
                    what, windows.size(), caught, withPicture,
                    windows.empty() ? 0.0 : withPicture * 100.0 / static_cast<double>(windows.size()),
                    Percentile(seen, 0.5), Percentile(seen, 0.95), Percentile(pictured, 0.5),
                    Percentile(pictured, 0.95));
    };
    for (const unsigned duration : {10u, 50u, 300u, 1000u}) {
        std::vector<Shown> phase;
        std::copy_if(all.begin(), all.end(), std::back_inserter(phase),
                     [&](const Shown& shown) { return !shown.box && shown.durationMs == duration; });
        const std::string what = "shown for " + std::to_string(duration) + " ms";
        report(what.c_str(), phase);
    }
    std::vector<Shown> boxes;
    std::copy_if(all.begin(), all.end(), std::back_inserter(boxes), [](const Shown& shown) { return shown.box; });
    report("message boxes", boxes);
    report("1,000 of 100 ms, 10 ms apart", many);
    PrintUse("before the 1,000 windows:", beforeMany);
    PrintUse("15 s after the 1,000 windows:", afterMany);
    std::printf("--stop to the watch's end (completion box confirmed): %lld ms; exit code %lu\n", stoppedAfter,
                static_cast<unsigned long>(result.exitCode));
    TestSupport::RemoveTree(folder);
    return 0;
}

} // namespace MorvaneBench
