#pragma once

#include <optional>
#include <string>

namespace Morvane {

// The strings of an image file's version resource, in its first translation; each empty where
// the file has no such string (Wine's own programs have no version resource at all).
struct VersionStrings {
    std::optional<std::wstring> company;
    std::optional<std::wstring> product;
    std::optional<std::wstring> description;
    std::optional<std::wstring> fileVersion;
    std::optional<std::wstring> originalFilename;
};

// Reads the strings of the file's version resource. A file without one, or one that cannot be
// read, gives empty strings and one trace line that says why.
[[nodiscard]] VersionStrings ReadVersionStrings(const std::wstring& imagePath);

} // namespace Morvane
