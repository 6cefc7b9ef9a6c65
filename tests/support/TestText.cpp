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

std::vector<std::string> CrLfLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start) + "<no line end>");
    }
    return lines;
}

} // namespace TestSupport
