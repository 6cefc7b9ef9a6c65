#include "support/FixtureWindows.h"

#include "drawings/GdiHolders.h"
#include "system/HResult.h"
#include "system/UniqueResource.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace TestSupport {
namespace {

// The fill colour lives in a window property, so that subclassed system classes need no window
// bytes of their own. The flag bit keeps black (0) apart from "no property".
constexpr wchar_t kFillProperty[] = L"TestSupport.FixtureFill";
constexpr wchar_t kPreviousProcedureProperty[] = L"TestSupport.FixturePreviousProcedure";
constexpr ULONG_PTR kFillPresent = 0x100000000ull;

// Posted to a UI thread (no window) to make it run its queued tasks.
constexpr UINT kRunTasksMessage = WM_APP + 0x71;

// BeginPaint/EndPaint as a pair.
class PaintScope {
public:
    explicit PaintScope(HWND window) noexcept : mWindow(window) { mDc = ::BeginPaint(window, &mPaint); }
    ~PaintScope() { ::EndPaint(mWindow, &mPaint); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    [[nodiscard]] HDC Dc() const noexcept { return mDc; }
    [[nodiscard]] const RECT& Area() const noexcept { return mPaint.rcPaint; }

private:
    HWND mWindow;
    PAINTSTRUCT mPaint{};
    HDC mDc = nullptr;
};

std::string Describe(const char* what, DWORD error)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s error:%u.", what, static_cast<unsigned>(error));
    return text;
}

std::string DescribeRect(const char* what, const RECT& rect)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s (%ld,%ld)-(%ld,%ld).", what, static_cast<long>(rect.left),
                  static_cast<long>(rect.top), static_cast<long>(rect.right), static_cast<long>(rect.bottom));
    return text;
}

bool SameRect(const RECT& a, const RECT& b) noexcept
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool FillOf(HWND window, COLORREF& fill) noexcept
{
    const auto stored = reinterpret_cast<ULONG_PTR>(::GetPropW(window, kFillProperty));
    if ((stored & kFillPresent) == 0) {
        return false;
    }
    fill = static_cast<COLORREF>(stored & 0xFFFFFFFFull);
    return true;
}

void FillRectangle(HDC dc, const RECT& area, COLORREF fill) noexcept
{
    const TalvexBasic::Drawings::BrushHolder brush(::CreateSolidBrush(fill));
    if (brush) {
        ::FillRect(dc, &area, brush.get());
    }
}

LRESULT CALLBACK FixtureWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto previous = reinterpret_cast<WNDPROC>(::GetPropW(window, kPreviousProcedureProperty));
    const auto passOn = [&]() {
        return previous != nullptr ? ::CallWindowProcW(previous, window, message, wParam, lParam)
                                   : ::DefWindowProcW(window, message, wParam, lParam);
    };
    COLORREF fill = 0;
    switch (message) {
    case WM_GETMINMAXINFO: {
        // Without this, windows with a frame or caption are held to a minimum tracking size and
        // to the screen size, and tiny or oversized fixture rectangles would not be kept.
        passOn();
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = POINT{0, 0};
        limits->ptMaxTrackSize = POINT{32767, 32767};
        return 0;
    }
    case WM_ERASEBKGND:
        if (FillOf(window, fill)) {
            RECT client{};
            ::GetClientRect(window, &client);
            FillRectangle(reinterpret_cast<HDC>(wParam), client, fill);
            return 1;
        }
        break;
    case WM_PAINT:
        if (FillOf(window, fill)) {
            const PaintScope paint(window);
            FillRectangle(paint.Dc(), paint.Area(), fill);
            return 0;
        }
        break;
    case WM_PRINTCLIENT:
        if (FillOf(window, fill)) {
            RECT client{};
            ::GetClientRect(window, &client);
            FillRectangle(reinterpret_cast<HDC>(wParam), client, fill);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        ::RemovePropW(window, kFillProperty);
        if (previous != nullptr) {
            ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
            ::RemovePropW(window, kPreviousProcedureProperty);
        }
        break;
    default:
        break;
    }
    return passOn();
}

enum class ClassKind { Own, Foreign, Failed };

