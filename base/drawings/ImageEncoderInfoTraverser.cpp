#include "drawings/ImageEncoderInfoTraverser.h"

#include "logs/Trace.h"
#include "system/HResult.h"

#include <cwchar>
#include <new>

namespace TalvexBasic::Drawings {
namespace {

constexpr const char* kTraversal = "TalvexBasic::Drawings::ImageEncoderInfoTraverser::Traversal";

} // namespace

ImageEncoderInfoTraverser::ImageEncoderInfoTraverser() noexcept = default;

ImageEncoderInfoTraverser::~ImageEncoderInfoTraverser()
{
    mEncoders.reset();
    mEncoderCount = 0;
    mEncodersSize = 0;
}

HRESULT ImageEncoderInfoTraverser::Traversal(const Visitor& visitor, Gdiplus::Status* status) noexcept
{
    if (status != nullptr) {
        *status = Gdiplus::Ok;
    }
    mEncoders.reset();
    mEncoderCount = 0;
    mEncodersSize = 0;

    Gdiplus::Status gdiStatus = Gdiplus::DllExports::GdipGetImageEncodersSize(&mEncoderCount, &mEncodersSize);
    if (gdiStatus != Gdiplus::Ok) {
        TALVEX_TRACE(kTraversal, "GetImageEncodersSize return:%u.", static_cast<unsigned>(gdiStatus));
        if (status != nullptr) {
            *status = gdiStatus;
        }
        return E_UNEXPECTED;
    }
    if (mEncoderCount == 0 || mEncodersSize == 0) {
        return HResultFromWin32(ERROR_NOT_FOUND);
    }

    mEncoders.reset(new (std::nothrow) unsigned char[mEncodersSize]);
    if (!mEncoders) {
        TALVEX_TRACE(kTraversal, "new unsigned char[%u] failed.", mEncodersSize);
        return E_OUTOFMEMORY;
    }
    auto* const records = reinterpret_cast<Gdiplus::ImageCodecInfo*>(mEncoders.get());
    gdiStatus = Gdiplus::DllExports::GdipGetImageEncoders(mEncoderCount, mEncodersSize, records);
    if (gdiStatus != Gdiplus::Ok) {
        TALVEX_TRACE(kTraversal, "GetImageEncoders(%u, %u) return:%u.", mEncoderCount, mEncodersSize,
                     static_cast<unsigned>(gdiStatus));
        if (status != nullptr) {
            *status = gdiStatus;
        }
        return E_UNEXPECTED;
    }
    for (UINT index = 0; index < mEncoderCount; ++index) {
        if (visitor(records[index])) {
            break;
        }
    }
    return S_OK;
}

HRESULT GetJpegImageCodecInfo(ImageEncoderInfoTraverser& traverser, const Gdiplus::ImageCodecInfo** codec,
                              Gdiplus::Status* status) noexcept
{
    return traverser.Traversal(
        [codec](const Gdiplus::ImageCodecInfo& info) {
            if (info.MimeType == nullptr || _wcsicmp(info.MimeType, L"image/jpeg") != 0) {
                return false;
            }
            *codec = &info;
            return true;
        },
        status);
}

} // namespace TalvexBasic::Drawings
