#pragma once

#include <string_view>

namespace Basic::Paths {

// The part after the last backslash: the file name; the whole path when it holds none.
[[nodiscard]] constexpr std::wstring_view FileNamePart(std::wstring_view path) noexcept
{
    const size_t backslash = path.find_last_of(L'\\');
    return backslash == std::wstring_view::npos ? path : path.substr(backslash + 1);
}

// The part before the last backslash: the folder; the whole path when it holds none.
[[nodiscard]] constexpr std::wstring_view FolderPart(std::wstring_view path) noexcept
{
    const size_t backslash = path.find_last_of(L'\\');
    return backslash == std::wstring_view::npos ? path : path.substr(0, backslash);
}

} // namespace Basic::Paths
