#include "support/FixtureProcess.h"

#include "support/TestPaths.h"
#include "system/HResult.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace TestSupport {
namespace {

constexpr DWORD kStartTimeoutMilliseconds = 30000;
constexpr DWORD kAnswerTimeoutMilliseconds = 20000;
constexpr DWORD kQuitTimeoutMilliseconds = 10000;
// Room for many answers: Wine completes a pipe write only once it fits into the pipe's buffer.
constexpr DWORD kPipeBufferBytes = 64 * 1024;

std::string Describe(const char* what, DWORD error)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s error:%u.", what, static_cast<unsigned>(error));
    return text;
}

// Makes the child's ends of the pipes inheritable only for the moment of its start, so that a
// fixture started at the same time on another thread never inherits them (an inherited write end
// would keep the pipe open after its owner ended).
std::mutex gInheritanceLock;

bool ParseWindowAnswer(const std::string& answer, FixtureWindow& window)
{
    unsigned long long handle = 0;
    unsigned processId = 0;
    unsigned threadId = 0;
    if (std::sscanf(answer.c_str(), "window %llx %u %u", &handle, &processId, &threadId) != 3 || handle == 0) {
        return false;
    }
    window.handle = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle));
    window.processId = processId;
    window.threadId = threadId;
    return true;
}

} // namespace

std::wstring DesktopFixturePath()
{
    return ProgramDirectory() + L"\\DesktopFixture.exe";
}

FixtureProcess::~FixtureProcess()
{
    End();
}

bool FixtureProcess::Start()
{
    return StartFrom(DesktopFixturePath());
}

bool FixtureProcess::StartFrom(const std::wstring& program)
{
    return StartWith(program, L"\"" + program + L"\"", false);
}

bool FixtureProcess::StartThroughLauncher(Launcher launcher)
{
    const std::wstring program = DesktopFixturePath();
    return StartWith(program,
                     L"\"" + program + L"\" " +
                         (launcher == Launcher::Stays ? FixtureLaunch::kStayArgument : FixtureLaunch::kLeaveArgument),
                     true);
}

// "launched <pid>": from then on the object holds the launched fixture, not its launcher.
bool FixtureProcess::TakeLaunchedProcess(const std::string& line)
{
    unsigned processId = 0;
    if (std::sscanf(line.c_str(), "launched %u", &processId) != 1) {
        mFailure = "the launcher answered \"" + line + "\". " + mFailure;
        return false;
    }
    TalvexBasic::UniqueHandle launched(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, processId));
    if (!launched) {
        mFailure = Describe("OpenProcess(launched fixture)", ::GetLastError());
        return false;
    }
    mLauncherProcessId = mProcessId;
    mProcessId = processId;
    mProcess = std::move(launched);
    return true;
}

