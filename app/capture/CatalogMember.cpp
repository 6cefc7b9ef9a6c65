#include "capture/CatalogMember.h"

#include "MorvaneTrace.h"
#include "system/RoutineCast.h"

#include <utility>

namespace Morvane {
namespace {

constexpr const char* kFindCatalogMember = "Morvane::FindCatalogMember";

// The catalog routines of Windows 8 and later, which hash with a chosen algorithm. Looked up, as
// older systems (and Wine) lack them or answer ERROR_CALL_NOT_IMPLEMENTED.
using AcquireContext2Routine = BOOL(WINAPI*)(HCATADMIN*, const GUID*, PCWSTR, const void*, DWORD);
using CalcHashFromFileHandle2Routine = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);

// BCRYPT_SHA256_ALGORITHM, which the system's own catalogs use since Windows 8.
constexpr wchar_t kSha256[] = L"SHA256";

struct CatalogInfoTraits {
    using Type = std::pair<HCATADMIN, HCATINFO>;
    static Type Invalid() noexcept { return {nullptr, nullptr}; }
    static void Close(Type info) noexcept
    {
        if (info.second != nullptr) {
            ::CryptCATAdminReleaseCatalogContext(info.first, info.second, 0);
        }
    }
};
using UniqueCatalogInfo = TalvexBasic::UniqueResource<CatalogInfoTraits>;

FARPROC WintrustRoutine(const char* name) noexcept
{
    // wintrust is imported by the program, so it is loaded for as long as the process runs.
    const HMODULE wintrust = ::GetModuleHandleW(L"wintrust.dll");
    return wintrust == nullptr ? nullptr : ::GetProcAddress(wintrust, name);
}

// The context and the routine that hashes in it: SHA-256 where available, else the older hash.
struct Hasher {
    UniqueCatalogAdmin admin;
    CalcHashFromFileHandle2Routine calcHash2 = nullptr; // null: the older CryptCATAdminCalcHashFromFileHandle
};

HRESULT AcquireHasher(Hasher& hasher)
{
    const auto acquire2 = TalvexBasic::RoutineCast<AcquireContext2Routine>(WintrustRoutine("CryptCATAdminAcquireContext2"));
    const auto calcHash2 =
        TalvexBasic::RoutineCast<CalcHashFromFileHandle2Routine>(WintrustRoutine("CryptCATAdminCalcHashFromFileHandle2"));
    if (acquire2 != nullptr && calcHash2 != nullptr && acquire2(hasher.admin.put(), nullptr, kSha256, nullptr, 0)) {
        hasher.calcHash2 = calcHash2;
        return S_OK;
    }
    if (!::CryptCATAdminAcquireContext(hasher.admin.put(), nullptr, 0)) {
        return HRESULT_FROM_WIN32(::GetLastError());
    }
    return S_OK;
}

HRESULT HashFile(const Hasher& hasher, HANDLE file, std::vector<BYTE>& hash)
{
    DWORD size = 0;
    const auto calc = [&](BYTE* bytes) {
        return hasher.calcHash2 != nullptr ? hasher.calcHash2(hasher.admin.get(), file, &size, bytes, 0)
                                           : ::CryptCATAdminCalcHashFromFileHandle(file, &size, bytes, 0);
    };
    // The first call asks the size only, and fails with ERROR_INSUFFICIENT_BUFFER while doing so.
    if (!calc(nullptr) && (size == 0 || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)) {
        return HRESULT_FROM_WIN32(::GetLastError());
    }
    hash.resize(size);
    if (!calc(hash.data())) {
        return HRESULT_FROM_WIN32(::GetLastError());
    }
    hash.resize(size);
    return S_OK;
}

} // namespace

std::wstring UpperHex(const std::vector<BYTE>& bytes)
{
    constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(bytes.size() * 2);
    for (const BYTE byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

CatalogSearch FindCatalogMember(const std::wstring& filePath)
{
    CatalogSearch search;
    const TalvexBasic::UniqueFileHandle file(::CreateFileW(filePath.c_str(), GENERIC_READ,
                                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        search.result = HRESULT_FROM_WIN32(::GetLastError());
        MORVANE_TRACE_W(kFindCatalogMember, L"CreateFileW(%ls) return:0x%x.", filePath.c_str(),
                        static_cast<unsigned>(search.result));
        return search;
    }
    Hasher hasher;
    std::vector<BYTE> hash;
    search.result = AcquireHasher(hasher);
    if (SUCCEEDED(search.result)) {
        search.result = HashFile(hasher, file.get(), hash);
    }
    if (FAILED(search.result)) {
        MORVANE_TRACE_W(kFindCatalogMember, L"catalog hash of %ls return:0x%x.", filePath.c_str(),
                        static_cast<unsigned>(search.result));
        return search;
    }
    const UniqueCatalogInfo info({hasher.admin.get(), ::CryptCATAdminEnumCatalogFromHash(hasher.admin.get(), hash.data(),
                                                                                         static_cast<DWORD>(hash.size()),
                                                                                         0, nullptr)});
    if (info.get().second == nullptr) {
        return search; // no catalog lists the file
    }
    CATALOG_INFO catalog{};
    catalog.cbStruct = sizeof catalog;
    if (!::CryptCATCatalogInfoFromContext(info.get().second, &catalog, 0)) {
        search.result = HRESULT_FROM_WIN32(::GetLastError());
        MORVANE_TRACE_W(kFindCatalogMember, L"CryptCATCatalogInfoFromContext(%ls) return:0x%x.", filePath.c_str(),
                        static_cast<unsigned>(search.result));
        return search;
    }
    CatalogMember member;
    member.catalogPath = catalog.wszCatalogFile;
    member.memberTag = UpperHex(hash);
    member.hash = std::move(hash);
    search.member = std::move(member);
    // The member keeps the context alive, so the info above is still released within it.
    search.member->admin = std::move(hasher.admin);
    return search;
}

} // namespace Morvane
