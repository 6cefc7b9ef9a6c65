#pragma once

#include "drawings/PixelDigest.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace Morvane {

// The last capture of each monitor, as its pixels' digest (a long watch keeps no monitor's worth
// of pixels between pictures), with the JPEG bytes it was encoded to. A desktop that does not
// change while windows are saved gives the same monitor picture for every window; its capture is
// then written from the bytes encoded before instead of being encoded again. The encoder gives the
// same bytes for the same pixels, so the files are the same either way. Such a file is stored
// once: the later ones are further names (hard links) of the first file written with the bytes,
// or copies where no link can be made. One run holds one, in its context; one thread at a time.
class MonitorPictureCache {
public:
    MonitorPictureCache() noexcept = default;
    MonitorPictureCache(const MonitorPictureCache&) = delete;
    MonitorPictureCache& operator=(const MonitorPictureCache&) = delete;

    // Writes the capture of the monitor as the JPEG file at the path, like
    // SaveSaveBitmapToJepgFile$Static at scale 1.0, with its trace lines and results; the pixels
    // are compared with the monitor's last capture first, and equal pixels reuse its bytes: the
    // file is then a link of the one written before (S_OK, with a trace line only when the link
    // fails and a copy is written instead).
    [[nodiscard]] HRESULT SaveCaptureToJpegFile(const std::wstring& path, HMONITOR monitor, HBITMAP bitmap,
                                                const SIZE& size) noexcept;

    // How many files were written from bytes encoded earlier, and how many were encoded anew.
    [[nodiscard]] unsigned Reuses() const noexcept { return mReuses; }
    [[nodiscard]] unsigned Encodes() const noexcept { return mEncodes; }
    // How many of the reused files are links, which take no room of their own on the disk.
    [[nodiscard]] unsigned Links() const noexcept { return mLinks; }

    // Forgets every capture, so that the next one of each monitor is encoded anew.
    void Clear() noexcept;

    // More monitors than this forget their oldest entry: each one holds a whole monitor's JPEG.
    static constexpr size_t kMaxMonitors = 4;

private:
    struct Entry {
        HMONITOR monitor = nullptr;
        TalvexBasic::Drawings::PixelDigest pixels;
        std::shared_ptr<unsigned char> jpeg;
        unsigned int jpegLength = 0;
        std::wstring file; // a file written with the bytes, which later ones link to; empty when none
    };

    [[nodiscard]] Entry* Find(HMONITOR monitor) noexcept;
    [[nodiscard]] Entry* Make(HMONITOR monitor) noexcept;
    [[nodiscard]] HRESULT StoreAgain(Entry& entry, const std::wstring& path) noexcept;
    static void RememberFile(Entry& entry, const std::wstring& path) noexcept;

    std::vector<std::unique_ptr<Entry>> mEntries; // oldest first
    unsigned mReuses = 0;
    unsigned mEncodes = 0;
    unsigned mLinks = 0;
};

} // namespace Morvane
