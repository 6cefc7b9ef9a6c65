#include "capture/MonitorPictureCache.h"

#include "drawings/Bitmap.h"

#include <new>

namespace Morvane {

using TalvexBasic::Drawings::Bitmap;

HRESULT MonitorPictureCache::SaveCaptureToJpegFile(const std::wstring& path, HMONITOR monitor, HBITMAP bitmap,
                                                   const SIZE& size) noexcept
{
    if (FAILED(mCapture.Read(bitmap, size))) {
        // Without the pixels nothing can be compared: encode as always and leave the entry alone.
        ++mEncodes;
        return Bitmap::SaveSaveBitmapToJepgFile$Static(path.c_str(), bitmap, &size, 1.0f, 1.0f);
    }
    Entry* entry = Find(monitor);
    if (entry != nullptr && entry->jpeg && entry->pixels.SamePixelsAs(mCapture)) {
        ++mReuses;
        return Bitmap::WriteJepgFile$Static(path.c_str(), entry->jpeg.get(), entry->jpegLength);
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
    entry->pixels.Swap(mCapture);
    entry->jpeg = std::move(jpeg);
    entry->jpegLength = jpegLength;
    return result;
}

void MonitorPictureCache::Clear() noexcept
{
    mEntries.clear();
    mCapture.Clear();
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
