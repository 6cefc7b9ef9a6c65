#pragma once

#include "drawings/GdiplusInclude.h"

#include <functional>
#include <memory>

namespace TalvexBasic::Drawings {

// Owns a copy of GDI+'s encoder table and walks it. A record handed to a visitor points into
// the table and stays valid until the next Traversal or the end of this object.
class ImageEncoderInfoTraverser {
public:
    // Given each record in table order; returns true to stop the walk.
    using Visitor = std::function<bool(const Gdiplus::ImageCodecInfo&)>;

    ImageEncoderInfoTraverser() noexcept;
    ~ImageEncoderInfoTraverser();
    ImageEncoderInfoTraverser(const ImageEncoderInfoTraverser&) = delete;
    ImageEncoderInfoTraverser& operator=(const ImageEncoderInfoTraverser&) = delete;

    // S_OK whether or not the visitor stopped the walk; 0x80070490 for an empty table;
    // E_UNEXPECTED when GDI+ fails, with its status stored through the optional pointer.
    [[nodiscard]] HRESULT Traversal(const Visitor& visitor, Gdiplus::Status* status) noexcept;

    UINT mEncoderCount = 0;
    UINT mEncodersSize = 0;
    std::unique_ptr<unsigned char[]> mEncoders;
};

// Finds the first encoder whose MIME type is "image/jpeg", ignoring case. The codec stays null
// when there is none; the result is that of the traversal.
[[nodiscard]] HRESULT GetJpegImageCodecInfo(ImageEncoderInfoTraverser& traverser, const Gdiplus::ImageCodecInfo** codec,
                                            Gdiplus::Status* status) noexcept;

} // namespace TalvexBasic::Drawings
