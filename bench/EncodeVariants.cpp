// Ways to encode one monitor capture at quality 75, side by side: how long each takes and whether
// its bytes equal those of the canvas path (draw onto a 32bppARGB canvas, then save).

#include "EncodeVariants.h"

#include "drawings/GdiHolders.h"
#include "drawings/GdiplusInclude.h"
#include "drawings/Screenshot.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

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

CLSID JpegEncoder()
{
    UINT count = 0;
    UINT size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    std::vector<unsigned char> table(size);
    auto* records = reinterpret_cast<Gdiplus::ImageCodecInfo*>(table.data());
    Gdiplus::GetImageEncoders(count, size, records);
    for (UINT index = 0; index < count; ++index) {
        if (_wcsicmp(records[index].MimeType, L"image/jpeg") == 0) {
            return records[index].Clsid;
        }
    }
    return CLSID{};
}

std::vector<unsigned char> SaveToBytes(Gdiplus::Image& image, const CLSID& encoder)
{
    ULONG quality = 75;
    Gdiplus::EncoderParameters parameters{};
    parameters.Count = 1;
    parameters.Parameter[0].Guid = Gdiplus::EncoderQuality;
    parameters.Parameter[0].NumberOfValues = 1;
    parameters.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    parameters.Parameter[0].Value = &quality;
    IStream* stream = nullptr;
    ::CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    std::vector<unsigned char> bytes;
    if (image.Save(stream, &encoder, &parameters) == Gdiplus::Ok) {
        STATSTG facts{};
        stream->Stat(&facts, STATFLAG_NONAME);
        bytes.resize(static_cast<size_t>(facts.cbSize.QuadPart));
        LARGE_INTEGER noMove{};
        stream->Seek(noMove, STREAM_SEEK_SET, nullptr);
        ULONG read = 0;
        stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    }
    stream->Release();
    return bytes;
}

} // namespace

void RunEncodeVariants(int rounds)
{
    const HMONITOR monitor = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    TalvexBasic::Drawings::BitmapHolder bitmap;
    TalvexBasic::Drawings::MemoryDcHolder dc;
    SIZE size{};
    if (FAILED(TalvexBasic::Drawings::Screenshot::CaptureDisplayMonitorToBitmap$Static(bitmap.put(), dc.put(), monitor,
                                                                                       &size))) {
        std::printf("encode variants: capture failed\n");
        return;
    }
    const CLSID encoder = JpegEncoder();
    double canvasMs = 0;
    double plainMs = 0;
    double bitsMs = 0;
    double dibMs = 0;
    std::vector<unsigned char> canvasBytes;
    std::vector<unsigned char> plainBytes;
    std::vector<unsigned char> bitsBytes;
    double bits24Ms = 0;
    std::vector<unsigned char> bits24Bytes;
    std::vector<unsigned char> bits24(static_cast<size_t>((size.cx * 3 + 3) & ~3) * size.cy);
    std::vector<unsigned char> bits(static_cast<size_t>(size.cx) * size.cy * 4);
    for (int round = 0; round < rounds; ++round) {
        double start = Now();
        {
            Gdiplus::Bitmap canvas(size.cx, size.cy, PixelFormat32bppARGB);
            Gdiplus::Bitmap source(bitmap.get(), nullptr);
            Gdiplus::Graphics graphics(&canvas);
            graphics.ScaleTransform(1.0f, 1.0f, Gdiplus::MatrixOrderPrepend);
            graphics.DrawImage(&source, 0, 0);
            canvasBytes = SaveToBytes(canvas, encoder);
        }
        canvasMs += Now() - start;

        start = Now();
        {
            Gdiplus::Bitmap source(bitmap.get(), nullptr);
            plainBytes = SaveToBytes(source, encoder);
        }
        plainMs += Now() - start;

        start = Now();
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size.cx;
        info.bmiHeader.biHeight = -size.cy;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        const int lines =
            ::GetDIBits(dc.get(), bitmap.get(), 0, static_cast<UINT>(size.cy), bits.data(), &info, DIB_RGB_COLORS);
        dibMs += Now() - start;
        if (lines != size.cy) {
            std::printf("encode variants: GetDIBits gave %d lines\n", lines);
            return;
        }
        {
            Gdiplus::Bitmap fromBits(size.cx, size.cy, size.cx * 4, PixelFormat32bppRGB, bits.data());
            bitsBytes = SaveToBytes(fromBits, encoder);
        }
        bitsMs += Now() - start;

        start = Now();
        const int stride24 = (size.cx * 3 + 3) & ~3;
        info.bmiHeader.biBitCount = 24;
        ::GetDIBits(dc.get(), bitmap.get(), 0, static_cast<UINT>(size.cy), bits24.data(), &info, DIB_RGB_COLORS);
        {
            Gdiplus::Bitmap fromBits(size.cx, size.cy, stride24, PixelFormat24bppRGB, bits24.data());
            bits24Bytes = SaveToBytes(fromBits, encoder);
        }
        bits24Ms += Now() - start;
    }
    std::printf("encode: 24bpp DIB bits, then save %8.1f ms  (%s)\n", bits24Ms / rounds,
                bits24Bytes == canvasBytes ? "byte-identical" : "DIFFERENT bytes");
    std::printf("encode: canvas, then save        %8.1f ms  (%zu bytes)\n", canvasMs / rounds, canvasBytes.size());
    std::printf("encode: save of the HBITMAP      %8.1f ms  (%s)\n", plainMs / rounds,
                plainBytes == canvasBytes ? "byte-identical" : "DIFFERENT bytes");
    std::printf("encode: DIB bits, then save      %8.1f ms  (%s; GetDIBits %.1f ms of it)\n", bitsMs / rounds,
                bitsBytes == canvasBytes ? "byte-identical" : "DIFFERENT bytes", dibMs / rounds);
}

} // namespace MorvaneBench