bool FixtureProcess::StartWith(const std::wstring& program, std::wstring commandLine, bool launched)
{
    if (mProcess) {
        return true;
    }
    SECURITY_ATTRIBUTES plain{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    HANDLE commandsRead = nullptr;
    HANDLE commandsWrite = nullptr;
    HANDLE answersRead = nullptr;
    HANDLE answersWrite = nullptr;
    if (!::CreatePipe(&commandsRead, &commandsWrite, &plain, kPipeBufferBytes)) {
        mFailure = Describe("CreatePipe", ::GetLastError());
        return false;
    }
    TalvexBasic::UniqueHandle childInput(commandsRead);
    mCommands.reset(commandsWrite);
    if (!::CreatePipe(&answersRead, &answersWrite, &plain, kPipeBufferBytes)) {
        mFailure = Describe("CreatePipe", ::GetLastError());
        return false;
    }
    TalvexBasic::UniqueHandle childOutput(answersWrite);
    mAnswers.reset(answersRead);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput.get();
    startup.hStdOutput = childOutput.get();
    startup.hStdError = nullptr;
    PROCESS_INFORMATION information{};
    {
        const std::lock_guard<std::mutex> lock(gInheritanceLock);
        ::SetHandleInformation(childInput.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        ::SetHandleInformation(childOutput.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        const BOOL created = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                              CREATE_NO_WINDOW, nullptr, nullptr, &startup, &information);
        const DWORD error = ::GetLastError();
        ::SetHandleInformation(childInput.get(), HANDLE_FLAG_INHERIT, 0);
        ::SetHandleInformation(childOutput.get(), HANDLE_FLAG_INHERIT, 0);
        if (!created) {
            mFailure = Describe("CreateProcessW(DesktopFixture.exe)", error);
            return false;
        }
    }
    mProcess.reset(information.hProcess);
    const TalvexBasic::UniqueHandle thread(information.hThread);
    mProcessId = information.dwProcessId;
    // The fixture greets once it is ready; until then Wine may still be setting the process up.
    // A launcher's line and its fixture's greeting share the pipe, in either order.
    std::string greeting;
    if (launched) {
        std::string first;
        if (!ReadAnswer(first, kStartTimeoutMilliseconds) || !ReadAnswer(greeting, kStartTimeoutMilliseconds)) {
            mFailure = "the launcher or its fixture did not answer. " + mFailure;
            End();
            return false;
        }
        if (first == "ready") {
            std::swap(first, greeting);
        }
        if (!TakeLaunchedProcess(first)) {
            End();
            return false;
        }
    } else if (!ReadAnswer(greeting, kStartTimeoutMilliseconds)) {
        greeting.clear();
    }
    if (greeting != "ready") {
        mFailure = "DesktopFixture.exe did not greet: \"" + greeting + "\". " + mFailure;
        End();
        return false;
    }
    return true;
}

FixtureWindow FixtureProcess::Open(const FixtureWindowSpec& layout)
{
    return OpenWith("open", layout);
}

FixtureWindow FixtureProcess::OpenHung(const FixtureWindowSpec& layout)
{
    return OpenWith("hung", layout);
}

FixtureWindow FixtureProcess::OpenWith(const char* verb, const FixtureWindowSpec& layout, const std::string& more)
{
    char numbers[200];
    std::snprintf(numbers, sizeof numbers, "%s %ld %ld %ld %ld %08lX %08lX %02X%02X%02X ", verb,
                  static_cast<long>(layout.rect.left), static_cast<long>(layout.rect.top),
                  static_cast<long>(layout.rect.right), static_cast<long>(layout.rect.bottom),
                  static_cast<unsigned long>(layout.style), static_cast<unsigned long>(layout.exStyle),
                  static_cast<unsigned>(GetRValue(layout.fill)), static_cast<unsigned>(GetGValue(layout.fill)),
                  static_cast<unsigned>(GetBValue(layout.fill)));
    return WindowOf(numbers + FixtureProtocol::EncodeText(layout.className) + " " +
                    FixtureProtocol::EncodeText(layout.caption) + more);
}

FixtureWindow FixtureProcess::WindowOf(const std::string& command)
{
    FixtureWindow window;
    std::string answer;
    if (!Transact(command, answer)) {
        window.failure = mFailure;
    } else if (!ParseWindowAnswer(answer, window)) {
        window = FixtureWindow{};
        window.failure = answer;
    }
    return window;
}

FixtureWindow FixtureProcess::Flash(const FixtureWindowSpec& layout, unsigned showMilliseconds, unsigned showings,
                                    unsigned gapMilliseconds)
{
    char timing[64];
    std::snprintf(timing, sizeof timing, " %u %u %u", showMilliseconds, showings, gapMilliseconds);
    return OpenWith("flash", layout, timing);
}

FixtureWindow FixtureProcess::ShowMessageBox(const std::wstring& text, unsigned milliseconds)
{
    return WindowOf("box " + std::to_string(milliseconds) + " " + FixtureProtocol::EncodeText(text));
}

bool FixtureProcess::Close(HWND window)
{
    char command[64];
    std::snprintf(command, sizeof command, "close %016llX", TalvexBasic::PointerBits(window));
    std::string answer;
    return Transact(command, answer) && answer == "closed";
}

bool FixtureProcess::Quit(DWORD timeoutMilliseconds)
{
    if (!mProcess) {
        return false;
    }
    std::string answer;
    const bool answered = Transact("quit", answer) && answer == "bye";
    mCommands.reset();
    const bool ended = ::WaitForSingleObject(mProcess.get(), timeoutMilliseconds) == WAIT_OBJECT_0;
    DWORD exitCode = 1;
    if (ended) {
        ::GetExitCodeProcess(mProcess.get(), &exitCode);
    }
    End();
    return answered && ended && exitCode == 0;
}

bool FixtureProcess::Transact(const std::string& command, std::string& answer)
{
    if (!mProcess) {
        mFailure = "DesktopFixture.exe is not running.";
        return false;
    }
    const std::string line = command + "\n";
    DWORD written = 0;
    if (!::WriteFile(mCommands.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
        written != line.size()) {
        mFailure = Describe("WriteFile(DesktopFixture.exe input)", ::GetLastError());
        return false;
    }
    return ReadAnswer(answer, kAnswerTimeoutMilliseconds);
}

// Anonymous pipes have no read timeout, so the pipe is polled; the fixture's end is noticed too.
bool FixtureProcess::ReadAnswer(std::string& answer, DWORD timeoutMilliseconds)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMilliseconds;
    for (;;) {
        const size_t end = mPending.find('\n');
        if (end != std::string::npos) {
            answer = mPending.substr(0, end);
            mPending.erase(0, end + 1);
            if (!answer.empty() && answer.back() == '\r') {
                answer.pop_back();
            }
            return true;
        }
        DWORD available = 0;
        if (!::PeekNamedPipe(mAnswers.get(), nullptr, 0, nullptr, &available, nullptr)) {
            mFailure = Describe("DesktopFixture.exe ended; PeekNamedPipe", ::GetLastError());
            return false;
        }
        if (available > 0) {
            char chunk[4096];
            DWORD read = 0;
            if (!::ReadFile(mAnswers.get(), chunk, available < sizeof chunk ? available : sizeof chunk, &read,
                            nullptr)) {
                mFailure = Describe("ReadFile(DesktopFixture.exe output)", ::GetLastError());
                return false;
            }
            mPending.append(chunk, read);
            continue;
        }
        if (::GetTickCount64() >= deadline) {
            mFailure = "DesktopFixture.exe did not answer in time.";
            return false;
        }
        ::Sleep(2);
    }
}

void FixtureProcess::End() noexcept
{
    if (mProcess && ::WaitForSingleObject(mProcess.get(), 0) != WAIT_OBJECT_0) {
        // Closing its input is the fixture's other signal to quit.
        static const char quit[] = "quit\n";
        DWORD written = 0;
        ::WriteFile(mCommands.get(), quit, sizeof quit - 1, &written, nullptr);
        mCommands.reset();
        // Its last answers are read away meanwhile, so that no write of the fixture can block.
        const ULONGLONG deadline = ::GetTickCount64() + kQuitTimeoutMilliseconds;
        while (::WaitForSingleObject(mProcess.get(), 5) == WAIT_TIMEOUT) {
            DWORD available = 0;
            char chunk[4096];
            DWORD read = 0;
            if (::PeekNamedPipe(mAnswers.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
                ::ReadFile(mAnswers.get(), chunk, sizeof chunk < available ? sizeof chunk : available, &read, nullptr);
            }
            if (::GetTickCount64() >= deadline) {
                ::TerminateProcess(mProcess.get(), 1);
                ::WaitForSingleObject(mProcess.get(), 5000);
                break;
            }
        }
    }
    mProcess.reset();
    mCommands.reset();
    mAnswers.reset();
    mPending.clear();
}

namespace FixtureProtocol {

std::string EncodeText(std::wstring_view text)
{
    std::string token = "=";
    for (const wchar_t unit : text) {
        if (unit == L'\\') {
            token += "\\\\";
        } else if (unit == L' ') {
            token += "\\s";
        } else if (unit > 0x20 && unit < 0x7F) {
            token += static_cast<char>(unit);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
            token += escaped;
        }
    }
    return token;
}

bool DecodeText(std::string_view token, std::wstring& text)
{
    if (token.empty() || token.front() != '=') {
        return false;
    }
    std::wstring decoded;
    for (size_t i = 1; i < token.size(); ++i) {
        const char c = token[i];
        if (c != '\\') {
            decoded += static_cast<wchar_t>(static_cast<unsigned char>(c));
            continue;
        }
        if (++i >= token.size()) {
            return false;
        }
        if (token[i] == '\\') {
            decoded += L'\\';
        } else if (token[i] == 's') {
            decoded += L' ';
        } else if (token[i] == 'u' && i + 4 < token.size()) {
            const std::string digits(token.substr(i + 1, 4));
            char* end = nullptr;
            const unsigned long unit = std::strtoul(digits.c_str(), &end, 16);
            if (end != digits.c_str() + 4) {
                return false;
            }
            decoded += static_cast<wchar_t>(unit);
            i += 4;
        } else {
            return false;
        }
    }
    text = std::move(decoded);
    return true;
}

} // namespace FixtureProtocol

namespace FixtureLaunch {

std::wstring LaunchedCommandLine(const std::wstring& program)
{
    return L"\"" + program + L"\"" + kLaunchedArguments;
}

} // namespace FixtureLaunch

namespace FixtureDebugRun {

std::string NarrowLongLine()
{
    return std::string(kLongLineLength, 'n') + "\r\n";
}

std::wstring WideLongLine()
{
    std::wstring line;
    line.reserve(kLongLineLength + 2);
    for (size_t i = 0; i < kLongLineLength; ++i) {
        line += (i % 2 == 0) ? L'\x6F22' : L'w';
    }
    return line + L"\r\n";
}

} // namespace FixtureDebugRun

} // namespace TestSupport
