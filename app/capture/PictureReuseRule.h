#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace Morvane {

// What tells pictures apart before their bytes are compared: a hash of the bytes (64-bit FNV-1a)
// and their length. Equal keys make two pictures candidates only; the bytes decide.
struct PictureKey {
    std::uint64_t hash = 0;
    std::uint64_t length = 0;

    [[nodiscard]] bool operator==(const PictureKey& other) const noexcept
    {
        return hash == other.hash && length == other.length;
    }
};

[[nodiscard]] PictureKey MakePictureKey(const unsigned char* data, std::size_t length) noexcept;

// How many distinct pictures a run remembers: the same menu, tooltip or dialog shown again within
// that many other pictures is stored once. Bounded so that a watch left on for days spends as
// much per window, and holds as much, as one that just started.
constexpr std::size_t kRememberedPictures = 256;

// The pictures last written in a run, by key, each with the file that holds its bytes: which
// earlier file a new picture may be a further name of, and which picture to forget. Pure: no
// file is read or written here.
class RememberedPictures {
public:
    explicit RememberedPictures(std::size_t limit = kRememberedPictures) noexcept : mLimit(limit) {}

    // The file remembered with the key, or null. The caller compares its bytes before using it.
    [[nodiscard]] const std::wstring* Find(const PictureKey& key) const noexcept;

    // The file holds the key's bytes now and takes the next links (a picture just written, or
    // one just found again): the key becomes the newest, with this file. A new key past the limit
    // forgets the oldest. Throws std::bad_alloc, leaving the table as it was.
    void Remember(const PictureKey& key, const std::wstring& path);

    [[nodiscard]] std::size_t Size() const noexcept { return mEntries.size(); }

private:
    struct Entry {
        PictureKey key;
        std::wstring path;
    };

    std::size_t mLimit;
    std::deque<Entry> mEntries; // oldest first; at most mLimit, so a look-up costs a bounded time
};

} // namespace Morvane
