#pragma once

#include "support/FixtureWindows.h"

#include "system/UniqueResource.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace TestSupport {

// Full path of DesktopFixture.exe, next to the running test program.
[[nodiscard]] std::wstring DesktopFixturePath();

// A DesktopFixture.exe process that opens fixture windows on request. Several may run at once.
// The process ends with the object: it is asked to quit, and killed if it does not end in time.
// A quitting fixture ends at once with all its windows (hung ones included) instead of
// destroying them one by one.
class FixtureProcess {
public:
    FixtureProcess() = default;
    ~FixtureProcess();
    FixtureProcess(const FixtureProcess&) = delete;
    FixtureProcess& operator=(const FixtureProcess&) = delete;

    // Starts the process; false (with Failure()) when it could not be started or does not answer.
    [[nodiscard]] bool Start();
    // The same with a copy of DesktopFixture.exe elsewhere, for images with names of their own.
    [[nodiscard]] bool StartFrom(const std::wstring& program);
    // Starts it through a launcher process (DesktopFixture.exe itself) that gives it the command
    // line FixtureLaunch::LaunchedCommandLine and then waits for its end or leaves at once. The
    // object then stands for the launched fixture.
    enum class Launcher { Stays, Leaves };
    [[nodiscard]] bool StartThroughLauncher(Launcher launcher);

    [[nodiscard]] FixtureWindow Open(const FixtureWindowSpec& layout);
    [[nodiscard]] FixtureWindow OpenHung(const FixtureWindowSpec& layout);
    // A window made hidden (the layout's WS_VISIBLE is ignored) on a thread of its own, which
    // shows it `showings` times for showMilliseconds each, hidden for gapMilliseconds in between,
    // and then destroys it. Returns once the window exists, before it first shows.
    [[nodiscard]] FixtureWindow Flash(const FixtureWindowSpec& layout, unsigned showMilliseconds,
                                      unsigned showings = 1, unsigned gapMilliseconds = 0);
    // A message box with this text (caption "Fixture box") on a thread of its own, closed after
    // the time; returns once it shows.
    [[nodiscard]] FixtureWindow ShowMessageBox(const std::wstring& text, unsigned milliseconds);
    [[nodiscard]] bool Close(HWND window);

    // Asks the process to end and waits; true when it ended by itself with exit code 0.
    [[nodiscard]] bool Quit(DWORD timeoutMilliseconds = 10000);

    [[nodiscard]] DWORD ProcessId() const noexcept { return mProcessId; }
    [[nodiscard]] DWORD LauncherProcessId() const noexcept { return mLauncherProcessId; }
    [[nodiscard]] const std::string& Failure() const noexcept { return mFailure; }

private:
    [[nodiscard]] bool StartWith(const std::wstring& program, std::wstring commandLine, bool launched);
    [[nodiscard]] bool TakeLaunchedProcess(const std::string& line);
    [[nodiscard]] bool Transact(const std::string& command, std::string& answer);
    [[nodiscard]] bool ReadAnswer(std::string& answer, DWORD timeoutMilliseconds);
    [[nodiscard]] FixtureWindow OpenWith(const char* verb, const FixtureWindowSpec& layout,
                                         const std::string& more = {});
    [[nodiscard]] FixtureWindow WindowOf(const std::string& command);
    void End() noexcept;

    TalvexBasic::UniqueHandle mProcess;
    TalvexBasic::UniqueHandle mCommands; // write end of the fixture's standard input
    TalvexBasic::UniqueHandle mAnswers;  // read end of its standard output
    std::string mPending;                // answer bytes read beyond the last full line
    DWORD mProcessId = 0;
    DWORD mLauncherProcessId = 0;
    std::string mFailure;
};

