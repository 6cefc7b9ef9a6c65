#include "capture/WindowShot.h"

#include "capture/MonitorPictureCache.h"
#include "capture/OutputFileNames.h"
#include "capture/PictureBlackness.h"
#include "capture/ScreenPictureCheck.h"
#include "capture/WindowKind.h"
#include "capture/WindowRecordText.h"
#include "capture/WindowPictureStore.h"
#include "capture/WindowShotFolder.h"
#include "drawings/Bitmap.h"
#include "drawings/BitmapBits.h"
#include "drawings/BitmapPixels.h"
#include "drawings/GdiHolders.h"
#include "drawings/Screenshot.h"
#include "MorvaneTrace.h"
#include "system/File.h"
#include "system/HResult.h"
#include "WatchClock.h"

#include <memory>
#include <new>
#include <string>
#include <utility>

namespace Morvane {
namespace {

using TalvexBasic::Drawings::BitmapHolder;
using TalvexBasic::Drawings::MemoryDcHolder;

constexpr const char* kSaveWindowShot = "Morvane::SaveWindowShot";
constexpr const char* kMonitorSkippedForKind = "kind";

// One capture: the bitmap, the memory DC it stays selected into, and the size. The DC is freed
// before the bitmap.
struct WindowCapture {
    BitmapHolder bitmap;
    MemoryDcHolder memoryDc;
    SIZE size{};
};

// Encodes a window picture and notes whether it has one colour, so that the page can say so
// instead of letting it pass for the window; the holders free the capture afterwards. Bytes equal
// to an earlier window picture's are stored once (WindowPictureStore).
HRESULT SaveBitmapToJpegFile(WindowPictureStore& pictures, const std::wstring& path, HBITMAP bitmap, const SIZE& size,
                             WindowShotOutcome& steps) noexcept
{
    bool oneColour = false;
    COLORREF colour = 0;
    if (SUCCEEDED(TalvexBasic::Drawings::BitmapPixels::IsOneColour$Static(bitmap, &oneColour, &colour))) {
        steps.pictureOneColour = oneColour;
        steps.pictureColour = colour;
    }
    std::shared_ptr<unsigned char> jpeg;
    unsigned int jpegLength = 0;
    const HRESULT encoded = TalvexBasic::Drawings::Bitmap::EncodeJepgForFile$Static(path.c_str(), bitmap, &size, 1.0f,
                                                                                    1.0f, &jpeg, &jpegLength);
    if (FAILED(encoded)) {
        return encoded;
    }
    const unsigned links = pictures.Links();
    const HRESULT written = pictures.Write(path, jpeg.get(), jpegLength);
    steps.windowLinked = pictures.Links() != links;
    return written;
}

// A window that just appeared and pumps its messages answers at once; one that does not is taken
// from the screen instead, so that the watch does not wait on it while other windows come and go.
constexpr UINT kJustShownAnswerMilliseconds = 100;

// PW_RENDERFULLCONTENT, which older headers hide behind their version checks.
constexpr UINT kRenderFullContent = 0x00000002;

// A picture counts as black only when it has pixels and every one of them is black; when the
// pixels cannot be read, the picture is kept as it is.
bool IsBlack(const WindowCapture& capture) noexcept
{
    if (capture.size.cx <= 0 || capture.size.cy <= 0) {
        return false;
    }
    bool allBlack = false;
    const HRESULT tested = TalvexBasic::Drawings::BitmapPixels::IsAllBlack$Static(capture.bitmap.get(), &allBlack);
    return SUCCEEDED(tested) && allBlack;
}

// A picture from PrintWindow is of the window rectangle; its client area is found in it from the
// window's own coordinates. A picture whose pixels cannot be read is kept as it is.
PictureBlackness JudgePrintedPicture(const WindowCapture& capture, HWND window) noexcept
{
    RECT windowRect{};
    RECT client{};
    if (!::GetWindowRect(window, &windowRect) || !::GetClientRect(window, &client)) {
        return IsBlack(capture) ? PictureBlackness::Black : PictureBlackness::NotBlack;
    }
    // Two points: a right-to-left window's client area comes back with left and right in order.
    ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    ::OffsetRect(&client, -windowRect.left, -windowRect.top);
    TalvexBasic::Drawings::BitmapBits bits;
    if (capture.size.cx <= 0 || capture.size.cy <= 0 ||
        FAILED(bits.Read(capture.bitmap.get(), capture.size, 32))) {
        return PictureBlackness::NotBlack;
    }
    return JudgePictureBlackness(bits.Data(), capture.size, client);
}

// A window that just appeared: its sampled rectangle, and where the reason of a dropped picture
// goes. Null for the windows of a run's start.
struct JustShownCheck {
    RECT sampledRect{};
    const char* droppedBecause = nullptr;
    bool windowsAboveKnown = false;
    std::vector<WindowAbove> windowsAbove;
    // Where a picture worth writing goes instead of being encoded here.
    TakenPicture* taken = nullptr;
};

// A picture worth writing: encoded and written now, or, for a window that just appeared, handed
// over to be written elsewhere (E_PENDING until then). The bitmap leaves its DC first, which
// another thread could not select it out of.
HRESULT KeepCapture(WindowPictureStore& pictures, const std::wstring& path, WindowCapture& capture,
                    PictureSource source, WindowShotOutcome& steps, JustShownCheck* justShown) noexcept
{
    if (justShown != nullptr && justShown->taken != nullptr) {
        capture.memoryDc.reset();
        justShown->taken->bitmap = std::move(capture.bitmap);
        justShown->taken->size = capture.size;
        justShown->taken->path = path;
        justShown->taken->source = source;
        return E_PENDING;
    }
    const HRESULT saved = SaveBitmapToJpegFile(pictures, path, capture.bitmap.get(), capture.size, steps);
    if (SUCCEEDED(saved)) {
        steps.pictureSource = source;
    }
    return saved;
}

// Whether the picture was handed over to be written elsewhere.
bool HandedOver(const JustShownCheck* justShown) noexcept
{
    return justShown != nullptr && justShown->taken != nullptr && justShown->taken->bitmap;
}

WindowAfterCapture LookAfterCapture(HWND window, const RECT& sampledRect) noexcept
{
    WindowAfterCapture after;
    after.exists = ::IsWindow(window) != FALSE;
    after.visible = after.exists && ::IsWindowVisible(window) != FALSE;
    RECT now{};
    after.moved = after.visible && (!::GetWindowRect(window, &now) || !::EqualRect(&now, &sampledRect));
    return after;
}

// The window as the screen shows it: its visible frame where the compositor gives one, else its
// rectangle.
HRESULT CaptureFromScreen(WindowCapture& capture, HWND window, const WindowShotOutcome& steps) noexcept
{
    using TalvexBasic::Drawings::Screenshot;
    return steps.hasFrame ? Screenshot::CaptureScreenAreaToBitmap$Static(capture.bitmap.put(), capture.memoryDc.put(),
                                                                         steps.frame, &capture.size)
                          : Screenshot::CaptureWindowFromScreenToBitmap$Static(
                                capture.bitmap.put(), capture.memoryDc.put(), window, &capture.size);
}

// The window from the screen, taken again while it is black and the window stays; E_ABORT, with
// the reason, when the window went or moved.
HRESULT CaptureJustShownFromScreen(WindowCapture& capture, HWND window, const WindowShotOutcome& steps,
                                   JustShownCheck& check) noexcept
{
    const ULONGLONG start = ::GetTickCount64();
    for (;;) {
        const HRESULT result = CaptureFromScreen(capture, window, steps);
        if (FAILED(result)) {
            return result;
        }
        WindowAfterCapture after = LookAfterCapture(window, check.sampledRect);
        after.black = IsBlack(capture);
        const ScreenPictureVerdict verdict =
            JudgeScreenPicture(after, static_cast<unsigned>(::GetTickCount64() - start));
        if (verdict == ScreenPictureVerdict::Keep) {
            try {
                check.windowsAbove = ShownWindowsAbove(window, steps.hasFrame ? steps.frame : check.sampledRect);
                check.windowsAboveKnown = true;
            } catch (const std::bad_alloc&) {
                check.windowsAboveKnown = false;
            }
            return S_OK;
        }
        if (verdict != ScreenPictureVerdict::Retry) {
            check.droppedBecause = DropReasonName(verdict);
            return E_ABORT;
        }
        capture.memoryDc.reset();
        capture.bitmap.reset();
        ::Sleep(kScreenPictureRetryIntervalMs);
    }
}

// The window picture when PrintWindow gave none worth keeping: first PrintWindow with full
// content, for windows that draw with the GPU, unless the window did not paint at all; then the
// window from the screen (CaptureFromScreen), unless the screen does not show the window at its
// place (minimised or cloaked): then no picture. printed is the first capture's result: a
// failure, or success with a picture that is black (first: wholly or in its client area). Emits
// the one line that says where the picture came from and why.
HRESULT SaveFallbackPicture(WindowPictureStore& pictures, const std::wstring& path, HWND window, HRESULT printed,
                            PictureBlackness first, WindowShotOutcome& steps, JustShownCheck* justShown) noexcept
{
    using TalvexBasic::Drawings::Screenshot;
    const unsigned long long handle = TalvexBasic::PointerBits(window);
    const char* const firstWas = first == PictureBlackness::ClientAreaBlack ? "the first picture's client area was black"
                                                                            : "the first picture was black";
    HRESULT fullContent = S_OK;
    PictureBlackness second = PictureBlackness::Black;
    if (SUCCEEDED(printed)) {
        WindowCapture capture;
        fullContent = Screenshot::CaptureWindowWithFlagsToBitmap$Static(
            capture.bitmap.put(), capture.memoryDc.put(), window, kRenderFullContent, &capture.size,
            justShown != nullptr ? kJustShownAnswerMilliseconds : Screenshot::kAnswerTimeoutMilliseconds);
        second = SUCCEEDED(fullContent) ? JudgePrintedPicture(capture, window) : PictureBlackness::Black;
        if (second == PictureBlackness::NotBlack) {
            const HRESULT saved = KeepCapture(pictures, path, capture, PictureSource::FullContent, steps, justShown);
            MORVANE_TRACE(kSaveWindowShot, "Window picture of 0x%016llX from PrintWindow(PW_RENDERFULLCONTENT): %s.",
                          handle, firstWas);
            return saved;
        }
    }

    if (steps.appearance.minimised || steps.appearance.cloaked) {
        MORVANE_TRACE(kSaveWindowShot, "No window picture of 0x%016llX: the window is %s, the screen does not show it.",
                      handle, steps.appearance.minimised ? "minimised" : "cloaked");
        return S_FALSE;
    }

    // A window that was given up on is not asked again: PrintWindow would wait for it for good.
    WindowCapture capture;
    HRESULT result = justShown != nullptr ? CaptureJustShownFromScreen(capture, window, steps, *justShown)
                                          : CaptureFromScreen(capture, window, steps);
    if (justShown != nullptr && justShown->droppedBecause != nullptr) {
        MORVANE_TRACE(kSaveWindowShot, "Window picture of 0x%016llX dropped: the window was %s after its capture.",
                      handle, justShown->droppedBecause);
        return result;
    }
    if (SUCCEEDED(result)) {
        result = KeepCapture(pictures, path, capture, PictureSource::Screen, steps, justShown);
    }
    if (printed == TalvexBasic::HResultFromWin32(ERROR_TIMEOUT)) {
        MORVANE_TRACE(kSaveWindowShot, "Window picture of 0x%016llX from the screen: the window did not answer (0x%x).",
                      handle, static_cast<unsigned>(printed));
    } else if (FAILED(printed)) {
        MORVANE_TRACE(kSaveWindowShot, "Window picture of 0x%016llX from the screen: PrintWindow gave 0x%x.", handle,
                      static_cast<unsigned>(printed));
    } else if (FAILED(fullContent)) {
        MORVANE_TRACE(kSaveWindowShot,
                      "Window picture of 0x%016llX from the screen: %s, PrintWindow(PW_RENDERFULLCONTENT) gave 0x%x.",
                      handle, firstWas, static_cast<unsigned>(fullContent));
    } else {
        const bool wholly = first == PictureBlackness::Black && second == PictureBlackness::Black;
        MORVANE_TRACE(kSaveWindowShot, "Window picture of 0x%016llX from the screen: PrintWindow pictures were black%s.",
                      handle, wholly ? "" : " in the client area");
    }
    return result;
}

// The window paints itself; a picture with any pixel that is not black is kept as it is.
HRESULT CaptureWindowToJpegFile$Static(WindowPictureStore& pictures, const std::wstring& path, HWND window,
                                       WindowShotOutcome& steps, JustShownCheck* justShown = nullptr) noexcept
{
    using TalvexBasic::Drawings::Screenshot;
    WindowCapture capture;
    HRESULT result = Screenshot::CaptureToBitmap$Static(
        capture.bitmap.put(), capture.memoryDc.put(), window, nullptr, &capture.size,
        justShown != nullptr ? kJustShownAnswerMilliseconds : Screenshot::kAnswerTimeoutMilliseconds);
    const PictureBlackness blackness =
        SUCCEEDED(result) ? JudgePrintedPicture(capture, window) : PictureBlackness::Black;
    if (blackness == PictureBlackness::NotBlack) {
        result = KeepCapture(pictures, path, capture, PictureSource::PrintWindow, steps, justShown);
    } else {
        // The black picture is of no more use: its DC goes first, so that the bitmap is free.
        capture.memoryDc.reset();
        capture.bitmap.reset();
        steps.windowAnswered = result != TalvexBasic::HResultFromWin32(ERROR_TIMEOUT);
        result = SaveFallbackPicture(pictures, path, window, result, blackness, steps, justShown);
    }
    // A picture handed over is told of once written.
    if (HandedOver(justShown)) {
        return result;
    }
    MORVANE_TRACE_W(kSaveWindowShot, L"CaptureWindowToJpegFile$Static(%ls) return:0x%x.", path.c_str(),
                    static_cast<unsigned>(result));
    return result;
}

HRESULT CaptureDisplayMonitorToJpegFile$Static(MonitorPictureCache& pictures, const std::wstring& path,
                                               HMONITOR monitor, HWND window = nullptr,
                                               JustShownCheck* justShown = nullptr) noexcept
{
    BitmapHolder bitmap;
    MemoryDcHolder memoryDc;
    SIZE size{};
    // A window that has gone already costs no capture.
    const bool gone = justShown != nullptr && JudgeScreenPicture(LookAfterCapture(window, justShown->sampledRect),
                                                                 kScreenPictureRetryLimitMs) !=
                                                  ScreenPictureVerdict::Keep;
    HRESULT result = gone ? S_OK
                          : TalvexBasic::Drawings::Screenshot::CaptureDisplayMonitorToBitmap$Static(
                                bitmap.put(), memoryDc.put(), monitor, &size);
    if (SUCCEEDED(result) && justShown != nullptr) {
        const ScreenPictureVerdict verdict = JudgeScreenPicture(LookAfterCapture(window, justShown->sampledRect),
                                                                kScreenPictureRetryLimitMs);
        if (verdict != ScreenPictureVerdict::Keep) {
            justShown->droppedBecause = DropReasonName(verdict);
            MORVANE_TRACE(kSaveWindowShot, "Monitor picture of 0x%016llX dropped: the window was %s.",
                          TalvexBasic::PointerBits(window), justShown->droppedBecause);
            result = E_ABORT;
        }
    }
    if (SUCCEEDED(result) && bitmap && justShown != nullptr && justShown->taken != nullptr) {
        memoryDc.reset();
        justShown->taken->bitmap = std::move(bitmap);
        justShown->taken->size = size;
        justShown->taken->path = path;
        justShown->taken->monitor = monitor;
        // Told of once written.
        return E_PENDING;
    }
    if (SUCCEEDED(result)) {
        // Captured anew for every window, but encoded only when the monitor's pixels changed.
        result = pictures.SaveCaptureToJpegFile(path, monitor, bitmap.get(), size);
    }
    MORVANE_TRACE_W(kSaveWindowShot, L"CaptureDisplayMonitorToJpegFile$Static(%ls) return:0x%x.", path.c_str(),
                    static_cast<unsigned>(result));
    return result;
}

// Whether the run's disk budget lets the next picture be written; a picture left out says why.
bool PicturesAllowed(CaptureContext& context, WindowShotOutcome& steps)
{
    if (context.pictureBudget == nullptr || context.pictureBudget->AllowsPictures()) {
        return true;
    }
    steps.picturesStopped = PictureStopName(context.pictureBudget->Stop());
    return false;
}

void CountWritten(CaptureContext& context, const std::wstring& path) noexcept
{
    if (context.pictureBudget != nullptr) {
        context.pictureBudget->CountFile(path);
    }
}

// The text record and the window picture; a window that just appeared may be gone again soon,
// so its picture comes first (the folder is made by whichever file comes first).
void SaveRecordAndWindowPicture(CaptureContext& context, const WindowInfo& record, const std::wstring& folder,
                                WindowShotOutcome& steps, JustShownCheck* justShown)
{
    const std::wstring infoPath = folder + kInfoFileName;
    const std::wstring windowPicturePath = folder + kWindowPictureFileName;

    // Each step stands on its own: a failure of one does not stop the next.
    const auto saveWindowPicture = [&] {
        steps.appearance = ReadWindowAppearance(record.mWindowHandle);
        steps.frame = ReadWindowFrame(record.mWindowHandle, record.mWindowRectangle);
        steps.hasFrame = ::EqualRect(&steps.frame, &record.mWindowRectangle) == FALSE;
        steps.window = CaptureWindowToJpegFile$Static(context.windowPictures, windowPicturePath, record.mWindowHandle,
                                                      steps, justShown);
        if (justShown != nullptr) {
            // A picture handed over is noted when written; none at all (a cloaked window) now.
            if (!HandedOver(justShown) && SUCCEEDED(steps.window)) {
                steps.windowWrittenAt = WatchMicroseconds();
            }
            steps.droppedBecause = justShown->droppedBecause;
            justShown->droppedBecause = nullptr;
            steps.windowsAboveKnown = HandedOver(justShown) &&
                                      justShown->taken->source == PictureSource::Screen &&
                                      justShown->windowsAboveKnown;
            steps.windowsAbove = std::move(justShown->windowsAbove);
        }
    };
    // Past the disk budget the text record alone is written.
    const bool withPicture = PicturesAllowed(context, steps);
    if (justShown != nullptr) {
        // Taken here, written by the worker: the picture first, then the text record.
        if (withPicture) {
            saveWindowPicture();
        }
        justShown->taken->recordPath = infoPath;
        justShown->taken->recordText = MakeInfoText(record, context.clock.LocalTime());
        return;
    }
    const std::string info = MakeInfoText(record, context.clock.LocalTime());
    steps.record = TalvexBasic::Files::File::WriteToFile$Static(infoPath, info.data(),
                                                                static_cast<unsigned>(info.size()), CREATE_ALWAYS);
    MORVANE_TRACE_W(kSaveWindowShot, L"WriteToFile$Static(%ls) return:0x%x.", infoPath.c_str(),
                    static_cast<unsigned>(steps.record));
    if (context.pictureBudget != nullptr && SUCCEEDED(steps.record)) {
        context.pictureBudget->Count(info.size());
    }
    if (withPicture) {
        saveWindowPicture();
        if (!steps.windowLinked) {
            CountWritten(context, windowPicturePath);
        }
    }
}

void SaveMonitorPicture(CaptureContext& context, const WindowInfo& record, const std::wstring& folder,
                        WindowShotOutcome& steps, JustShownCheck* justShown)
{
    // A menu or tooltip shows for a moment, many times a day: its window picture says enough.
    if (!TakesMonitorPicture(record)) {
        steps.monitor = S_FALSE;
        steps.monitorSkipped = kMonitorSkippedForKind;
        MORVANE_TRACE(kSaveWindowShot, "No monitor picture of 0x%016llX: the window is of the kind %s.",
                      TalvexBasic::PointerBits(record.mWindowHandle),
                      WindowKindName(JudgeWindowKind(record.mClassName, record.mStyle, record.mExtendedStyle)));
        return;
    }
    if (!PicturesAllowed(context, steps)) {
        return;
    }
    if (justShown != nullptr) {
        // Taken here, written by the worker, which counts it.
        steps.monitor = CaptureDisplayMonitorToJpegFile$Static(context.monitorPictures, folder + kMonitorPictureFileName,
                                                               record.mDisplayMonitorHandle, record.mWindowHandle,
                                                               justShown);
        if (steps.droppedBecause == nullptr) {
            steps.droppedBecause = justShown->droppedBecause;
        }
        return;
    }
    const unsigned links = context.monitorPictures.Links();
    steps.monitor = CaptureDisplayMonitorToJpegFile$Static(context.monitorPictures, folder + kMonitorPictureFileName,
                                                           record.mDisplayMonitorHandle);
    steps.monitorLinked = context.monitorPictures.Links() != links;
    // A further name of a file written before takes no room on the disk.
    if (!steps.monitorLinked) {
        CountWritten(context, folder + kMonitorPictureFileName);
    }
}

} // namespace

bool TakesMonitorPicture(const WindowInfo& record) noexcept
{
    return JudgeWindowKind(record.mClassName, record.mStyle, record.mExtendedStyle) == WindowKind::Window;
}

std::wstring WithFolderSuffix(const std::wstring& folder, const std::wstring& suffix)
{
    if (suffix.empty() || folder.empty() || folder.back() != L'\\') {
        return folder + suffix;
    }
    return folder.substr(0, folder.size() - 1) + suffix + L"\\";
}

HRESULT SaveWindowShot(CaptureContext& context, const WindowInfo& record, WindowShotOutcome* outcome)
{
    const std::wstring folder = MakeWindowShotFolder(context.outputDirectory, record);
    WindowShotOutcome steps;
    steps.folder = MakeRelativeWindowShotFolder(record);
    SaveRecordAndWindowPicture(context, record, folder, steps, nullptr);
    SaveMonitorPicture(context, record, folder, steps, nullptr);
    if (outcome != nullptr) {
        *outcome = std::move(steps);
        return outcome->monitor;
    }
    return steps.monitor;
}

unsigned long long TakenPicture::Bytes() const noexcept
{
    return bitmap && size.cx > 0 && size.cy > 0
               ? static_cast<unsigned long long>(size.cx) * static_cast<unsigned long long>(size.cy) * 4
               : 0;
}

void TakeJustShownWindowPicture(CaptureContext& context, const WindowInfo& record, const JustShownShot& shot,
                                WindowShotOutcome& outcome, TakenPicture& taken)
{
    JustShownCheck check;
    check.sampledRect = record.mWindowRectangle;
    check.taken = &taken;
    outcome.folder = MakeRelativeWindowShotFolder(record) + shot.folderSuffix;
    SaveRecordAndWindowPicture(context, record,
                               WithFolderSuffix(MakeWindowShotFolder(context.outputDirectory, record),
                                                shot.folderSuffix),
                               outcome, &check);
}

void TakeJustShownMonitorPicture(CaptureContext& context, const WindowInfo& record, const JustShownShot& shot,
                                 WindowShotOutcome& outcome, TakenPicture& taken)
{
    JustShownCheck check;
    check.sampledRect = record.mWindowRectangle;
    check.taken = &taken;
    taken.monitorPicture = true;
    SaveMonitorPicture(context, record,
                       WithFolderSuffix(MakeWindowShotFolder(context.outputDirectory, record), shot.folderSuffix),
                       outcome, &check);
}

void WriteTakenPicture(CaptureContext& context, TakenPicture& taken, WindowShotOutcome& outcome) noexcept
{
    if (taken.monitorPicture) {
        if (taken.bitmap) {
            const unsigned links = context.monitorPictures.Links();
            outcome.monitor =
                context.monitorPictures.SaveCaptureToJpegFile(taken.path, taken.monitor, taken.bitmap.get(), taken.size);
            outcome.monitorLinked = context.monitorPictures.Links() != links;
            MORVANE_TRACE_W(kSaveWindowShot, L"CaptureDisplayMonitorToJpegFile$Static(%ls) return:0x%x.",
                            taken.path.c_str(), static_cast<unsigned>(outcome.monitor));
            // A further name of a file written before takes no room on the disk.
            if (!outcome.monitorLinked) {
                CountWritten(context, taken.path);
            }
        }
        taken.bitmap.reset();
        return;
    }
    if (taken.bitmap) {
        outcome.window =
            SaveBitmapToJpegFile(context.windowPictures, taken.path, taken.bitmap.get(), taken.size, outcome);
        taken.bitmap.reset();
        if (SUCCEEDED(outcome.window)) {
            outcome.pictureSource = taken.source;
            outcome.windowWrittenAt = WatchMicroseconds();
        } else {
            outcome.windowsAboveKnown = false;
        }
        MORVANE_TRACE_W(kSaveWindowShot, L"CaptureWindowToJpegFile$Static(%ls) return:0x%x.", taken.path.c_str(),
                        static_cast<unsigned>(outcome.window));
        // A further name of a file written before takes no room on the disk.
        if (!outcome.windowLinked) {
            CountWritten(context, taken.path);
        }
    }
    if (taken.recordPath.empty()) {
        return;
    }
    outcome.record = TalvexBasic::Files::File::WriteToFile$Static(
        taken.recordPath, taken.recordText.data(), static_cast<unsigned>(taken.recordText.size()), CREATE_ALWAYS);
    MORVANE_TRACE_W(kSaveWindowShot, L"WriteToFile$Static(%ls) return:0x%x.", taken.recordPath.c_str(),
                    static_cast<unsigned>(outcome.record));
    if (context.pictureBudget != nullptr && SUCCEEDED(outcome.record)) {
        context.pictureBudget->Count(taken.recordText.size());
    }
}

void LeaveOutTakenPicture(TakenPicture& taken, WindowShotOutcome& outcome, const char* why) noexcept
{
    if (!taken.bitmap) {
        return;
    }
    taken.bitmap.reset();
    if (taken.monitorPicture) {
        outcome.monitor = S_FALSE;
        outcome.monitorSkipped = why;
    } else {
        outcome.window = S_FALSE;
        outcome.pictureSkipped = why;
        outcome.windowsAboveKnown = false;
    }
}

} // namespace Morvane
