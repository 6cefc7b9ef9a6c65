#include "WindowCheckCost.h"

#include "capture/WindowAppearance.h"
#include "drawings/BitmapPixels.h"
#include "drawings/GdiHolders.h"
#include "drawings/Screenshot.h"
#include "record/CoveredShare.h"

#include <cstdio>

namespace MorvaneBench {
namespace {

double Now()
{
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

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

} // namespace

void RunWindowCheckCost(const std::vector<HWND>& windows)
{
    if (windows.empty()) {
        return;
    }
    const double count = static_cast<double>(windows.size());
    unsigned shown = 0;
    double start = Now();
    for (const HWND window : windows) {
        const Morvane::WindowAppearance appearance = Morvane::ReadWindowAppearance(window);
        shown += appearance.minimised || appearance.cloaked ? 0 : 1;
    }
    const double appearanceMs = (Now() - start) / count;

    // The one-colour test reads the pixels of a picture already captured: only the test is timed.
    double oneColourMs = 0;
    unsigned oneColour = 0;
    std::vector<RECT> rects;
    for (const HWND window : windows) {
        RECT rect{};
        ::GetWindowRect(window, &rect);
        rects.push_back(rect);
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
    std::printf("  minimised, cloaked, DPI          %8.3f ms  (%u of them shown)\n", appearanceMs, shown);
    std::printf("  one-colour test of its picture   %8.3f ms  (%u of one colour)\n", oneColourMs, oneColour);
    std::printf("  covered share, this desktop      %8.3f ms  (mean share %.3f)\n", coverMs, shares / count);
    std::printf("  covered share, full cascade      %8.3f ms  (mean share %.3f)\n", cascadeMs, cascadeShares / count);
    std::printf("  all, on this desktop             %8.3f ms\n", appearanceMs + oneColourMs + coverMs);
}

} // namespace MorvaneBench
