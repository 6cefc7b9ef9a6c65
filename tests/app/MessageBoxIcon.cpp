#include "MessageBoxIcon.h"

#include <cstdlib>
#include <cwchar>

namespace MorvaneTests {
namespace {

// The visible static control of the box that shows an icon, if any.
HWND FindIconControl(HWND box)
{
    struct Search {
        HWND found = nullptr;
    } search;
    ::EnumChildWindows(
        box,
        [](HWND child, LPARAM context) -> BOOL {
            wchar_t className[32] = {};
            ::GetClassNameW(child, className, 32);
            const LONG style = ::GetWindowLongW(child, GWL_STYLE);
            if (_wcsicmp(className, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && ::IsWindowVisible(child)) {
                reinterpret_cast<Search*>(context)->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A top-down 32-bit picture of width x height pixels, selected into a memory DC.
struct Picture {
    Picture(int pictureWidth, int pictureHeight) : width(pictureWidth), height(pictureHeight)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = ::CreateCompatibleDC(nullptr);
        bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
        previous = ::SelectObject(dc, bitmap);
    }
    ~Picture()
    {
        ::SelectObject(dc, previous);
        ::DeleteObject(bitmap);
        ::DeleteDC(dc);
    }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    [[nodiscard]] bool Valid() const { return dc != nullptr && bitmap != nullptr && bits != nullptr; }
    [[nodiscard]] size_t Count() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }

    int width;
    int height;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    DWORD* bits = nullptr;
};

// Mean difference per pixel and channel between two pictures of the same size.
double MeanDifference(const Picture& left, const Picture& right)
{
    unsigned long long total = 0;
    for (size_t index = 0; index < left.Count(); ++index) {
        const DWORD a = left.bits[index];
        const DWORD b = right.bits[index];
        for (int shift = 0; shift < 24; shift += 8) {
            total += static_cast<unsigned long long>(
                std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
        }
    }
    return static_cast<double>(total) / (3.0 * static_cast<double>(left.Count()));
}

} // namespace

const char* NameOf(BoxIcon icon) noexcept
{
    switch (icon) {
    case BoxIcon::None:
        return "no icon";
    case BoxIcon::Error:
        return "error icon";
    case BoxIcon::Warning:
        return "warning icon";
    case BoxIcon::Information:
        return "information icon";
    case BoxIcon::Question:
        return "question icon";
    case BoxIcon::Unknown:
        break;
    }
    return "unknown icon";
}

BoxIcon ShownIcon(HWND box)
{
    // Let the box finish painting before its pixels are read.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(box, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
    ::RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ::SendMessageTimeoutW(box, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
    ::Sleep(300);

    const HWND control = FindIconControl(box);
    if (control == nullptr) {
        return BoxIcon::None;
    }
    DWORD_PTR icon = 0;
    if (!::SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon) || icon == 0) {
        return BoxIcon::None;
    }
    RECT place{};
    ::GetWindowRect(control, &place);
    Picture shown(place.right - place.left, place.bottom - place.top);
    if (shown.width <= 0 || shown.height <= 0 || !shown.Valid()) {
        return BoxIcon::Unknown;
    }
    const HDC screen = ::GetDC(nullptr);
    ::BitBlt(shown.dc, 0, 0, shown.width, shown.height, screen, place.left, place.top, SRCCOPY);
    ::ReleaseDC(nullptr, screen);

    // The icon's corners are transparent: the first pixel is the control's background.
    const DWORD background = shown.bits[0];
    const COLORREF backgroundColour = RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF);
    const struct {
        LPCWSTR id;
        BoxIcon icon;
    } standard[] = {{IDI_ERROR, BoxIcon::Error},
                    {IDI_WARNING, BoxIcon::Warning},
                    {IDI_INFORMATION, BoxIcon::Information},
                    {IDI_QUESTION, BoxIcon::Question}};
    BoxIcon best = BoxIcon::Unknown;
    double bestDifference = 1e9;
    for (const auto& candidate : standard) {
        Picture drawn(shown.width, shown.height);
        if (!drawn.Valid()) {
            return BoxIcon::Unknown;
        }
        const HBRUSH brush = ::CreateSolidBrush(backgroundColour);
        const RECT all{0, 0, drawn.width, drawn.height};
        ::FillRect(drawn.dc, &all, brush);
        ::DeleteObject(brush);
        ::DrawIconEx(drawn.dc, 0, 0, ::LoadIconW(nullptr, candidate.id), drawn.width, drawn.height, 0, nullptr,
                     DI_NORMAL);
        const double difference = MeanDifference(shown, drawn);
        if (difference < bestDifference) {
            bestDifference = difference;
            best = candidate.icon;
        }
    }
    // Nearly the same pixels, not merely the nearest of four.
    return bestDifference < 6.0 ? best : BoxIcon::Unknown;
}

} // namespace MorvaneTests
