#include "support/TestText.h"

#include <windows.h>

namespace TestSupport {

namespace {

std::string Convert(UINT codePage, std::wstring_view text)
{
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string converted(bytes > 0 ? static_cast<size_t>(bytes) : 0, '\0');
    if (bytes > 0) {
        ::WideCharToMultiByte(codePage, 0, text.data(), length, converted.data(), bytes, nullptr, nullptr);
    }
    return converted;
}

} // namespace

std::string Narrow(std::wstring_view text)
{
    return Convert(CP_ACP, text);
}

std::string Utf8(std::wstring_view text)
{
    return Convert(CP_UTF8, text);
}

} // namespace TestSupport
