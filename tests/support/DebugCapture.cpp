#include "support/DebugCapture.h"

#include "system/UniqueResource.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <set>

// How wide lines reach a debugger.
//
// Windows 10 and later deliver OutputDebugStringW to a debugger that waits with
// WaitForDebugEventEx as an OUTPUT_DEBUG_STRING_EVENT with fUnicode set; the text is exact.
//
// Wine 8 has no WaitForDebugEventEx. Its OutputDebugStringW converts the text to the ANSI code
// page (1252) and passes it on to OutputDebugStringA, so the debugger sees a narrow event in which
// every character outside the code page has become "?"; no DBG_PRINTEXCEPTION_WIDE_C exception
// reaches the debugger. To keep wide lines exact there, the capture puts a breakpoint on the
// entry of OutputDebugStringW in the debuggee: at the breakpoint it reads the UTF-16 text that the
// first argument points to, and completes the call as an immediate return, so the narrow copy is
// never sent. The breakpoint stays in place (no single-stepping), so threads cannot slip past it.
// It needs kernelbase.dll at the same address in both processes, which holds for system DLLs on
// Windows and on Wine; if the code there differs, wide lines are recorded as the narrow copies
// (wideLinesExact is false).

namespace TestSupport {
namespace {

constexpr DWORD kWaitSliceMilliseconds = 20;
constexpr ULONGLONG kBoxScanMilliseconds = 40;
constexpr ULONGLONG kDrainMilliseconds = 10000;
constexpr size_t kLongestLine = 64u * 1024 * 1024;
constexpr DWORD kPrintExceptionNarrow = 0x40010006; // DBG_PRINTEXCEPTION_C
constexpr DWORD kPrintExceptionWide = 0x4001000A;   // DBG_PRINTEXCEPTION_WIDE_C

using WaitForDebugEventExRoutine = BOOL(WINAPI*)(LPDEBUG_EVENT, DWORD);

WaitForDebugEventExRoutine LookUpWaitForDebugEventEx() noexcept
{
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    return kernel == nullptr ? nullptr
                             : reinterpret_cast<WaitForDebugEventExRoutine>(
                                   reinterpret_cast<void*>(::GetProcAddress(kernel, "WaitForDebugEventEx")));
}

// Reads a zero-terminated string of the debuggee, page by page so that a string that ends just
// before an unreadable page is still read. The length field of OUTPUT_DEBUG_STRING_INFO is only
// 16 bits wide, so it is not used.
template <typename Char> std::basic_string<Char> ReadRemoteString(HANDLE process, const void* address)
{
    std::basic_string<Char> text;
    auto cursor = reinterpret_cast<ULONG_PTR>(address);
    constexpr ULONG_PTR kPage = 4096;
    while (text.size() < kLongestLine) {
        Char chunk[kPage / sizeof(Char)];
        const ULONG_PTR toPageEnd = kPage - (cursor % kPage);
        const size_t count = toPageEnd / sizeof(Char) == 0 ? 1 : toPageEnd / sizeof(Char);
        SIZE_T read = 0;
        if (!::ReadProcessMemory(process, reinterpret_cast<const void*>(cursor), chunk, count * sizeof(Char), &read) ||
            read < sizeof(Char)) {
            break;
        }
        const size_t got = read / sizeof(Char);
        for (size_t i = 0; i < got; ++i) {
            if (chunk[i] == Char(0)) {
                text.append(chunk, i);
                return text;
            }
        }
        text.append(chunk, got);
        cursor += got * sizeof(Char);
    }
    return text;
}

std::wstring AnsiToWide(const std::string& narrow)
{
    if (narrow.empty()) {
        return {};
    }
    const int length = ::MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        ::MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), wide.data(), length);
    }
    return wide;
}

std::string Describe(const char* what, DWORD error)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s error:%u.", what, static_cast<unsigned>(error));
    return text;
}

std::wstring ClassName(HWND window)
{
    wchar_t name[256] = {};
    const int length = ::GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring Caption(HWND window)
{
    wchar_t caption[512] = {};
    const int length = ::GetWindowTextW(window, caption, 512);
    return std::wstring(caption, length > 0 ? static_cast<size_t>(length) : 0);
}

// The text of a control of another process, asked from the control itself.
std::wstring ControlText(HWND control)
{
    DWORD_PTR length = 0;
    if (::SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length) && length > 0) {
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        DWORD_PTR copied = 0;
        if (::SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                                  SMTO_ABORTIFHUNG, 2000, &copied)) {
            text.resize(static_cast<size_t>(copied));
            return text;
        }
    }
    return Caption(control);
}

