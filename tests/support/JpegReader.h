#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace TestSupport {

// Keeps GDI+ running for as long as it lives; the JPEG code needs it, and so does decoding.
class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    [[nodiscard]] bool Started() const noexcept { return mStatus == 0; }

private:
    ULONG_PTR mToken = 0;
    int mStatus = -1;
};

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
};

// A decoded picture, 0xAARRGGBB per pixel, rows from the top.
struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    [[nodiscard]] Rgb At(int x, int y) const;
    // The mean colour of a square of (2 * radius + 1) pixels around (x, y), cut at the edges:
    // JPEG blurs single pixels at colour borders.
    [[nodiscard]] Rgb MeanAround(int x, int y, int radius) const;
};

// JPEG data only: anything else (a PNG, a truncated file, an empty one) is refused with a
// reason. GDI+ must be running.
[[nodiscard]] bool DecodeJpegFile(const std::wstring& path, DecodedImage& image, std::string& reason);
[[nodiscard]] bool DecodeJpegBytes(const void* data, size_t size, DecodedImage& image, std::string& reason);

// Each channel within the tolerance; JPEG at quality 75 shifts flat colours by a few steps.
[[nodiscard]] bool IsNear(const Rgb& colour, int red, int green, int blue, int tolerance = 24);
[[nodiscard]] std::string Describe(const Rgb& colour);

} // namespace TestSupport