// Registers a class with the fixture's procedure unless the name is taken already.
ClassKind EnsureClass(const std::wstring& name, DWORD& error)
{
    static std::mutex registration;
    const std::lock_guard<std::mutex> lock(registration);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(instance, name.c_str(), &existing)) {
        return existing.lpfnWndProc == FixtureWindowProc ? ClassKind::Own : ClassKind::Foreign;
    }
    WNDCLASSEXW fixtureClass{};
    fixtureClass.cbSize = sizeof fixtureClass;
    fixtureClass.lpfnWndProc = FixtureWindowProc;
    fixtureClass.hInstance = instance;
    fixtureClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    fixtureClass.lpszClassName = name.c_str();
    if (!::RegisterClassExW(&fixtureClass)) {
        error = ::GetLastError();
        return ClassKind::Failed;
    }
    return ClassKind::Own;
}

// Creates, places, shows and paints one window on the calling thread, which then owns it.
FixtureWindow CreateFixtureWindow(const FixtureWindowSpec& layout)
{
    FixtureWindow result;
    DWORD error = 0;
    const ClassKind kind = EnsureClass(layout.className, error);
    if (kind == ClassKind::Failed) {
        result.failure = Describe("RegisterClassExW", error);
        return result;
    }
    // Shown only once it is placed and painted, and then without taking the activation, so that
    // opening a window never sends activation messages to another (possibly hung) thread.
    const LONG width = layout.rect.right - layout.rect.left;
    const LONG height = layout.rect.bottom - layout.rect.top;
    HWND window = ::CreateWindowExW(layout.exStyle, layout.className.c_str(), layout.caption.c_str(),
                                    layout.style & ~static_cast<DWORD>(WS_VISIBLE), layout.rect.left, layout.rect.top,
                                    width, height, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        result.failure = Describe("CreateWindowExW", ::GetLastError());
        return result;
    }
    ::SetPropW(window, kFillProperty, reinterpret_cast<HANDLE>(kFillPresent | layout.fill));
    if (kind == ClassKind::Foreign) {
        ::SetPropW(window, kPreviousProcedureProperty,
                   reinterpret_cast<HANDLE>(::GetWindowLongPtrW(window, GWLP_WNDPROC)));
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FixtureWindowProc));
    }
    const bool sized = (layout.style & (WS_MINIMIZE | WS_MAXIMIZE)) == 0;
    RECT actual{};
    ::GetWindowRect(window, &actual);
    if (sized && !SameRect(actual, layout.rect)) {
        ::SetWindowPos(window, nullptr, layout.rect.left, layout.rect.top, width, height,
                       SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE);
    }
    if (layout.style & WS_VISIBLE) {
        ::ShowWindow(window, (layout.style & WS_MINIMIZE) ? SW_SHOWMINNOACTIVE : SW_SHOWNOACTIVATE);
        ::UpdateWindow(window);
        ::GdiFlush();
    }
    ::GetWindowRect(window, &actual);
    if (sized && !SameRect(actual, layout.rect)) {
        result.failure = DescribeRect("GetWindowRect differs from the requested rectangle:", actual);
        ::DestroyWindow(window);
        return result;
    }
    result.handle = window;
    result.processId = ::GetCurrentProcessId();
    result.threadId = ::GetCurrentThreadId();
    return result;
}

