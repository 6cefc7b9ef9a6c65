// The watch's icon on a thread of its own, against Wine's real shell: the shell's refusals and its
// restart come through the import slot of Shell_NotifyIconW, which passes every other call on.

#include "record/RunJournal.h"
#include "record/RunRecord.h"
#include "support/ImportPatch.h"
#include "support/TestPaths.h"
#include "watch/TrayIcon.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <shellapi.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

TEST_SUPPORT_IMPORT_SLOT(Shell_NotifyIconW);
TEST_SUPPORT_IMPORT_SLOT(ShellExecuteW);

namespace {

using TestSupport::ImportPatch;

constexpr DWORD kPollLimitMilliseconds = 30000;

struct ShellCall {
    DWORD message;
    std::wstring tip; // when the call sets it
    bool done = false;
    bool result = false;
};

// Wine's shell, refusing the next attempts when told: an attempt's NIM_ADD and the NIM_MODIFY
// that may follow it.
class Shell {
public:
    static BOOL WINAPI Call(DWORD message, PNOTIFYICONDATAW data)
    {
        size_t index = 0;
        bool refuse = false;
        {
            const std::lock_guard<std::mutex> hold(sLock);
            index = sCalls.size();
            sCalls.push_back({message, (data->uFlags & NIF_TIP) != 0 ? data->szTip : L""});
            if (message == NIM_ADD && sRefusals > 0) {
                --sRefusals;
                refuse = sRefuseModify = true;
            } else if (message == NIM_MODIFY && sRefuseModify) {
                sRefuseModify = false;
                refuse = true;
            }
        }
        const bool result = !refuse && sReal(message, data) != FALSE;
        const std::lock_guard<std::mutex> hold(sLock);
        sCalls[index].done = true;
        sCalls[index].result = result;
        return result ? TRUE : FALSE;
    }

    static void Reset(unsigned refusals)
    {
        const std::lock_guard<std::mutex> hold(sLock);
        sCalls.clear();
        sRefusals = refusals;
        sRefuseModify = false;
    }
    static void Refuse(unsigned refusals)
    {
        const std::lock_guard<std::mutex> hold(sLock);
        sRefusals = refusals;
    }
    static std::vector<ShellCall> Calls()
    {
        const std::lock_guard<std::mutex> hold(sLock);
        return sCalls;
    }
    // Waits until calls[from...] hold one that matches.
    template <typename Match> static bool WaitFor(size_t from, Match match)
    {
        for (DWORD waited = 0; waited < kPollLimitMilliseconds; waited += 50) {
            const std::vector<ShellCall> calls = Calls();
            for (size_t index = from; index < calls.size(); ++index) {
                if (calls[index].done && match(calls[index])) {
                    return true;
                }
            }
            ::Sleep(50);
        }
        return false;
    }

    static inline decltype(&::Shell_NotifyIconW) sReal = nullptr;

private:
    static inline std::mutex sLock;
    static inline std::vector<ShellCall> sCalls;
    static inline unsigned sRefusals = 0;
    static inline bool sRefuseModify = false;
};

bool AddedIcon(const ShellCall& call)
{
    return call.message == NIM_ADD && call.result;
}

// The calls' messages and results, as "add:0 modify:0 add:1".
std::string Story(const std::vector<ShellCall>& calls, size_t from = 0)
{
    std::string story;
    for (size_t index = from; index < calls.size(); ++index) {
        const DWORD message = calls[index].message;
        story += story.empty() ? "" : " ";
        story += message == NIM_ADD ? "add" : message == NIM_MODIFY ? "modify" : message == NIM_DELETE ? "delete" : "?";
        story += calls[index].done ? (calls[index].result ? ":1" : ":0") : ":-";
    }
    return story;
}

std::set<HWND> IconWindowsOfThisProcess()
{
    std::set<HWND> windows;
    HWND window = nullptr;
    while ((window = ::FindWindowExW(nullptr, window, Morvane::kTrayWindowClass, nullptr)) != nullptr) {
        DWORD processId = 0;
        ::GetWindowThreadProcessId(window, &processId);
        if (processId == ::GetCurrentProcessId()) {
            windows.insert(window);
        }
    }
    return windows;
}

// The shell's slot swapped for the test, and the icon shown; its window found as the one new.
class ShownIcon {
public:
    explicit ShownIcon(unsigned refusals, const std::wstring& pagePath = L"C:\\nowhere\\Morvane.Run.html")
        : mPatch(__imp_Shell_NotifyIconW, &Shell::Call), icon(pagePath)
    {
        Shell::sReal = mPatch.Original();
        Shell::Reset(refusals);
        const std::set<HWND> before = IconWindowsOfThisProcess();
        icon.Show();
        for (const HWND found : IconWindowsOfThisProcess()) {
            if (before.count(found) == 0) {
                window = found;
            }
        }
    }

