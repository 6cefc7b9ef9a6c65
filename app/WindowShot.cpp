#include "WindowShot.h"

#include "MonitorPictureCache.h"
#include "RunState.h"
#include "WindowRecordText.h"
#include "WindowShotFolder.h"
#include "drawings/Bitmap.h"
#include "drawings/GdiHolders.h"
#include "drawings/Screenshot.h"
#include "MorvaneTrace.h"
#include "system/File.h"

#include <string>

namespace Morvane {
namespace {

using TalvexBasic::Drawings::BitmapHolder;
using TalvexBasic::Drawings::MemoryDcHolder;

constexpr const char* kSaveWindowShot = "Morvane::SaveWindowShot";

// Encodes a capture; the holders free it afterwards, the DC before the bitmap selected into it.
HRESULT SaveCaptureToJpegFile(const std::wstring& path, const BitmapHolder& bitmap, const SIZE& size) noexcept
{
    return TalvexBasic::Drawings::Bitmap::SaveSaveBitmapToJepgFile$Static(path.c_str(), bitmap.get(), &size, 1.0f,
                                                                          1.0f);
}

HRESULT CaptureWindowToJpegFile$Static(const std::wstring& path, HWND window, PictureSource& source) noexcept
{
    BitmapHolder bitmap;
    MemoryDcHolder memoryDc;
    SIZE size{};
    HRESULT result =
        TalvexBasic::Drawings::Screenshot::CaptureToBitmap$Static(bitmap.put(), memoryDc.put(), window, nullptr, &size);
    if (SUCCEEDED(result)) {
        result = SaveCaptureToJpegFile(path, bitmap, size);
        if (SUCCEEDED(result)) {
            source = PictureSource::PrintWindow;
        }
    }
    MORVANE_TRACE_W(kSaveWindowShot, L"CaptureWindowToJpegFile$Static(%ls) return:0x%x.", path.c_str(),
                    static_cast<unsigned>(result));
    return result;
}

HRESULT CaptureDisplayMonitorToJpegFile$Static(const std::wstring& path, HMONITOR monitor) noexcept
{
    BitmapHolder bitmap;
    MemoryDcHolder memoryDc;
    SIZE size{};
    HRESULT result = TalvexBasic::Drawings::Screenshot::CaptureDisplayMonitorToBitmap$Static(
        bitmap.put(), memoryDc.put(), monitor, &size);
    if (SUCCEEDED(result)) {
        // Captured anew for every window, but encoded only when the monitor's pixels changed.
        result = MonitorPictureCache::OfThisProcess().SaveCaptureToJpegFile(path, monitor, bitmap.get(), size);
    }
    MORVANE_TRACE_W(kSaveWindowShot, L"CaptureDisplayMonitorToJpegFile$Static(%ls) return:0x%x.", path.c_str(),
                    static_cast<unsigned>(result));
    return result;
}

} // namespace

HRESULT SaveWindowShot(const WindowInfo& record, WindowShotOutcome* outcome)
{
    const std::wstring folder = MakeWindowShotFolder(gOutputDirectory, record);
    const std::wstring infoPath = folder + L"Morvane.Info.txt";
    const std::wstring windowPicturePath = folder + L"Morvane.Window.jpg";
    const std::wstring monitorPicturePath = folder + L"Morvane.DisplayMonitor.jpg";

    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const std::string info = MakeInfoText(record, now);
    WindowShotOutcome steps;
    steps.record = TalvexBasic::Files::File::WriteToFile$Static(infoPath, info.data(),
                                                                static_cast<unsigned>(info.size()), CREATE_ALWAYS);
    MORVANE_TRACE_W(kSaveWindowShot, L"WriteToFile$Static(%ls) return:0x%x.", infoPath.c_str(),
                    static_cast<unsigned>(steps.record));

    // Each step stands on its own: a failure of one does not stop the next.
    steps.window = CaptureWindowToJpegFile$Static(windowPicturePath, record.mWindowHandle, steps.pictureSource);
    steps.monitor = CaptureDisplayMonitorToJpegFile$Static(monitorPicturePath, record.mDisplayMonitorHandle);
    if (outcome != nullptr) {
        *outcome = steps;
    }
    return steps.monitor;
}

} // namespace Morvane
