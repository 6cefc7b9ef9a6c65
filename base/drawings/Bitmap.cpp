#include "drawings/Bitmap.h"

#include "drawings/BitmapBits.h"

#include "com/ComPtr.h"
#include "com/Stream.h"
#include "drawings/GdiplusInclude.h"
#include "drawings/ImageEncoderInfoTraverser.h"
#include "logs/Trace.h"
#include "system/File.h"
#include "system/HResult.h"

#include <new>
#include <string>

namespace TalvexBasic::Drawings {
namespace {

constexpr const char* kToMemory = "TalvexBasic::Drawings::Bitmap::SaveSaveBitmapToJepgMemory$Static";
constexpr const char* kToFile = "TalvexBasic::Drawings::Bitmap::SaveSaveBitmapToJepgFile$Static";

// The encoder lookup and the save at quality 75, the same for every picture handed in.
HRESULT SaveAsJpeg(Gdiplus::Image& picture, IStream* stream) noexcept
{
    // The encoder's class identifier points into the traverser's table, which lives to the save.
    ImageEncoderInfoTraverser traverser;
    const Gdiplus::ImageCodecInfo* codec = nullptr;
    Gdiplus::Status lookupStatus = Gdiplus::Ok;
    HRESULT result = GetJpegImageCodecInfo(traverser, &codec, &lookupStatus);
    if (SUCCEEDED(result) && codec == nullptr) {
        // A table without a JPEG encoder: nothing may be written.
        result = HResultFromWin32(ERROR_NOT_FOUND);
    }
    if (FAILED(result)) {
        TALVEX_TRACE(kToMemory, "GetJpegImageCodecInfo return:0x%x, GdiStatus:%u.", static_cast<unsigned>(result),
                     static_cast<unsigned>(lookupStatus));
        return result;
    }

    ULONG quality = Bitmap::kJpegQuality;
    Gdiplus::EncoderParameters parameters{};
    parameters.Count = 1;
    parameters.Parameter[0].Guid = Gdiplus::EncoderQuality;
    parameters.Parameter[0].NumberOfValues = 1;
    parameters.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    parameters.Parameter[0].Value = &quality;
    const Gdiplus::Status gdiStatus = picture.Save(stream, &codec->Clsid, &parameters);
    if (gdiStatus != Gdiplus::Ok) {
        TALVEX_TRACE(kToMemory, "Save return:%u.", static_cast<unsigned>(gdiStatus));
        return E_UNEXPECTED;
    }
    return S_OK;
}

// The bitmap drawn onto a 32bppARGB canvas of the given size under the scale, then saved.
HRESULT SaveOnCanvas(IStream* stream, HBITMAP bitmap, const SIZE* size, float horizontalScale,
                     float verticalScale) noexcept
{
    // Declared in this order so that they go in the reverse one: context, source, canvas.
    // A failed creation leaves a null object that GDI+ rejects at its next use.
    Gdiplus::Bitmap canvas(size->cx, size->cy, PixelFormat32bppARGB);
    Gdiplus::Bitmap source(bitmap, nullptr);
    Gdiplus::Graphics graphics(&canvas);

    Gdiplus::Status gdiStatus = graphics.ScaleTransform(horizontalScale, verticalScale, Gdiplus::MatrixOrderPrepend);
    if (gdiStatus != Gdiplus::Ok) {
        TALVEX_TRACE(kToMemory, "ScaleTransform(%f, %f) return:%u.", static_cast<double>(horizontalScale),
                     static_cast<double>(verticalScale), static_cast<unsigned>(gdiStatus));
        return E_UNEXPECTED;
    }
    gdiStatus = graphics.DrawImage(&source, 0, 0);
    if (gdiStatus != Gdiplus::Ok) {
        TALVEX_TRACE(kToMemory, "DrawImage return:%u.", static_cast<unsigned>(gdiStatus));
        return E_UNEXPECTED;
    }
    return SaveAsJpeg(canvas, stream);
}

// At scale 1.0 the canvas holds exactly the bitmap's pixels with an opaque alpha, and the encoder
// gives the same bytes for the pixels themselves. Read out as 24-bit rows they leave the encoder no
// conversion to make. The canvas and that conversion cost most of an encode, so the canvas is made
// only where the drawing changes the picture.
bool DrawingIsPlainCopy(const SIZE* size, float horizontalScale, float verticalScale) noexcept
{
    return horizontalScale == 1.0f && verticalScale == 1.0f && size->cx > 0 && size->cy > 0;
}

HRESULT SaveBitmap(IStream* stream, HBITMAP bitmap, const SIZE* size, float horizontalScale,
                   float verticalScale) noexcept
{
    if (!DrawingIsPlainCopy(size, horizontalScale, verticalScale)) {
        return SaveOnCanvas(stream, bitmap, size, horizontalScale, verticalScale);
    }
    BitmapBits pixels;
    if (FAILED(pixels.Read(bitmap, *size, 24))) {
        // Pixels that cannot be read leave the canvas, which reads them its own way and reports
        // its own failures.
        return SaveOnCanvas(stream, bitmap, size, horizontalScale, verticalScale);
    }
    // GDI+ only reads the rows, while it saves; they are not copied.
    Gdiplus::Bitmap picture(size->cx, size->cy, pixels.Stride(), PixelFormat24bppRGB, const_cast<BYTE*>(pixels.Data()));
    if (picture.GetLastStatus() != Gdiplus::Ok) {
        return SaveOnCanvas(stream, bitmap, size, horizontalScale, verticalScale);
    }
    return SaveAsJpeg(picture, stream);
}

HRESULT SaveBitmapToMemory(std::shared_ptr<unsigned char>* data, unsigned int* length, HBITMAP bitmap, const SIZE* size,
                           float horizontalScale, float verticalScale) noexcept
{
    ComponentObjectModels::ComPtr<IStream> stream;
    // A growable memory stream that frees its memory when released.
    HRESULT result = ::CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    if (FAILED(result)) {
        TALVEX_TRACE(kToMemory, "CreateStreamOnHGlobal return:0x%x.", static_cast<unsigned>(result));
        return result;
    }
    result = SaveBitmap(stream.get(), bitmap, size, horizontalScale, verticalScale);
    if (FAILED(result)) {
        TALVEX_TRACE(kToMemory, "SaveSaveBitmapToJepgMemory$Static return:0x%x.", static_cast<unsigned>(result));
        return result;
    }
    return ComponentObjectModels::Stream::CopyToMemory$Static(data, length, stream.get());
}

} // namespace

HRESULT Bitmap::SaveSaveBitmapToJepgMemory$Static(IStream* stream, HBITMAP bitmap, const SIZE* size,
                                                  float horizontalScale, float verticalScale) noexcept
{
    return SaveBitmap(stream, bitmap, size, horizontalScale, verticalScale);
}

HRESULT Bitmap::SaveSaveBitmapToJepgMemory$Static(std::shared_ptr<unsigned char>* data, unsigned int* length,
                                                  HBITMAP bitmap, const SIZE* size, float horizontalScale,
                                                  float verticalScale) noexcept
{
    return SaveBitmapToMemory(data, length, bitmap, size, horizontalScale, verticalScale);
}

HRESULT Bitmap::SaveSaveBitmapToJepgFile$Static(const wchar_t* path, HBITMAP bitmap, const SIZE* size,
                                                float horizontalScale, float verticalScale) noexcept
{
    std::shared_ptr<unsigned char> data;
    unsigned int length = 0;
    return SaveSaveBitmapToJepgFile$Static(path, bitmap, size, horizontalScale, verticalScale, &data, &length);
}

HRESULT Bitmap::SaveSaveBitmapToJepgFile$Static(const wchar_t* path, HBITMAP bitmap, const SIZE* size,
                                                float horizontalScale, float verticalScale,
                                                std::shared_ptr<unsigned char>* data, unsigned int* length) noexcept
{
    std::shared_ptr<unsigned char> encoded;
    unsigned int encodedLength = 0;
    const HRESULT result =
        EncodeJepgForFile$Static(path, bitmap, size, horizontalScale, verticalScale, &encoded, &encodedLength);
    if (FAILED(result)) {
        return result;
    }
    *data = encoded;
    *length = encodedLength;
    return WriteJepgFile$Static(path, encoded.get(), encodedLength);
}

HRESULT Bitmap::EncodeJepgForFile$Static(const wchar_t* path, HBITMAP bitmap, const SIZE* size, float horizontalScale,
                                         float verticalScale, std::shared_ptr<unsigned char>* data,
                                         unsigned int* length) noexcept
{
    const HRESULT result = SaveBitmapToMemory(data, length, bitmap, size, horizontalScale, verticalScale);
    if (FAILED(result)) {
        TALVEX_TRACE_W(kToFile, L"SaveSaveBitmapToJepgMemory$Static(%ls) return:0x%x.", path,
                       static_cast<unsigned>(result));
    }
    return result;
}

HRESULT Bitmap::WriteJepgFile$Static(const wchar_t* path, const unsigned char* data, unsigned int length) noexcept
{
    HRESULT result = S_OK;
    try {
        result = Files::File::WriteToFile$Static(path, data, length, CREATE_ALWAYS);
    } catch (const std::bad_alloc&) {
        // The path could not be copied into a string.
        result = E_OUTOFMEMORY;
    }
    if (FAILED(result)) {
        TALVEX_TRACE_W(kToFile, L"WriteToFile$Static(%ls) return:0x%x.", path, static_cast<unsigned>(result));
    }
    return result;
}

} // namespace TalvexBasic::Drawings