    // The shell forgets the icon, as a shell that ends does.
    void ShellLosesIcon() const
    {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof data;
        data.hWnd = window;
        data.uID = 1;
        (void)Shell::sReal(NIM_DELETE, &data);
    }
    void SendTaskbarCreated() const { ::SendMessageW(window, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0); }

    // The icon goes before the patch, which stays for calls still in flight on its thread.
    ImportPatch<decltype(&::Shell_NotifyIconW)> mPatch;
    Morvane::TrayIcon icon;
    HWND window = nullptr;
};

TEST(TrayIcon, ShellRefusalsAndRestartsBringTheIconBack)
{
    struct Case {
        const char* name;
        unsigned refusedAtStart;
        bool shellRestarts;
        unsigned refusedAfterRestart;
        const char* storyAfterStart; // up to the icon's first add
        const char* storyAfterRestart;
    };
    const Case cases[] = {
        {"added at once", 0, false, 0, "add:1", nullptr},
        {"refused twice, then added", 2, false, 0, "add:0 modify:0 add:0 modify:0 add:1", nullptr},
        {"the shell restarts", 0, true, 0, "add:1", "add:1"},
        {"the restarted shell refuses once", 0, true, 1, "add:1", "add:0 modify:0 add:1"},
        {"refused at the start and after a restart", 1, true, 1, "add:0 modify:0 add:1", "add:0 modify:0 add:1"},
    };
    for (const Case& example : cases) {
        SCOPED_TRACE(example.name);
        ShownIcon shown(example.refusedAtStart);
        ASSERT_NE(shown.window, nullptr);
        // The window, and so the menu's modal loop, belong to a thread other than the caller's.
        EXPECT_NE(::GetWindowThreadProcessId(shown.window, nullptr), ::GetCurrentThreadId());
        ASSERT_TRUE(Shell::WaitFor(0, AddedIcon)) << Story(Shell::Calls());
        EXPECT_EQ(Story(Shell::Calls()), example.storyAfterStart);

        if (example.shellRestarts) {
            shown.ShellLosesIcon();
            Shell::Refuse(example.refusedAfterRestart);
            const size_t before = Shell::Calls().size();
            shown.SendTaskbarCreated();
            ASSERT_TRUE(Shell::WaitFor(before, AddedIcon)) << Story(Shell::Calls(), before);
            EXPECT_EQ(Story(Shell::Calls(), before), example.storyAfterRestart);
        }

        // The icon shown counts the windows caught.
        const size_t beforeCount = Shell::Calls().size();
        shown.icon.SetCaughtCount(3);
        EXPECT_TRUE(Shell::WaitFor(beforeCount, [](const ShellCall& call) {
            return call.message == NIM_MODIFY && call.result && call.tip == L"Morvane watches: 3 windows caught";
        })) << Story(Shell::Calls(), beforeCount);

        // Taken away, it stays away when the shell starts anew.
        const size_t beforeRemoval = Shell::Calls().size();
        shown.icon.RemoveIcon();
        ASSERT_TRUE(Shell::WaitFor(beforeRemoval, [](const ShellCall& call) { return call.message == NIM_DELETE; }));
        shown.SendTaskbarCreated();
        EXPECT_EQ(Story(Shell::Calls(), beforeRemoval), "delete:1");
    }
}

TEST(TrayIcon, NoTipIsSetWhileTheShellRefusesTheIcon)
{
    ShownIcon shown(1);
    ASSERT_NE(shown.window, nullptr);
    shown.icon.SetCaughtCount(2);
    ASSERT_TRUE(Shell::WaitFor(0, AddedIcon)) << Story(Shell::Calls());
    // The count given while refused is in the tip of the icon's add.
    const std::vector<ShellCall> calls = Shell::Calls();
    EXPECT_EQ(Story(calls), "add:0 modify:0 add:1");
    EXPECT_EQ(calls.back().tip, L"Morvane watches: 2 windows caught");
}

// Keys for the icon's menu, posted to its window on the icon's thread.
HWND OpenMenuOf(HWND iconWindow)
{
    ::PostMessageW(iconWindow, Morvane::kTrayIconMessage, 1, WM_RBUTTONUP);
    const DWORD iconThread = ::GetWindowThreadProcessId(iconWindow, nullptr);
    for (DWORD waited = 0; waited < kPollLimitMilliseconds; waited += 50) {
        HWND menu = nullptr;
        while ((menu = ::FindWindowExW(nullptr, menu, L"#32768", nullptr)) != nullptr) {
            if (::IsWindowVisible(menu) && ::GetWindowThreadProcessId(menu, nullptr) == iconThread) {
                return menu;
            }
        }
        ::Sleep(50);
    }
    return nullptr;
}

TEST(TrayIcon, MenuRunsOnItsOwnThreadAndItsStopIsSignalled)
{
    ShownIcon shown(0);
    ASSERT_NE(shown.window, nullptr);
    const HWND menu = OpenMenuOf(shown.window);
    ASSERT_NE(menu, nullptr);
    // Its modal loop runs while this thread goes on; nothing is chosen yet.
    EXPECT_FALSE(shown.icon.StopAsked());
    EXPECT_EQ(::WaitForSingleObject(shown.icon.StopEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // The second item, "Stop watching".
    for (const WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN}) {
        ::PostMessageW(menu, WM_KEYDOWN, key, 0);
    }
    ASSERT_EQ(::WaitForSingleObject(shown.icon.StopEvent(), kPollLimitMilliseconds), WAIT_OBJECT_0);
    EXPECT_TRUE(shown.icon.StopAsked());
    EXPECT_FALSE(shown.icon.SessionEnding());
}

TEST(TrayIcon, SessionEndWaitsForTheLastRecord)
{
    ShownIcon shown(0);
    ASSERT_NE(shown.window, nullptr);
    std::atomic<bool> answered{false};
    std::thread session([&] {
        ::SendMessageW(shown.window, WM_ENDSESSION, TRUE, 0);
        answered = true;
    });
    ASSERT_EQ(::WaitForSingleObject(shown.icon.StopEvent(), kPollLimitMilliseconds), WAIT_OBJECT_0);
    EXPECT_TRUE(shown.icon.StopAsked());
    EXPECT_TRUE(shown.icon.SessionEnding());
    // The window answers only once the watch has written its last record.
    EXPECT_FALSE(answered);
    shown.icon.LastRecordWritten();
    session.join();
    EXPECT_TRUE(answered);
}

} // namespace

namespace {

// The page as it was when the menu asked the shell to open it; no browser is started.
std::wstring sOpenedPath;
std::string sPageWhenOpened;
HANDLE sOpened = nullptr;

HINSTANCE WINAPI RecordOpen(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    sOpenedPath = file;
    sPageWhenOpened = TestSupport::ReadWholeFile(file);
    ::SetEvent(sOpened);
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}

} // namespace

TEST(TrayIcon, MenuMakesThePageFromTheJournalBeforeOpeningIt)
{
    const std::wstring folder = TestSupport::MakeScratchDirectory(L"menu-page");
    Morvane::RunSummary run;
    run.startedAt = "2026-12-07T05:59:57.704+01:00";
    run.outputDirectory = folder;
    run.watch = {true, run.startedAt, 0, true};
    Morvane::RunWindow window;
    window.handle = 0xABCDE;
    window.caption = L"caught while watching";
    {
        Morvane::RunJournal journal;
        ASSERT_TRUE(journal.Open(folder));
        journal.Append(Morvane::JournalStartLine(run.startedAt, run));
        journal.Append(Morvane::JournalWindowLine(run.startedAt, window));
        journal.Close();
    }
    sOpened = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ImportPatch<decltype(&::ShellExecuteW)> open(__imp_ShellExecuteW, &RecordOpen);
    {
        ShownIcon shown(0, folder + L"\\Morvane.Run.html");
        ASSERT_NE(shown.window, nullptr);
        const HWND menu = OpenMenuOf(shown.window);
        ASSERT_NE(menu, nullptr);
        // The first item, "Open the run page".
        for (const WPARAM key : {VK_DOWN, VK_RETURN}) {
            ::PostMessageW(menu, WM_KEYDOWN, key, 0);
        }
        ASSERT_EQ(::WaitForSingleObject(sOpened, kPollLimitMilliseconds), WAIT_OBJECT_0);
        EXPECT_FALSE(shown.icon.StopAsked());
    }
    ::CloseHandle(sOpened);
    EXPECT_EQ(sOpenedPath, folder + L"\\Morvane.Run.html");
    EXPECT_NE(sPageWhenOpened.find("0x00000000000ABCDE"), std::string::npos);
    EXPECT_NE(sPageWhenOpened.find("</html>"), std::string::npos);
    const nlohmann::json record =
        nlohmann::json::parse(TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.json"), nullptr, false);
    ASSERT_FALSE(record.is_discarded());
    EXPECT_EQ(record["watch"]["running"], true) << "the journal has no end line: the watch runs";
    EXPECT_FALSE(record.contains("ended"));
    EXPECT_EQ(record["windows"][0]["caption"], "caught while watching");
    TestSupport::RemoveTree(folder);
}