// The message text of a message box: the static control with the id 0xFFFF that Windows gives
// it, or else the first static control with text (the icon is a static control without text).
std::wstring MessageBoxText(HWND box)
{
    if (HWND text = ::GetDlgItem(box, 0xFFFF); text != nullptr) {
        return ControlText(text);
    }
    struct Search {
        HWND found = nullptr;
    } search;
    ::EnumChildWindows(
        box,
        [](HWND child, LPARAM context) -> BOOL {
            auto* state = reinterpret_cast<Search*>(context);
            if (_wcsicmp(ClassName(child).c_str(), L"Static") == 0 && ::GetWindowTextLengthW(child) > 0) {
                state->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr ? ControlText(search.found) : std::wstring();
}

// The debugger's side of one run.
class DebugSession {
public:
    DebugSession(const DebugCaptureOptions& options, DebugCaptureResult& result)
        : mOptions(options), mResult(result), mWaitEx(LookUpWaitForDebugEventEx())
    {
    }

    void Run()
    {
        if (!Start()) {
            return;
        }
        const ULONGLONG started = ::GetTickCount64();
        ULONGLONG deadline = started + mOptions.timeLimitMilliseconds;
        ULONGLONG lastScan = 0;
        bool killed = false;
        while (!mResult.exited) {
            PumpSentMessages();
            ULONGLONG now = ::GetTickCount64();
            if (now >= deadline) {
                if (killed) {
                    mResult.failure = "The program did not end after it was killed.";
                    return;
                }
                ::TerminateProcess(mProcess.get(), kDebugCaptureKilledExitCode);
                mResult.timedOut = true;
                killed = true;
                deadline = now + kDrainMilliseconds;
            }
            DEBUG_EVENT event{};
            const BOOL received = mWaitEx != nullptr ? mWaitEx(&event, kWaitSliceMilliseconds)
                                                     : ::WaitForDebugEvent(&event, kWaitSliceMilliseconds);
            if (received) {
                ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, Handle(event));
            } else if (::GetLastError() != ERROR_SEM_TIMEOUT) {
                ::Sleep(kWaitSliceMilliseconds);
            }
            now = ::GetTickCount64();
            if (!killed && !mResult.exited && now - lastScan >= kBoxScanMilliseconds) {
                lastScan = now;
                ConfirmMessageBoxes();
            }
        }
        ::WaitForSingleObject(mProcess.get(), 5000);
    }

private:
    bool Start()
    {
        std::wstring commandLine = L"\"" + mOptions.program + L"\"";
        if (!mOptions.arguments.empty()) {
            commandLine += L" " + mOptions.arguments;
        }
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        const bool handsError = mOptions.standardError != nullptr;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdError = mOptions.standardError;
        PROCESS_INFORMATION information{};
        if (!::CreateProcessW(mOptions.program.c_str(), commandLine.data(), nullptr, nullptr, handsError ? TRUE : FALSE,
                              DEBUG_ONLY_THIS_PROCESS | CREATE_NO_WINDOW, nullptr,
                              mOptions.workingDirectory.empty() ? nullptr : mOptions.workingDirectory.c_str(), &startup,
                              &information)) {
            mResult.failure = Describe("CreateProcessW", ::GetLastError());
            return false;
        }
        mProcess.reset(information.hProcess);
        const TalvexBasic::UniqueHandle thread(information.hThread);
        mResult.processId = information.dwProcessId;
        return true;
    }

    static void PumpSentMessages() noexcept
    {
        // Lets messages sent to windows of this thread through while it waits for the debuggee.
        MSG message{};
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    }

    DWORD Handle(const DEBUG_EVENT& event)
    {
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT: {
            // The image file handles are the debugger's to close; the thread handles are not.
            const TalvexBasic::UniqueHandle image(event.u.CreateProcessInfo.hFile);
            mThreads[event.dwThreadId] = event.u.CreateProcessInfo.hThread;
            return DBG_CONTINUE;
        }
        case CREATE_THREAD_DEBUG_EVENT:
            mThreads[event.dwThreadId] = event.u.CreateThread.hThread;
            return DBG_CONTINUE;
        case EXIT_THREAD_DEBUG_EVENT:
            mThreads.erase(event.dwThreadId);
            return DBG_CONTINUE;
        case LOAD_DLL_DEBUG_EVENT: {
            const TalvexBasic::UniqueHandle image(event.u.LoadDll.hFile);
            return DBG_CONTINUE;
        }
        case OUTPUT_DEBUG_STRING_EVENT:
            RecordDebugString(event.u.DebugString);
            return DBG_CONTINUE;
        case EXCEPTION_DEBUG_EVENT:
            return HandleException(event);
        case EXIT_PROCESS_DEBUG_EVENT:
            if (event.dwProcessId == mResult.processId) {
                mResult.exited = true;
                mResult.exitCode = event.u.ExitProcess.dwExitCode;
            }
            return DBG_CONTINUE;
        default:
            return DBG_CONTINUE;
        }
    }

    void RecordDebugString(const OUTPUT_DEBUG_STRING_INFO& info)
    {
        DebugLine line;
        if (info.fUnicode) {
            line.wide = true;
            line.text = ReadRemoteString<wchar_t>(mProcess.get(), info.lpDebugStringData);
        } else {
            line.narrow = ReadRemoteString<char>(mProcess.get(), info.lpDebugStringData);
            line.text = AnsiToWide(line.narrow);
        }
        mResult.lines.push_back(std::move(line));
    }

    DWORD HandleException(const DEBUG_EVENT& event)
    {
        const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
        const ULONG_PTR address = reinterpret_cast<ULONG_PTR>(record.ExceptionAddress);
        if (record.ExceptionCode == EXCEPTION_BREAKPOINT) {
            if (!mSawLoaderBreakpoint) {
                // The loader's breakpoint: every static import is mapped now.
                mSawLoaderBreakpoint = true;
                InstallWideLineBreakpoint();
                return DBG_CONTINUE;
            }
            if (mWideBreakpoint != 0 && (address == mWideBreakpoint || address == mWideBreakpoint + 1) &&
                CompleteWideLine(event.dwThreadId)) {
                return DBG_CONTINUE;
            }
        }
        if ((record.ExceptionCode == kPrintExceptionNarrow || record.ExceptionCode == kPrintExceptionWide) &&
            record.NumberParameters >= 2) {
            // Systems that hand the print exceptions themselves to the debugger.
            DebugLine line;
            line.wide = record.ExceptionCode == kPrintExceptionWide;
            const auto* text = reinterpret_cast<const void*>(record.ExceptionInformation[1]);
            if (line.wide) {
                line.text = ReadRemoteString<wchar_t>(mProcess.get(), text);
            } else {
                line.narrow = ReadRemoteString<char>(mProcess.get(), text);
                line.text = AnsiToWide(line.narrow);
            }
            mResult.lines.push_back(std::move(line));
            return DBG_CONTINUE;
        }
        if (event.u.Exception.dwFirstChance) {
            mResult.exceptionCodes.push_back(record.ExceptionCode);
        } else {
            mResult.unhandledException = true;
        }
        // The program's own handlers decide, exactly as without a debugger.
        return DBG_EXCEPTION_NOT_HANDLED;
    }

    void InstallWideLineBreakpoint()
    {
        if (mWaitEx != nullptr) {
            mResult.wideLinesExact = true; // unicode events arrive as they are
            return;
        }
#if defined(_M_X64) || defined(__x86_64__)
        const HMODULE kernelBase = ::GetModuleHandleW(L"kernelbase.dll");
        const auto* entry = kernelBase == nullptr ? nullptr
                                                  : reinterpret_cast<const unsigned char*>(reinterpret_cast<void*>(
                                                        ::GetProcAddress(kernelBase, "OutputDebugStringW")));
        if (entry == nullptr) {
            return;
        }
        unsigned char remote[16] = {};
        SIZE_T read = 0;
        if (!::ReadProcessMemory(mProcess.get(), entry, remote, sizeof remote, &read) || read != sizeof remote ||
            std::memcmp(remote, entry, sizeof remote) != 0) {
            return;
        }
        DWORD protection = 0;
        void* target = const_cast<unsigned char*>(entry);
        if (!::VirtualProtectEx(mProcess.get(), target, 1, PAGE_EXECUTE_READWRITE, &protection)) {
            return;
        }
        const unsigned char breakpoint = 0xCC;
        SIZE_T written = 0;
        const bool placed = ::WriteProcessMemory(mProcess.get(), target, &breakpoint, 1, &written) && written == 1;
        ::VirtualProtectEx(mProcess.get(), target, 1, protection, &protection);
        ::FlushInstructionCache(mProcess.get(), target, 1);
        if (placed) {
            mWideBreakpoint = reinterpret_cast<ULONG_PTR>(entry);
            mResult.wideLinesExact = true;
        }
#endif
    }

    // At the entry of OutputDebugStringW: records the text its first argument points to and
    // returns to the caller as the routine would.
    bool CompleteWideLine(DWORD threadId)
    {
#if defined(_M_X64) || defined(__x86_64__)
        const auto thread = mThreads.find(threadId);
        if (thread == mThreads.end()) {
            return false;
        }
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
        if (!::GetThreadContext(thread->second, &context)) {
            return false;
        }
        ULONG_PTR returnAddress = 0;
        SIZE_T read = 0;
        if (!::ReadProcessMemory(mProcess.get(), reinterpret_cast<const void*>(context.Rsp), &returnAddress,
                                 sizeof returnAddress, &read) ||
            read != sizeof returnAddress) {
            return false;
        }
        if (context.Rcx != 0) {
            DebugLine line;
            line.wide = true;
            line.text = ReadRemoteString<wchar_t>(mProcess.get(), reinterpret_cast<const void*>(context.Rcx));
            mResult.lines.push_back(std::move(line));
        }
        context.Rip = returnAddress;
        context.Rsp += sizeof returnAddress;
        return ::SetThreadContext(thread->second, &context) != FALSE;
#else
        (void)threadId;
        return false;
#endif
    }

    // Finds the debuggee's completion boxes, records their text and presses OK on each.
    void ConfirmMessageBoxes()
    {
        struct Search {
            DebugSession* session;
            std::vector<HWND> boxes;
        } search{this, {}};
        ::EnumWindows(
            [](HWND window, LPARAM context) -> BOOL {
                auto* state = reinterpret_cast<Search*>(context);
                DWORD processId = 0;
                ::GetWindowThreadProcessId(window, &processId);
                if (processId != state->session->mResult.processId || !::IsWindowVisible(window) ||
                    ClassName(window) != L"#32770") {
                    return TRUE;
                }
                if (state->session->mDialogs.insert(window).second) {
                    state->session->mResult.dialogCaptions.push_back(Caption(window));
                }
                if (state->session->mConfirmed.count(window) == 0 &&
                    Caption(window) == state->session->mOptions.boxCaption) {
                    state->boxes.push_back(window);
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        for (HWND box : search.boxes) {
            const std::wstring text = MessageBoxText(box);
            mResult.messageBoxTexts.push_back(text);
            if (mOptions.onMessageBox) {
                mOptions.onMessageBox(box, text);
            }
            // What a click on the OK button sends to its dialog.
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
            mConfirmed.insert(box);
        }
    }

    const DebugCaptureOptions& mOptions;
    DebugCaptureResult& mResult;
    const WaitForDebugEventExRoutine mWaitEx;
    TalvexBasic::UniqueHandle mProcess;
    std::map<DWORD, HANDLE> mThreads; // owned by the system, closed with the exit events
    std::set<HWND> mConfirmed;
    std::set<HWND> mDialogs; // every dialog seen
    bool mSawLoaderBreakpoint = false;
    ULONG_PTR mWideBreakpoint = 0;
};

} // namespace

std::vector<const DebugLine*> DebugCaptureResult::LinesContaining(std::wstring_view part) const
{
    std::vector<const DebugLine*> found;
    for (const DebugLine& line : lines) {
        if (std::wstring_view(line.text).find(part) != std::wstring_view::npos) {
            found.push_back(&line);
        }
    }
    return found;
}

DebugCaptureResult RunWithDebugCapture(const DebugCaptureOptions& options)
{
    DebugCaptureResult result;
    DebugSession session(options, result);
    session.Run();
    return result;
}

} // namespace TestSupport
