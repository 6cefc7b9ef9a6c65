#pragma once

#include "system/UniqueResource.h"

#include <windows.h>

#include <mscat.h>

#include <optional>
#include <string>
#include <vector>

namespace Morvane {

struct CatalogAdminTraits {
    using Type = HCATADMIN;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type admin) noexcept { ::CryptCATAdminReleaseContext(admin, 0); }
};

// A catalog administration context, from CryptCATAdminAcquireContext(2).
using UniqueCatalogAdmin = TalvexBasic::UniqueResource<CatalogAdminTraits>;

// A file as a member of a system catalog: the catalog that lists its hash, and the hash.
struct CatalogMember {
    UniqueCatalogAdmin admin;    // the context the hash was made in; the trust check asks it again
    std::wstring catalogPath;    // the catalog's full path
    std::wstring memberTag;      // the hash in upper-case hex, which is how catalogs name members
    std::vector<BYTE> hash;
};

struct CatalogSearch {
    HRESULT result = S_OK;                // a failure to hash the file; S_OK when it was looked up
    std::optional<CatalogMember> member;  // none when no catalog lists the file
};

// Looks the file up by its catalog hash (SHA-256 where the system offers it, else the older hash)
// among the system's catalogs.
[[nodiscard]] CatalogSearch FindCatalogMember(const std::wstring& filePath);

// "ab 01" -> "AB01".
[[nodiscard]] std::wstring UpperHex(const std::vector<BYTE>& bytes);

} // namespace Morvane
