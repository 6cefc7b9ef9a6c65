#include "TickerWindow.h"

#include <cstdio>
#include <thread>

namespace MorvaneBench {
namespace {

constexpr wchar_t kClassName[] = L"MorvaneBenchTicker";
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTickMilliseconds = 10;

} // namespace

class TickerWindow::State {
public:
    RECT rect{};
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND window = nullptr;
    DWORD threadId = 0;
    volatile LONG ticks = 0;
    std::thread thread;

    ~State()
    {
        if (thread.joinable()) {
            ::PostThreadMessageW(threadId, WM_QUIT, 0, 0);
            thread.join();
        }
        ::CloseHandle(ready);
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* state = reinterpret_cast<State*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        switch (message) {
        case WM_TIMER:
            ::InterlockedIncrement(&state->ticks);
            ::InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC dc = ::BeginPaint(window, &paint);
            RECT client{};
            ::GetClientRect(window, &client);
            const LONG tick = state != nullptr ? state->ticks : 0;
            // A colour and a text that change with every tick.
            HBRUSH brush = ::CreateSolidBrush(RGB((tick * 7) % 256, (tick * 13) % 256, 200));
            ::FillRect(dc, &client, brush);
            ::DeleteObject(brush);
            wchar_t text[32];
            const int length = std::swprintf(text, 32, L"tick %ld", static_cast<long>(tick));
            ::SetBkMode(dc, TRANSPARENT);
            ::TextOutW(dc, 4, 4, text, length);
            ::EndPaint(window, &paint);
            if (state != nullptr) {
                ::SetEvent(state->ready);
            }
            return 0;
        }
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
        }
    }

    void Run()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &Procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        ::RegisterClassW(&windowClass);
        window = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, kClassName, L"Bench ticker", WS_POPUP, rect.left,
                                   rect.top, rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                   windowClass.hInstance, nullptr);
        if (window == nullptr) {
            ::SetEvent(ready);
            return;
        }
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ::ShowWindow(window, SW_SHOWNOACTIVATE);
        ::SetTimer(window, kTimerId, kTickMilliseconds, nullptr);
        MSG message{};
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            ::DispatchMessageW(&message);
        }
        ::KillTimer(window, kTimerId);
        ::DestroyWindow(window);
    }
};

TickerWindow::TickerWindow() : mState(new State)
{
}

TickerWindow::~TickerWindow() = default;

bool TickerWindow::Open(const RECT& rect)
{
    mState->rect = rect;
    mState->thread = std::thread([state = mState.get()] {
        state->threadId = ::GetCurrentThreadId();
        state->Run();
    });
    return ::WaitForSingleObject(mState->ready, 10000) == WAIT_OBJECT_0 && mState->window != nullptr;
}

unsigned TickerWindow::Ticks() const noexcept
{
    return static_cast<unsigned>(mState->ticks);
}

} // namespace MorvaneBench
