#include "capture/VersionStrings.h"

#include "MorvaneTrace.h"

#include <windows.h>

#include <cwchar>
#include <vector>

namespace Morvane {
namespace {

constexpr const char* kReadVersionStrings = "Morvane::ReadVersionStrings";

// The whole string under the translation's block, however long; empty where it is missing.
std::optional<std::wstring> QueryString(const std::vector<BYTE>& block, const wchar_t* translation,
                                        const wchar_t* name)
{
    const std::wstring query = std::wstring(L"\\StringFileInfo\\") + translation + L"\\" + name;
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), query.c_str(), &value, &length) || value == nullptr) {
        return std::nullopt;
    }
    // The length counts characters and, mostly, the terminating null.
    const wchar_t* text = static_cast<const wchar_t*>(value);
    return std::wstring(text, ::wcsnlen(text, length));
}

} // namespace

VersionStrings ReadVersionStrings(const std::wstring& imagePath)
{
    VersionStrings strings;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(imagePath.c_str(), &ignored);
    if (size == 0) {
        MORVANE_TRACE_W(kReadVersionStrings, L"GetFileVersionInfoSizeW(%ls) error:%u.", imagePath.c_str(),
                        static_cast<unsigned>(::GetLastError()));
        return strings;
    }
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(imagePath.c_str(), 0, size, block.data())) {
        MORVANE_TRACE_W(kReadVersionStrings, L"GetFileVersionInfoW(%ls) error:%u.", imagePath.c_str(),
                        static_cast<unsigned>(::GetLastError()));
        return strings;
    }
    struct Translation {
        WORD language;
        WORD codePage;
    };
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) || value == nullptr ||
        length < sizeof(Translation)) {
        MORVANE_TRACE_W(kReadVersionStrings, L"VerQueryValueW(%ls, Translation) found none.", imagePath.c_str());
        return strings;
    }
    const Translation first = *static_cast<const Translation*>(value);
    wchar_t translation[16];
    std::swprintf(translation, 16, L"%04x%04x", static_cast<unsigned>(first.language),
                  static_cast<unsigned>(first.codePage));
    strings.company = QueryString(block, translation, L"CompanyName");
    strings.product = QueryString(block, translation, L"ProductName");
    strings.description = QueryString(block, translation, L"FileDescription");
    strings.fileVersion = QueryString(block, translation, L"FileVersion");
    strings.originalFilename = QueryString(block, translation, L"OriginalFilename");
    return strings;
}

} // namespace Morvane
