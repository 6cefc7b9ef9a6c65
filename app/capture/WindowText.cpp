#include "capture/WindowText.h"

#include <vector>

namespace Morvane {

std::wstring ReadWholeWindowText(HWND window)
{
    std::vector<wchar_t> buffer(512);
    for (;;) {
        buffer[0] = L'\0';
        const int length = ::InternalGetWindowText(window, buffer.data(), static_cast<int>(buffer.size()));
        if (length < 0 || static_cast<size_t>(length) + 1 < buffer.size() || buffer.size() >= (1u << 26)) {
            return std::wstring(buffer.data(), length > 0 ? static_cast<size_t>(length) : 0);
        }
        buffer.assign(buffer.size() * 4, L'\0');
    }
}

std::wstring ReadClassName(HWND window)
{
    wchar_t name[257] = {};
    const int length = ::GetClassNameW(window, name, 257);
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

} // namespace Morvane
