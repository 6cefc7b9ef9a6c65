#pragma once

#include "capture/PictureReuseRule.h"

#include <windows.h>

#include <string>

namespace Morvane {

// The window pictures written in one run. The same menu, tooltip or dialog shown again gives the
// same JPEG bytes; such a picture is stored once: the later files are further names (hard links)
// of the file first written with the bytes, or copies where no link can be made. Only the last
// kRememberedPictures distinct pictures are remembered, and the bytes of an earlier file are
// compared on the disk before it is linked to: a hash is no proof. One run holds one, in its
// context; one thread at a time.
class WindowPictureStore {
public:
    WindowPictureStore() noexcept = default;
    WindowPictureStore(const WindowPictureStore&) = delete;
    WindowPictureStore& operator=(const WindowPictureStore&) = delete;

    // Writes the JPEG bytes as the file at the path, making its folders, like
    // Bitmap::WriteJepgFile$Static with its trace line and results; bytes that an earlier file
    // still holds make the file a further name of it (S_OK, with a trace line only when the link
    // fails and a copy is written instead).
    [[nodiscard]] HRESULT Write(const std::wstring& path, const unsigned char* data, unsigned int length) noexcept;

    // How many files were stored from the bytes of an earlier one, and how many of them are
    // links, which take no room of their own on the disk.
    [[nodiscard]] unsigned Reuses() const noexcept { return mReuses; }
    [[nodiscard]] unsigned Links() const noexcept { return mLinks; }

private:
    void Remember(const PictureKey& key, const std::wstring& path) noexcept;

    RememberedPictures mRemembered;
    unsigned mReuses = 0;
    unsigned mLinks = 0;
};

} // namespace Morvane
