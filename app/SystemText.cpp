#include "SystemText.h"

#include "system/UniqueResource.h"

namespace Morvane {

std::wstring SystemText(DWORD error)
{
    TalvexBasic::UniqueLocalMemory buffer;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, error, 0, reinterpret_cast<LPWSTR>(buffer.put()), 0, nullptr);
    std::wstring text = length != 0 ? std::wstring(static_cast<const wchar_t*>(buffer.get()), length) : L"";
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    return text;
}

} // namespace Morvane
