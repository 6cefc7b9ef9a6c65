#include "capture/MonitorPictureCache.h"

#include "capture/PictureLink.h"
#include "drawings/Bitmap.h"
#include "drawings/BitmapBits.h"

#include <new>

namespace Morvane {
namespace {

constexpr const char* kSaveCapture = "Morvane::MonitorPictureCache::SaveCaptureToJpegFile";

} // namespace

using TalvexBasic::Drawings::Bitmap;

HRESULT MonitorPictureCache::SaveCaptureToJpegFile(const std::wstring& path, HMONITOR monitor, HBITMAP bitmap,
                                                   const SIZE& size) noexcept
{
    TalvexBasic::Drawings::PixelDigest digest;
    {
        // A whole monitor's pixels, given back before the encode: only their digest is kept.
        TalvexBasic::Drawings::BitmapBits capture;
        if (FAILED(capture.Read(bitmap, size))) {
            // Without the pixels nothing can be compared: encode as always and leave the entry alone.
            ++mEncodes;
            return Bitmap::SaveSaveBitmapToJepgFile$Static(path.c_str(), bitmap, &size, 1.0f, 1.0f);
        }
        digest = TalvexBasic::Drawings::DigestOfPixels(capture);
    }
    Entry* entry = Find(monitor);
    if (entry != nullptr && entry->jpeg && entry->pixels == digest) {
        ++mReuses;
        return StoreAgain(*entry, path);
    }

    ++mEncodes;
    std::shared_ptr<unsigned char> jpeg;
    unsigned int jpegLength = 0;
    const HRESULT result =
        Bitmap::SaveSaveBitmapToJepgFile$Static(path.c_str(), bitmap, &size, 1.0f, 1.0f, &jpeg, &jpegLength);
    if (!jpeg) {
        // Not encoded: the entry keeps its own capture and the bytes that belong to it.
        return result;
    }
    if (entry == nullptr) {
        entry = Make(monitor);
        if (entry == nullptr) {
            return result;
        }
    }
    entry->pixels = digest;
    entry->jpeg = std::move(jpeg);
    entry->jpegLength = jpegLength;
    // A file of the bytes before is no longer theirs to link to.
    entry->file.clear();
    if (SUCCEEDED(result)) {
        RememberFile(*entry, path);
    }
    return result;
}

HRESULT MonitorPictureCache::StoreAgain(Entry& entry, const std::wstring& path) noexcept
{
    const StoredAgain stored = StoreJpegAgain(entry.file, path, entry.jpeg.get(), entry.jpegLength, kSaveCapture);
    if (stored.linked) {
        ++mLinks;
    } else if (SUCCEEDED(stored.result)) {
        // The copy takes the next links: the first file may have all the names its volume
        // allows, lie on another volume, or be gone.
        RememberFile(entry, path);
    }
    return stored.result;
}

void MonitorPictureCache::RememberFile(Entry& entry, const std::wstring& path) noexcept
{
    try {
        entry.file = path;
    } catch (const std::bad_alloc&) {
        // Without the name the next file is written, not linked.
        entry.file.clear();
    }
}

void MonitorPictureCache::Clear() noexcept
{
    mEntries.clear();
}

MonitorPictureCache::Entry* MonitorPictureCache::Find(HMONITOR monitor) noexcept
{
    for (const std::unique_ptr<Entry>& entry : mEntries) {
        if (entry->monitor == monitor) {
            return entry.get();
        }
    }
    return nullptr;
}

MonitorPictureCache::Entry* MonitorPictureCache::Make(HMONITOR monitor) noexcept
{
    std::unique_ptr<Entry> entry(new (std::nothrow) Entry);
    if (!entry) {
        return nullptr;
    }
    entry->monitor = monitor;
    try {
        if (mEntries.size() >= kMaxMonitors) {
            mEntries.erase(mEntries.begin());
        }
        mEntries.push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
        // No room to remember the capture: the next one is encoded anew.
        return nullptr;
    }
    return mEntries.back().get();
}

} // namespace Morvane
