#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>

namespace Morvane {

// How many folders each window has got in a watch, to name the next one "-2", "-3", ... when it
// shows again. A long watch sees windows by the ten thousand and keeps none of them: a window
// that no longer exists is forgotten (a new window that gets its handle back also gets another
// process or thread, hence another folder name). Pure: the caller tells which windows exist.
class WindowFolderCounts {
public:
    using Exists = std::function<bool(std::uint64_t window)>;

    // The fewest counts kept before windows that no longer exist are looked for.
    static constexpr std::size_t kFirstSweep = 64;

    explicit WindowFolderCounts(Exists exists) : mExists(std::move(exists)) {}

    // The window got a folder. Once the counts have doubled since the last look, those of
    // windows that no longer exist are dropped: a constant cost a window, on average.
    void NoteFolder(std::uint64_t window);

    [[nodiscard]] unsigned Of(std::uint64_t window) const noexcept;

    [[nodiscard]] std::size_t Size() const noexcept { return mCounts.size(); }

private:
    void ForgetThoseGone();

    Exists mExists;
    std::unordered_map<std::uint64_t, unsigned> mCounts;
    std::size_t mSweepAt = kFirstSweep;
};

} // namespace Morvane
