#pragma once

// Pictures for the JPEG tests, and the reference way to encode them: the bitmap drawn onto a
// 32bppARGB canvas, then saved at quality 75 with the platform's JPEG encoder, written here with
// GDI+ alone so that it does not share code with what it checks.

#include "com/ComPtr.h"
#include "drawings/GdiHolders.h"
#include "drawings/GdiplusInclude.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace PictureReference {

// A screen-compatible bitmap, as a capture makes it, with its pixels from the function of
// (x, y) giving 0x00RRGGBB.
template <typename Colour> HBITMAP MakeScreenBitmap(int width, int height, Colour colourAt)
{
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    std::vector<std::uint32_t> rows(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            rows[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = colourAt(x, y);
        }
    }
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    ::SetDIBits(screen, bitmap, 0, static_cast<UINT>(height), rows.data(), &format, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    return bitmap;
}

// Noise over colour gradients, different for every seed: 0x00RRGGBB at (x, y).
inline std::uint32_t BusyColour(int x, int y, std::uint32_t seed)
{
    std::uint32_t noise =
        (static_cast<std::uint32_t>(x) * 73856093u) ^ (static_cast<std::uint32_t>(y) * 19349663u) ^ (seed * 83492791u);
    noise ^= noise >> 13;
    noise *= 0x5bd1e995u;
    noise ^= noise >> 15;
    const std::uint32_t red = (static_cast<std::uint32_t>(x) * 255u / 97u + (noise & 0x3F)) & 0xFF;
    const std::uint32_t green = (static_cast<std::uint32_t>(y) * 255u / 53u + ((noise >> 8) & 0x1F)) & 0xFF;
    const std::uint32_t blue = (seed * 40u + ((noise >> 16) & 0xFF)) & 0xFF;
    return (red << 16) | (green << 8) | blue;
}

inline HBITMAP MakeBusyBitmap(int width, int height, std::uint32_t seed)
{
    return MakeScreenBitmap(width, height, [seed](int x, int y) { return BusyColour(x, y, seed); });
}

inline CLSID JpegEncoder()
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

// The image saved at quality 75 with the given encoder; empty when GDI+ failed anywhere.
inline std::vector<unsigned char> SaveJpegBytes(Gdiplus::Image& image, const CLSID& encoder)
{
    ULONG quality = 75;
    Gdiplus::EncoderParameters parameters{};
    parameters.Count = 1;
    parameters.Parameter[0].Guid = Gdiplus::EncoderQuality;
    parameters.Parameter[0].NumberOfValues = 1;
    parameters.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    parameters.Parameter[0].Value = &quality;
    TalvexBasic::ComponentObjectModels::ComPtr<IStream> stream;
    std::vector<unsigned char> bytes;
    if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put())) ||
        image.Save(stream.get(), &encoder, &parameters) != Gdiplus::Ok) {
        return bytes;
    }
    STATSTG facts{};
    LARGE_INTEGER noMove{};
    ULONG read = 0;
    if (SUCCEEDED(stream->Stat(&facts, STATFLAG_NONAME)) && SUCCEEDED(stream->Seek(noMove, STREAM_SEEK_SET, nullptr))) {
        bytes.resize(static_cast<size_t>(facts.cbSize.QuadPart));
        if (FAILED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) || read != bytes.size()) {
            bytes.clear();
        }
    }
    return bytes;
}

// The JPEG bytes of the canvas path; empty when GDI+ failed anywhere.
inline std::vector<unsigned char> EncodeOnCanvas(HBITMAP bitmap, int width, int height)
{
    Gdiplus::Bitmap canvas(width, height, PixelFormat32bppARGB);
    Gdiplus::Bitmap source(bitmap, nullptr);
    Gdiplus::Graphics graphics(&canvas);
    if (graphics.ScaleTransform(1.0f, 1.0f, Gdiplus::MatrixOrderPrepend) != Gdiplus::Ok ||
        graphics.DrawImage(&source, 0, 0) != Gdiplus::Ok) {
        return {};
    }
    return SaveJpegBytes(canvas, JpegEncoder());
}

} // namespace PictureReference
