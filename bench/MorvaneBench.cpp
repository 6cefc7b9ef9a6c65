// Measures the tool's wall time per window on desktops of N fixture windows, and beside it the
// floor that every window pays at least: one monitor BitBlt and one JPEG encode at quality 75.
// Run by hand (bench/run-bench.sh); prints figures, asserts nothing.

#include "EncodeVariants.h"
#include "TraceLineCost.h"
#include "drawings/Bitmap.h"
#include "drawings/GdiHolders.h"
#include "drawings/Screenshot.h"
#include "support/DebugCapture.h"
#include "support/FixtureProcess.h"
#include "support/JpegReader.h"
#include "support/TestPaths.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

double Now()
{
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Milliseconds of one monitor capture plus one JPEG encode, the mean of several rounds.
bool MeasureFloor(int rounds, double& captureMs, double& encodeMs, unsigned& jpegBytes)
{
    const HMONITOR monitor = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    captureMs = 0;
    encodeMs = 0;
    for (int round = 0; round < rounds; ++round) {
        HBITMAP bitmap = nullptr;
        HDC dc = nullptr;
        SIZE size{};
        const double start = Now();
        if (FAILED(TalvexBasic::Drawings::Screenshot::CaptureDisplayMonitorToBitmap$Static(&bitmap, &dc, monitor,
                                                                                           &size))) {
            return false;
        }
        const double captured = Now();
        TalvexBasic::Drawings::BitmapHolder bitmapOwner(bitmap);
        TalvexBasic::Drawings::MemoryDcHolder dcOwner(dc);
        std::shared_ptr<unsigned char> data;
        unsigned length = 0;
        if (FAILED(TalvexBasic::Drawings::Bitmap::SaveSaveBitmapToJepgMemory$Static(&data, &length, bitmap, &size, 1.0f,
                                                                                    1.0f))) {
            return false;
        }
        const double encoded = Now();
        captureMs += captured - start;
        encodeMs += encoded - captured;
        jpegBytes = length;
    }
    captureMs /= rounds;
    encodeMs /= rounds;
    return true;
}

// Opens count windows in a grid over the 1920x1080 screen, each with a colour of its own.
bool OpenWindows(TestSupport::FixtureProcess& process, int count)
{
    const int columns = count <= 10 ? 5 : (count <= 50 ? 10 : 20);
    const int rows = (count + columns - 1) / columns;
    const int width = 1920 / columns;
    const int height = 1040 / rows;
    for (int index = 0; index < count; ++index) {
        TestSupport::FixtureWindowSpec layout;
        const int left = (index % columns) * width;
        const int top = (index / columns) * height;
        layout.rect = RECT{left, top, left + width - 4, top + height - 4};
        layout.caption = L"Bench window " + std::to_wstring(index);
        layout.className = L"MorvaneBenchWindow";
        layout.fill = RGB((index * 37) % 256, (index * 91) % 256, (index * 53) % 256);
        const TestSupport::FixtureWindow window = process.Open(layout);
        if (!window) {
            std::printf("cannot open window %d: %s\n", index, window.failure.c_str());
            return false;
        }
    }
    return true;
}

// Runs the tool once; returns its wall time in milliseconds, or a negative value on failure.
double RunTool(size_t& folders)
{
    TestSupport::DebugCaptureOptions options;
    options.program = TestSupport::ProgramDirectory() + L"\\Morvane.exe";
    options.timeLimitMilliseconds = 600000;
    const double start = Now();
    const TestSupport::DebugCaptureResult result = TestSupport::RunWithDebugCapture(options);
    const double elapsed = Now() - start;
    if (!result.failure.empty() || !result.exited || result.exitCode != 0 || result.messageBoxTexts.size() != 1) {
        std::printf("the run failed: %s\n", result.failure.c_str());
        return -1;
    }
    const std::wstring& text = result.messageBoxTexts[0];
    const size_t open = text.find(L"\r\n\"");
    const size_t close = text.rfind(L"\".");
    folders = 0;
    if (open != std::wstring::npos && close != std::wstring::npos && close > open + 3) {
        const std::wstring directory = text.substr(open + 3, close - open - 3);
        WIN32_FIND_DATAW entry{};
        HANDLE search = ::FindFirstFileW((directory + L"\\WindowShot\\*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (entry.cFileName[0] != L'.') {
                    ++folders;
                }
            } while (::FindNextFileW(search, &entry));
            ::FindClose(search);
        }
        TestSupport::RemoveTree(directory);
    }
    return elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    TestSupport::GdiplusSession gdiplus;
    if (!gdiplus.Started()) {
        std::printf("GDI+ did not start\n");
        return 1;
    }
    if (argc > 1 && std::string(argv[1]) == "--encode-only") {
        MorvaneBench::RunEncodeVariants(5);
        return 0;
    }
    std::printf("Morvane benchmark, screen %dx%d\n", ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));

    size_t folders = 0;
    const double empty = RunTool(folders);
    std::printf("run, no fixture windows        %10.1f ms  (%zu folders)\n", empty, folders);

    std::vector<std::pair<int, double>> runs;
    for (const int count : {10, 50, 200}) {
        TestSupport::FixtureProcess process;
        if (!process.Start() || !OpenWindows(process, count)) {
            std::printf("fixture failed: %s\n", process.Failure().c_str());
            return 1;
        }
        ::Sleep(300);
        const double elapsed = RunTool(folders);
        if (elapsed < 0) {
            return 1;
        }
        runs.emplace_back(count, elapsed);
        std::printf("run, N = %-3d                  %10.1f ms  (%zu folders)  %6.1f ms per window, %6.1f ms per "
                    "window beyond the empty run\n",
                    count, elapsed, folders, elapsed / count, (elapsed - empty) / count);
        (void)process.Quit();
    }

    double captureMs = 0;
    double encodeMs = 0;
    unsigned jpegBytes = 0;
    if (!MeasureFloor(10, captureMs, encodeMs, jpegBytes)) {
        std::printf("floor measurement failed\n");
        return 1;
    }
    std::printf("floor: monitor BitBlt          %10.1f ms\n", captureMs);
    std::printf("floor: JPEG encode, quality 75 %10.1f ms  (%u bytes)\n", encodeMs, jpegBytes);
    std::printf("floor: together                %10.1f ms per window\n", captureMs + encodeMs);

    // The tool's own logging is not running in this process, so the trace-line figures can set it
    // up and take it down themselves.
    MorvaneBench::RunTraceLineCost();
    return 0;
}
