#include "system/TextConversion.h"

#include <windows.h>

#include <climits>

namespace TalvexBasic {

std::string ToThreadAnsi(std::wstring_view text)
{
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) {
        return {};
    }
    const int wideLength = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return {};
    }
    std::string narrow(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), wideLength, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

} // namespace TalvexBasic
