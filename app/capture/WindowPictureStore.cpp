#include "capture/WindowPictureStore.h"

#include "capture/PictureLink.h"
#include "drawings/Bitmap.h"
#include "system/File.h"
#include "system/UniqueResource.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace Morvane {
namespace {

constexpr const char* kWrite = "Morvane::WindowPictureStore::Write";

// Whether the file holds exactly these bytes. A file that cannot be read holds none: the picture
// is then written anew.
bool FileHoldsBytes(const std::wstring& path, const unsigned char* data, unsigned int length) noexcept
{
    const TalvexBasic::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                                           FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart != static_cast<LONGLONG>(length)) {
        return false;
    }
    unsigned char chunk[16384];
    unsigned int compared = 0;
    while (compared < length) {
        const DWORD wanted = static_cast<DWORD>(std::min<unsigned int>(sizeof chunk, length - compared));
        DWORD read = 0;
        if (!::ReadFile(file.get(), chunk, wanted, &read, nullptr) || read != wanted ||
            std::memcmp(chunk, data + compared, read) != 0) {
            return false;
        }
        compared += read;
    }
    return true;
}

} // namespace

HRESULT WindowPictureStore::Write(const std::wstring& path, const unsigned char* data, unsigned int length) noexcept
{
    const PictureKey key = MakePictureKey(data, length);
    const std::wstring* remembered = mRemembered.Find(key);
    if (remembered == nullptr || !FileHoldsBytes(*remembered, data, length)) {
        const HRESULT written = TalvexBasic::Drawings::Bitmap::WriteJepgFile$Static(path.c_str(), data, length);
        if (SUCCEEDED(written)) {
            Remember(key, path);
        }
        return written;
    }
    ++mReuses;
    // A watch writes a window's picture before anything else of its folder.
    (void)TalvexBasic::Files::File::MakeSureParentDirectoryExists$Static(path);
    const StoredAgain stored = StoreJpegAgain(*remembered, path, data, length, kWrite);
    if (stored.linked) {
        ++mLinks;
        // Made the newest, so that a picture shown again and again is never forgotten.
        Remember(key, *remembered);
    } else if (SUCCEEDED(stored.result)) {
        // The copy takes the next links: the earlier file may have all the names its volume
        // allows, or lie on another volume.
        Remember(key, path);
    }
    return stored.result;
}

void WindowPictureStore::Remember(const PictureKey& key, const std::wstring& path) noexcept
{
    try {
        mRemembered.Remember(key, path);
    } catch (const std::bad_alloc&) {
        // The table stays as it was: at worst a later picture of these bytes is written anew.
    }
}

} // namespace Morvane
