#pragma once

#include <windows.h>

#include <objidl.h>

#include <memory>

namespace TalvexBasic::Drawings {

// JPEG encoding of a GDI bitmap with GDI+, which must be running for the whole call. The size
// sets the canvas; the scale factors apply to the drawing only. At scale 1.0 the bitmap's pixels
// are encoded as they are, which gives the same bytes as the canvas without its cost.
class Bitmap {
public:
    // Encodes into the stream and leaves its position at the end of the JPEG data.
    [[nodiscard]] static HRESULT SaveSaveBitmapToJepgMemory$Static(IStream* stream, HBITMAP bitmap, const SIZE* size,
                                                                   float horizontalScale, float verticalScale) noexcept;

    // Encodes into a new shared byte array; data and length are written only on success.
    [[nodiscard]] static HRESULT SaveSaveBitmapToJepgMemory$Static(std::shared_ptr<unsigned char>* data,
                                                                   unsigned int* length, HBITMAP bitmap,
                                                                   const SIZE* size, float horizontalScale,
                                                                   float verticalScale) noexcept;

    // Encodes and writes the file in one write, creating its folders and replacing any old file.
    [[nodiscard]] static HRESULT SaveSaveBitmapToJepgFile$Static(const wchar_t* path, HBITMAP bitmap, const SIZE* size,
                                                                 float horizontalScale, float verticalScale) noexcept;

    // The same, and the JPEG bytes are handed back once encoded, also when the file then fails.
    [[nodiscard]] static HRESULT SaveSaveBitmapToJepgFile$Static(const wchar_t* path, HBITMAP bitmap, const SIZE* size,
                                                                 float horizontalScale, float verticalScale,
                                                                 std::shared_ptr<unsigned char>* data,
                                                                 unsigned int* length) noexcept;

    // Encodes for the file at the path without writing it: the file form's first step, with its
    // trace line on failure, for a caller that decides where the bytes go (a further name of a
    // file that already holds them, say). data and length are written only on success.
    [[nodiscard]] static HRESULT EncodeJepgForFile$Static(const wchar_t* path, HBITMAP bitmap, const SIZE* size,
                                                          float horizontalScale, float verticalScale,
                                                          std::shared_ptr<unsigned char>* data,
                                                          unsigned int* length) noexcept;

    // Writes JPEG bytes encoded before, as the file form writes them, with the same trace line.
    [[nodiscard]] static HRESULT WriteJepgFile$Static(const wchar_t* path, const unsigned char* data,
                                                      unsigned int length) noexcept;

    static constexpr ULONG kJpegQuality = 75;
};

} // namespace TalvexBasic::Drawings
