#include "JpegReader.h"

#include "TestPaths.h"
#include "com/ComPtr.h"
#include "drawings/GdiplusInclude.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace TestSupport {
namespace {

bool DecodeFromStream(IStream* stream, DecodedImage& image, std::string& reason)
{
    Gdiplus::Bitmap bitmap(stream, FALSE);
    if (bitmap.GetLastStatus() != Gdiplus::Ok) {
        reason = "GDI+ cannot read the data, status " + std::to_string(bitmap.GetLastStatus());
        return false;
    }
    GUID format{};
    if (bitmap.GetRawFormat(&format) != Gdiplus::Ok || format != Gdiplus::ImageFormatJPEG) {
        reason = "the data is a picture, but not a JPEG";
        return false;
    }
    const int width = static_cast<int>(bitmap.GetWidth());
    const int height = static_cast<int>(bitmap.GetHeight());
    Gdiplus::Rect all(0, 0, width, height);
    Gdiplus::BitmapData data{};
    if (bitmap.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok) {
        reason = "LockBits failed";
        return false;
    }
    image.width = width;
    image.height = height;
    image.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        const auto* row = static_cast<const unsigned char*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
        std::memcpy(&image.pixels[static_cast<size_t>(y) * static_cast<size_t>(width)], row,
                    static_cast<size_t>(width) * 4);
    }
    bitmap.UnlockBits(&data);
    return true;
}

} // namespace

GdiplusSession::GdiplusSession()
{
    Gdiplus::GdiplusStartupInput input;
    mStatus = static_cast<int>(Gdiplus::GdiplusStartup(&mToken, &input, nullptr));
}

GdiplusSession::~GdiplusSession()
{
    if (mStatus == 0) {
        Gdiplus::GdiplusShutdown(mToken);
    }
}

Rgb DecodedImage::At(int x, int y) const
{
    const std::uint32_t pixel = pixels.at(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x));
    return Rgb{static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
               static_cast<int>(pixel & 0xFF)};
}

Rgb DecodedImage::MeanAround(int x, int y, int radius) const
{
    long sums[3] = {};
    long count = 0;
    for (int row = y - radius; row <= y + radius; ++row) {
        for (int column = x - radius; column <= x + radius; ++column) {
            if (row < 0 || column < 0 || row >= height || column >= width) {
                continue;
            }
            const Rgb one = At(column, row);
            sums[0] += one.red;
            sums[1] += one.green;
            sums[2] += one.blue;
            ++count;
        }
    }
    if (count == 0) {
        return {};
    }
    return Rgb{static_cast<int>(sums[0] / count), static_cast<int>(sums[1] / count), static_cast<int>(sums[2] / count)};
}

bool DecodeJpegBytes(const void* data, size_t size, DecodedImage& image, std::string& reason)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    // Start and end markers: a JPEG cut short is no JPEG.
    if (size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8 || bytes[size - 2] != 0xFF || bytes[size - 1] != 0xD9) {
        reason = "no JPEG start and end markers in " + std::to_string(size) + " bytes";
        return false;
    }
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, size);
    if (memory == nullptr) {
        reason = "GlobalAlloc failed";
        return false;
    }
    std::memcpy(::GlobalLock(memory), data, size);
    ::GlobalUnlock(memory);
    TalvexBasic::ComponentObjectModels::ComPtr<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(memory, TRUE, stream.put()))) {
        ::GlobalFree(memory);
        reason = "CreateStreamOnHGlobal failed";
        return false;
    }
    return DecodeFromStream(stream.get(), image, reason);
}

bool DecodeJpegFile(const std::wstring& path, DecodedImage& image, std::string& reason)
{
    const std::string bytes = ReadWholeFile(path);
    if (bytes.empty()) {
        reason = "the file is missing or empty";
        return false;
    }
    return DecodeJpegBytes(bytes.data(), bytes.size(), image, reason);
}

bool IsNear(const Rgb& colour, int red, int green, int blue, int tolerance)
{
    return std::abs(colour.red - red) <= tolerance && std::abs(colour.green - green) <= tolerance &&
           std::abs(colour.blue - blue) <= tolerance;
}

std::string Describe(const Rgb& colour)
{
    char text[48];
    std::snprintf(text, sizeof(text), "rgb(%d, %d, %d)", colour.red, colour.green, colour.blue);
    return text;
}

} // namespace TestSupport