// Handles every message that is waiting for the calling thread, then returns.
void DrainMessages() noexcept
{
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// A thread that pumps messages and runs tasks handed to it, one at a time, in order.
class UiThread {
public:
    UiThread()
    {
        std::promise<DWORD> started;
        std::future<DWORD> threadId = started.get_future();
        mThread = std::thread([this, started = std::move(started)]() mutable { Main(started); });
        mThreadId = threadId.get();
    }

    ~UiThread()
    {
        ::PostThreadMessageW(mThreadId, WM_QUIT, 0, 0);
        mThread.join();
    }

    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    template <typename Result> Result Run(std::function<Result()> task)
    {
        // Shared with the queue, so that the task outlives the caller's wait in every order.
        auto packaged = std::make_shared<std::packaged_task<Result()>>(std::move(task));
        std::future<Result> done = packaged->get_future();
        {
            const std::lock_guard<std::mutex> lock(mMutex);
            mTasks.emplace_back([packaged]() { (*packaged)(); });
        }
        ::PostThreadMessageW(mThreadId, kRunTasksMessage, 0, 0);
        return done.get();
    }

private:
    void Main(std::promise<DWORD>& started)
    {
        MSG message{};
        // The first PeekMessageW gives the thread its message queue before anyone posts to it.
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        started.set_value(::GetCurrentThreadId());
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (message.hwnd == nullptr && message.message == kRunTasksMessage) {
                RunQueuedTasks();
                continue;
            }
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }

    void RunQueuedTasks()
    {
        for (;;) {
            std::function<void()> task;
            {
                const std::lock_guard<std::mutex> lock(mMutex);
                if (mTasks.empty()) {
                    return;
                }
                task = std::move(mTasks.front());
                mTasks.pop_front();
            }
            task();
        }
    }

    std::thread mThread;
    DWORD mThreadId = 0;
    std::mutex mMutex;
    std::deque<std::function<void()>> mTasks;
};

// A window on a thread of its own that stops pumping once the window is painted and waits for
// its release; then it destroys the window and ends.
class HungWindow {
public:
    explicit HungWindow(const FixtureWindowSpec& layout) : mRelease(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        if (!mRelease) {
            mWindow.failure = Describe("CreateEventW", ::GetLastError());
            return;
        }
        std::promise<FixtureWindow> opened;
        std::future<FixtureWindow> window = opened.get_future();
        mThread = std::thread([this, layout, opened = std::move(opened)]() mutable {
            FixtureWindow created = CreateFixtureWindow(layout);
            const HWND handle = created.handle;
            DrainMessages();
            opened.set_value(std::move(created));
            if (handle == nullptr) {
                return;
            }
            ::WaitForSingleObject(mRelease.get(), INFINITE);
            ::DestroyWindow(handle);
            DrainMessages();
        });
        mWindow = window.get();
    }

    ~HungWindow() { Release(); }
    HungWindow(const HungWindow&) = delete;
    HungWindow& operator=(const HungWindow&) = delete;

    [[nodiscard]] const FixtureWindow& Window() const noexcept { return mWindow; }

    void Release() noexcept
    {
        if (mThread.joinable()) {
            ::SetEvent(mRelease.get());
            mThread.join();
        }
    }

private:
    TalvexBasic::UniqueHandle mRelease;
    std::thread mThread;
    FixtureWindow mWindow;
};

} // namespace

class FixtureWindows::State {
public:
    UiThread mUi;
    std::mutex mMutex;
    std::vector<HWND> mWindows;
    std::map<HWND, std::unique_ptr<HungWindow>> mHung;
};

FixtureWindows::FixtureWindows() : mState(std::make_unique<State>())
{
}

FixtureWindows::~FixtureWindows()
{
    CloseAll();
}

FixtureWindow FixtureWindows::Open(const FixtureWindowSpec& layout)
{
    FixtureWindow window = mState->mUi.Run<FixtureWindow>([&layout]() { return CreateFixtureWindow(layout); });
    if (window) {
        const std::lock_guard<std::mutex> lock(mState->mMutex);
        mState->mWindows.push_back(window.handle);
    }
    return window;
}

FixtureWindow FixtureWindows::OpenHung(const FixtureWindowSpec& layout)
{
    auto hung = std::make_unique<HungWindow>(layout);
    FixtureWindow window = hung->Window();
    if (window) {
        const std::lock_guard<std::mutex> lock(mState->mMutex);
        mState->mHung.emplace(window.handle, std::move(hung));
    }
    return window;
}

bool FixtureWindows::Close(HWND window)
{
    std::unique_ptr<HungWindow> hung;
    bool ordinary = false;
    {
        const std::lock_guard<std::mutex> lock(mState->mMutex);
        const auto found = mState->mHung.find(window);
        if (found != mState->mHung.end()) {
            hung = std::move(found->second);
            mState->mHung.erase(found);
        } else {
            for (auto it = mState->mWindows.begin(); it != mState->mWindows.end(); ++it) {
                if (*it == window) {
                    mState->mWindows.erase(it);
                    ordinary = true;
                    break;
                }
            }
        }
    }
    if (hung) {
        hung->Release();
        return !::IsWindow(window);
    }
    if (!ordinary) {
        return false;
    }
    return mState->mUi.Run<bool>([window]() { return ::DestroyWindow(window) != FALSE; });
}

void FixtureWindows::CloseAll() noexcept
{
    std::vector<HWND> windows;
    std::map<HWND, std::unique_ptr<HungWindow>> hung;
    {
        const std::lock_guard<std::mutex> lock(mState->mMutex);
        windows.swap(mState->mWindows);
        hung.swap(mState->mHung);
    }
    // Released first: a hung thread may hold messages that ordinary windows wait for.
    hung.clear();
    if (!windows.empty()) {
        mState->mUi.Run<bool>([&windows]() {
            for (HWND window : windows) {
                ::DestroyWindow(window);
            }
            return true;
        });
    }
}

} // namespace TestSupport
