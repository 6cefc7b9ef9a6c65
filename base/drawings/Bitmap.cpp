#include "drawings/Bitmap.h"

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

} // namespace

HRESULT Bitmap::SaveSaveBitmapToJepgMemory$Static(IStream* stream, HBITMAP bitmap, const SIZE* size,
                                                  float horizontalScale, float verticalScale) noexcept
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

    ULONG quality = kJpegQuality;
    Gdiplus::EncoderParameters parameters{};
    parameters.Count = 1;
    parameters.Parameter[0].Guid = Gdiplus::EncoderQuality;
    parameters.Parameter[0].NumberOfValues = 1;
    parameters.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    parameters.Parameter[0].Value = &quality;
    gdiStatus = canvas.Save(stream, &codec->Clsid, &parameters);
    if (gdiStatus != Gdiplus::Ok) {
        TALVEX_TRACE(kToMemory, "Save return:%u.", static_cast<unsigned>(gdiStatus));
        return E_UNEXPECTED;
    }
    return S_OK;
}

HRESULT Bitmap::SaveSaveBitmapToJepgMemory$Static(std::shared_ptr<unsigned char>* data, unsigned int* length,
                                                  HBITMAP bitmap, const SIZE* size, float horizontalScale,
                                                  float verticalScale) noexcept
{
    ComponentObjectModels::ComPtr<IStream> stream;
    // A growable memory stream that frees its memory when released.
    HRESULT result = ::CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    if (FAILED(result)) {
        TALVEX_TRACE(kToMemory, "CreateStreamOnHGlobal return:0x%x.", static_cast<unsigned>(result));
        return result;
    }
    result = SaveSaveBitmapToJepgMemory$Static(stream.get(), bitmap, size, horizontalScale, verticalScale);
    if (FAILED(result)) {
        TALVEX_TRACE(kToMemory, "SaveSaveBitmapToJepgMemory$Static return:0x%x.", static_cast<unsigned>(result));
        return result;
    }
    return ComponentObjectModels::Stream::CopyToMemory$Static(data, length, stream.get());
}

HRESULT Bitmap::SaveSaveBitmapToJepgFile$Static(const wchar_t* path, HBITMAP bitmap, const SIZE* size,
                                                float horizontalScale, float verticalScale) noexcept
{
    std::shared_ptr<unsigned char> data;
    unsigned int length = 0;
    HRESULT result = SaveSaveBitmapToJepgMemory$Static(&data, &length, bitmap, size, horizontalScale, verticalScale);
    if (FAILED(result)) {
        TALVEX_TRACE_W(kToFile, L"SaveSaveBitmapToJepgMemory$Static(%ls) return:0x%x.", path,
                       static_cast<unsigned>(result));
        return result;
    }
    try {
        result = Files::File::WriteToFile$Static(path, data.get(), length, CREATE_ALWAYS);
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
