#include "WindowCheckCost.h"

#include "BenchClock.h"

#include "capture/WindowAppearance.h"
#include "drawings/BitmapPixels.h"
#include "drawings/GdiHolders.h"
#include "drawings/Screenshot.h"
#include "record/CoveredShare.h"

#include <algorithm>
#include <cstdio>

namespace MorvaneBench {
namespace {

// As the recorder does it: the rectangles above that overlap, then their covered share.
double CoveredByAbove(const std::vector<RECT>& rects, size_t index)
{
    std::vector<RECT> covering;
    for (size_t above = 0; above < index; ++above) {
        RECT overlap{};
        if (::IntersectRect(&overlap, &rects[above], &rects[index])) {
            covering.push_back(rects[above]);
        }
    }
    return Morvane::CoveredShare(rects[index], covering);
}

double CoverCost(const std::vector<RECT>& rects, double& sum)
{
    const double start = Now();
    for (size_t index = 0; index < rects.size(); ++index) {
        sum += CoveredByAbove(rects, index);
    }
    return (Now() - start) / static_cast<double>(rects.size());
}

using DwmGetWindowAttributeRoutine = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);
using GetDpiForWindowRoutine = UINT(WINAPI*)(HWND);

// Where the appearance's time goes: each platform call alone, its routine looked up once.
void PrintAppearanceParts(const std::vector<HWND>& windows)
{
    const double count = static_cast<double>(windows.size());
    const auto dwm = reinterpret_cast<DwmGetWindowAttributeRoutine>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::LoadLibraryW(L"dwmapi.dll"), "DwmGetWindowAttribute")));
    const auto dpi = reinterpret_cast<GetDpiForWindowRoutine>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    unsigned sink = 0;
    double start = Now();
    for (const HWND window : windows) {
        sink += ::IsIconic(window) ? 1 : 0;
    }
    const double iconic = (Now() - start) / count;
    start = Now();
    for (const HWND window : windows) {
        DWORD cloaked = 0;
        sink += dwm != nullptr && SUCCEEDED(dwm(window, 14, &cloaked, sizeof cloaked)) ? cloaked : 0;
    }
    const double cloaked = (Now() - start) / count;
    start = Now();
    for (const HWND window : windows) {
        sink += dpi != nullptr ? dpi(window) : 0;
    }
    const double dpiMs = (Now() - start) / count;
    std::printf("    of which IsIconic %.3f, DwmGetWindowAttribute%s %.3f, GetDpiForWindow %.3f ms (%u)\n", iconic,
                dwm == nullptr ? " (missing)" : "",
                cloaked, dpiMs, sink);
}

} // namespace

void RunWindowCheckCost(const std::vector<HWND>& windows)
{
    if (windows.empty()) {
        return;
    }
    const double count = static_cast<double>(windows.size());
    // The tool samples each window (its styles, owner and rectangle) before these checks.
    std::vector<RECT> rects;
    for (const HWND window : windows) {
        RECT rect{};
        ::GetWindowLongPtrW(window, GWL_STYLE);
        ::GetWindowRect(window, &rect);
        rects.push_back(rect);
    }
    unsigned shown = 0;
    // The first call loads the compositor's and the scaling library once for the run.
    double start = Now();
    (void)Morvane::ReadWindowAppearance(windows.front());
    (void)Morvane::ReadMonitorDpi(::MonitorFromWindow(windows.front(), MONITOR_DEFAULTTONEAREST));
    const double firstMs = Now() - start;
    // The fastest of three passes: figures under Wine vary with the machine's load.
    double appearanceMs = 0;
    for (int pass = 0; pass < 3; ++pass) {
        shown = 0;
        start = Now();
        for (const HWND window : windows) {
            const Morvane::WindowAppearance appearance = Morvane::ReadWindowAppearance(window);
            shown += appearance.minimised || appearance.cloaked ? 0 : 1;
        }
        const double passMs = (Now() - start) / count;
        appearanceMs = pass == 0 ? passMs : std::min(appearanceMs, passMs);
    }

    // The visible frame: the compositor is asked for each window (under Wine it answers at once
    // that it cannot).
    double frameMs = 0;
    unsigned framed = 0;
    for (int pass = 0; pass < 3; ++pass) {
        framed = 0;
        start = Now();
        for (size_t index = 0; index < windows.size(); ++index) {
            const RECT frame = Morvane::ReadWindowFrame(windows[index], rects[index]);
            framed += ::EqualRect(&frame, &rects[index]) ? 0 : 1;
        }
        const double passMs = (Now() - start) / count;
        frameMs = pass == 0 ? passMs : std::min(frameMs, passMs);
    }

    // The one-colour test reads the pixels of a picture already captured: only the test is timed.
    double oneColourMs = 0;
    unsigned oneColour = 0;
    for (const HWND window : windows) {
        TalvexBasic::Drawings::BitmapHolder bitmap;
        TalvexBasic::Drawings::MemoryDcHolder memoryDc;
        SIZE size{};
        if (FAILED(TalvexBasic::Drawings::Screenshot::CaptureWindowFromScreenToBitmap$Static(
                bitmap.put(), memoryDc.put(), window, &size))) {
            continue;
        }
        bool uniform = false;
        COLORREF colour = 0;
        start = Now();
        if (SUCCEEDED(TalvexBasic::Drawings::BitmapPixels::IsOneColour$Static(bitmap.get(), &uniform, &colour)) &&
            uniform) {
            ++oneColour;
        }
        oneColourMs += Now() - start;
    }
    oneColourMs /= count;

    double shares = 0;
    const double coverMs = CoverCost(rects, shares);
    std::vector<RECT> cascade;
    for (LONG index = 0; index < static_cast<LONG>(windows.size()); ++index) {
        cascade.push_back(RECT{index * 4, index * 4, 600 + index * 4, 400 + index * 4});
    }
    double cascadeShares = 0;
    const double cascadeMs = CoverCost(cascade, cascadeShares);

    std::printf("checks per window, N = %zu (goal: at most 0.5 ms)\n", windows.size());
    std::printf("  once per run: loading dwmapi and shcore %.1f ms\n", firstMs);
    std::printf("  minimised, cloaked, DPI          %8.3f ms  (%u of them shown)\n", appearanceMs, shown);
    PrintAppearanceParts(windows);
    std::printf("  visible frame                    %8.3f ms  (%u with a frame of their own)\n", frameMs, framed);
    std::printf("  one-colour test of its picture   %8.3f ms  (%u of one colour)\n", oneColourMs, oneColour);
    std::printf("  covered share, this desktop      %8.3f ms  (mean share %.3f)\n", coverMs, shares / count);
    std::printf("  covered share, full cascade      %8.3f ms  (mean share %.3f)\n", cascadeMs, cascadeShares / count);
    std::printf("  all, on this desktop             %8.3f ms\n", appearanceMs + frameMs + oneColourMs + coverMs);
}

} // namespace MorvaneBench
