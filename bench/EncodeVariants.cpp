// Ways to encode one monitor capture at quality 75, side by side: how long each takes and whether
// its bytes equal those of the canvas path (draw onto a 32bppARGB canvas, then save). The canvas
// path is written here with GDI+ alone: it is the floor that the tool is measured against.

#include "EncodeVariants.h"

#include "BenchClock.h"

#include "drawings/Bitmap.h"
#include "drawings/BitmapBits.h"
#include "drawings/GdiHolders.h"
#include "drawings/GdiplusInclude.h"
#include "drawings/Screenshot.h"
#include "support/PictureReference.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace MorvaneBench {

bool MeasureEncodes(int rounds, EncodeFigures& figures)
{
    figures = EncodeFigures{};
    const HMONITOR monitor = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    const CLSID encoder = PictureReference::JpegEncoder();
    std::vector<unsigned char> canvasBytes;
    std::vector<unsigned char> plainBytes;
    std::vector<unsigned char> toolBytes;
    std::vector<unsigned char> bits32Bytes;
    TalvexBasic::Drawings::BitmapBits pixels;
    TalvexBasic::Drawings::BitmapBits previous;
    for (int round = 0; round < rounds; ++round) {
        TalvexBasic::Drawings::BitmapHolder bitmap;
        TalvexBasic::Drawings::MemoryDcHolder dc;
        SIZE size{};
        double start = Now();
        if (FAILED(TalvexBasic::Drawings::Screenshot::CaptureDisplayMonitorToBitmap$Static(bitmap.put(), dc.put(),
                                                                                           monitor, &size))) {
            return false;
        }
        figures.captureMs += Now() - start;

        start = Now();
        canvasBytes = PictureReference::EncodeOnCanvas(bitmap.get(), size.cx, size.cy);
        figures.canvasMs += Now() - start;

        start = Now();
        {
            Gdiplus::Bitmap source(bitmap.get(), nullptr);
            plainBytes = PictureReference::SaveJpegBytes(source, encoder);
        }
        figures.plainMs += Now() - start;

        // What the monitor step now does for a capture: read the pixels, compare them with the
        // last ones, and encode them as they are when they differ.
        start = Now();
        previous.Swap(pixels);
        if (FAILED(pixels.Read(bitmap.get(), size))) {
            return false;
        }
        figures.readMs += Now() - start;
        start = Now();
        figures.lastCompareSame = pixels.SamePixelsAs(previous);
        figures.compareMs += Now() - start;
        start = Now();
        std::shared_ptr<unsigned char> data;
        unsigned length = 0;
        if (FAILED(TalvexBasic::Drawings::Bitmap::SaveSaveBitmapToJepgMemory$Static(&data, &length, bitmap.get(), &size,
                                                                                    1.0f, 1.0f))) {
            return false;
        }
        figures.toolMs += Now() - start;
        toolBytes.assign(data.get(), data.get() + length);

        start = Now();
        {
            // The pixels read for the comparison, as 32-bit rows, encoded as they are.
            Gdiplus::Bitmap fromBits(size.cx, size.cy, pixels.Stride(), PixelFormat32bppRGB,
                                     const_cast<BYTE*>(pixels.Data()));
            bits32Bytes = PictureReference::SaveJpegBytes(fromBits, encoder);
        }
        figures.bits32Ms += Now() - start;
    }
    const double count = rounds;
    figures.captureMs /= count;
    figures.canvasMs /= count;
    figures.plainMs /= count;
    figures.readMs /= count;
    figures.compareMs /= count;
    figures.toolMs /= count;
    figures.bits32Ms /= count;
    figures.jpegBytes = canvasBytes.size();
    figures.plainIdentical = plainBytes == canvasBytes;
    figures.toolIdentical = toolBytes == canvasBytes;
    figures.bits32Identical = bits32Bytes == canvasBytes;
    return !canvasBytes.empty();
}

void PrintEncodes(const EncodeFigures& figures)
{
    std::printf("floor: monitor BitBlt                       %8.1f ms\n", figures.captureMs);
    std::printf("floor: JPEG encode, canvas then save        %8.1f ms  (%zu bytes)\n", figures.canvasMs,
                figures.jpegBytes);
    std::printf("floor: together                             %8.1f ms per window\n",
                figures.captureMs + figures.canvasMs);
    std::printf("encode: save of the HBITMAP, no canvas      %8.1f ms  (%s)\n", figures.plainMs,
                figures.plainIdentical ? "byte-identical" : "DIFFERENT bytes");
    std::printf("encode: the tool's path, 24-bit pixels      %8.1f ms  (%s)\n", figures.toolMs,
                figures.toolIdentical ? "byte-identical" : "DIFFERENT bytes");
    std::printf("encode: the compared 32-bit pixels (unused) %8.1f ms  (%s)\n", figures.bits32Ms,
                figures.bits32Identical ? "byte-identical" : "DIFFERENT bytes");
    std::printf("reuse check: read the pixels %.1f ms, compare them %.1f ms (last two captures %s)\n", figures.readMs,
                figures.compareMs, figures.lastCompareSame ? "the same" : "different");
}

} // namespace MorvaneBench

namespace MorvaneBench {

void MeasureReuseStep(int rounds)
{
    const HMONITOR monitor = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    double captureMs = 0;
    double readMs = 0;
    double compareMs = 0;
    double writeMs = 0;
    double releaseMs = 0;
    TalvexBasic::Drawings::BitmapBits pixels;
    TalvexBasic::Drawings::BitmapBits previous;
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"MorvaneBenchReuse.jpg";
    const std::vector<unsigned char> jpeg(120000, 0x5A);
    for (int round = 0; round < rounds; ++round) {
        double start = Now();
        auto bitmap = std::make_unique<TalvexBasic::Drawings::BitmapHolder>();
        auto dc = std::make_unique<TalvexBasic::Drawings::MemoryDcHolder>();
        SIZE size{};
        if (FAILED(TalvexBasic::Drawings::Screenshot::CaptureDisplayMonitorToBitmap$Static(bitmap->put(), dc->put(),
                                                                                           monitor, &size))) {
            return;
        }
        captureMs += Now() - start;
        start = Now();
        previous.Swap(pixels);
        static_cast<void>(pixels.Read(bitmap->get(), size));
        readMs += Now() - start;
        start = Now();
        static_cast<void>(pixels.SamePixelsAs(previous));
        compareMs += Now() - start;
        start = Now();
        static_cast<void>(TalvexBasic::Drawings::Bitmap::WriteJepgFile$Static(path.c_str(), jpeg.data(),
                                                                              static_cast<unsigned>(jpeg.size())));
        writeMs += Now() - start;
        start = Now();
        dc.reset();
        bitmap.reset();
        releaseMs += Now() - start;
    }
    ::DeleteFileW(path.c_str());
    std::printf("monitor step with a reused picture: capture %.1f, read the pixels %.1f, compare %.1f, write a "
                "120 KB file %.1f, release %.1f ms\n",
                captureMs / rounds, readMs / rounds, compareMs / rounds, writeMs / rounds, releaseMs / rounds);
}

} // namespace MorvaneBench
