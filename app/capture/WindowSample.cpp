#include "capture/WindowSample.h"

#include "capture/WindowText.h"

namespace Morvane {

WindowSample SampleWindow(HWND window)
{
    WindowSample sample;
    sample.window = window;
    sample.result = sample.facts.Sample(window, sample.skipReason, true);
    if (!sample.Saved()) {
        sample.facts.mCaption = ReadWholeWindowText(window);
        sample.facts.mClassName = ReadClassName(window);
    }
    return sample;
}

} // namespace Morvane
