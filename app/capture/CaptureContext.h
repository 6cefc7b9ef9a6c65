#pragma once

#include "RunClock.h"
#include "capture/MonitorPictureCache.h"
#include "capture/PictureBudget.h"
#include "capture/WindowPictureStore.h"

#include <string>

namespace Morvane {

// What capturing a window needs of its run: where the folders go, the clock of the text records,
// and the pictures written so far (each distinct one is stored once).
struct CaptureContext {
    std::wstring outputDirectory; // without a trailing backslash
    RunClock clock;
    MonitorPictureCache monitorPictures;
    WindowPictureStore windowPictures;
    // A watch's disk budget: pictures stop when it runs out; null for a run without a watch.
    PictureBudget* pictureBudget = nullptr;
};

} // namespace Morvane
