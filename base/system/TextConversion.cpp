#include "system/TextConversion.h"

#include <windows.h>

#include <climits>

namespace TalvexBasic {
namespace {

std::string FromWide(UINT codePage, std::wstring_view text)
{
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) {
        return {};
    }
    const int wideLength = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(codePage, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return {};
    }
    std::string narrow(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), wideLength, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

} // namespace

std::string ToThreadAnsi(std::wstring_view text)
{
    return FromWide(CP_THREAD_ACP, text);
}

std::string ToUtf8(std::wstring_view text)
{
    return FromWide(CP_UTF8, text);
}

std::wstring FromUtf8(std::string_view text)
{
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) {
        return {};
    }
    const int narrowLength = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), narrowLength, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), narrowLength, wide.data(), length);
    return wide;
}

} // namespace TalvexBasic