// The line protocol between FixtureProcess and DesktopFixture.exe (one command per line, one
// answer line per command, ASCII):
//   open <left> <top> <right> <bottom> <styleHex> <exStyleHex> <rrggbbHex> <class> <caption>
//   hung <same as open>             -> window <HWND as 16 hex digits> <pid> <tid> | error <why>
//   flash <same as open> <showMs> <showings> <gapMs>  -> window ... (at once, still hidden)
//   box <milliseconds> <text>       -> window ... (once the box shows)
//   close <HWND as 16 hex digits>   -> closed | error <why>
//   quit                            -> bye, and the process ends
// Texts travel as one token: "=" followed by the text, where a backslash is "\\", a blank "\s"
// and every UTF-16 unit outside the printable ASCII range "\uXXXX", so that any caption (line
// breaks, CJK, lone surrogates) arrives exactly.
namespace FixtureProtocol {

[[nodiscard]] std::string EncodeText(std::wstring_view text);
[[nodiscard]] bool DecodeText(std::string_view token, std::wstring& text);

} // namespace FixtureProtocol

// DesktopFixture.exe started with kEmitArgument sends these debug-output lines in this order,
// shows one message box (caption "Morvane", kBoxText) and exits with kExitCode. In between it
// raises the exception kProgramException and handles it itself in a vectored handler; the line
// after it tells whether its handler saw it. Started with kHangArgument it sends kHangLine and
// then never ends.
// DesktopFixture.exe started with kStayArgument or kLeaveArgument starts another
// DesktopFixture.exe with LaunchedCommandLine (its standard handles passed on), answers
// "launched <pid>" on its standard output, and then waits for that process's end or ends at once.
namespace FixtureLaunch {

constexpr wchar_t kStayArgument[] = L"--launch-and-stay";
constexpr wchar_t kLeaveArgument[] = L"--launch-and-leave";
// Quotes, blanks, Greek and CJK, markup that a page must show as text, and length enough for a
// page to shorten it.
constexpr wchar_t kLaunchedArguments[] = L" --launched \"a quoted argument\" two  blanks "
                                         L"\x03A9\x03BC\x03AD\x03B3\x03B1 \x6F22\x5B57 "
                                         L"<img src=x onerror=window.pwned=2> "
                                         L"--settings=\"C:\\Program Files\\Fixture\\settings of the launched fixture.ini\" "
                                         L"--log-folder=\"C:\\Users\\Fixture User\\AppData\\Local\\Temp\\fixture logs\" "
                                         L"--more-arguments one two three four five six seven eight nine ten eleven twelve "
                                         L"--last-argument-marker";

// The program's path in quotes, then kLaunchedArguments.
[[nodiscard]] std::wstring LaunchedCommandLine(const std::wstring& program);

} // namespace FixtureLaunch

namespace FixtureDebugRun {

constexpr wchar_t kEmitArgument[] = L"--emit-debug-lines";
constexpr wchar_t kHangArgument[] = L"--hang";
constexpr DWORD kExitCode = 42;
constexpr DWORD kProgramException = 0xE0F1C7ED;
constexpr size_t kLongLineLength = 70000; // beyond the 16-bit length of OUTPUT_DEBUG_STRING_INFO

constexpr char kNarrowPlain[] = "narrow plain line\r\n";
constexpr char kNarrowAnsi[] = "narrow \xE9\xFC\x80 line\r\n"; // e acute, u diaeresis, euro sign (1252)
constexpr wchar_t kWideCjk[] = L"wide \x6F22\x5B57 \x00E9 \x20AC line\r\n";
constexpr char kNarrowWithoutLineEnd[] = "no line end";
constexpr char kHandledLine[] = "exception handled by the program: yes\r\n";
constexpr char kNotHandledLine[] = "exception handled by the program: no\r\n";
constexpr char kAfterBoxFormat[] = "message box returned %d\r\n";
constexpr wchar_t kBoxCaption[] = L"Morvane";
constexpr wchar_t kBoxText[] = L"Success Save All Window To \r\n\"C:\\Fixture\\\x6F22\\Output\".";
constexpr char kHangLine[] = "hanging now\r\n";

// 'n' repeated, then "\r\n"; and the same for the wide long line with CJK characters.
[[nodiscard]] std::string NarrowLongLine();
[[nodiscard]] std::wstring WideLongLine();

} // namespace FixtureDebugRun

} // namespace TestSupport
