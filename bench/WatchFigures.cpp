#include "WatchFigures.h"

#include "WatchProbe.h"
#include "support/DebugCapture.h"
#include "support/FixtureProcess.h"
#include "support/JpegReader.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "watch/WatchSignals.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace MorvaneBench {

using nlohmann::json;

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
    const std::wstring folder = watch.StartWatching();
    if (folder.empty()) {
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
    EntriesByHandle entries;
    for (const json& entry : record["windows"]) {
        entries[entry["handle"].get<std::string>()].push_back(entry);
    }
    const auto report = [&](const char* what, const std::vector<Shown>& windows) {
        ReportShown(what, windows, entries, folder);
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
