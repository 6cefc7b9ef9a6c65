// The run record of the real Morvane.exe on fixture windows: one entry per enumerated window with
// the right outcome, captions exactly as the windows hold them, and the same facts as the text
// records of the same run. Then two runs of a copy of the tool in a folder of its own, with a
// window added and one removed in between, and corrupt records beside them.

#include "capture/OutputFileNames.h"
#include "record/RunRecord.h"
#include "basic/EscapeLineBreaks.h"
#include "support/FixtureProcess.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "system/File.h"
#include "system/TextConversion.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <set>
#include <string>

namespace {

using namespace TestSupport;
using Morvane::FormatHandle;
using Morvane::ToUtf8;
using nlohmann::json;
using TalvexBasic::ToThreadAnsi;
using Basic::Text::EscapeLineBreaks;

json ReadRecord(const std::wstring& outputDirectory)
{
    const std::string text = ReadWholeFile(outputDirectory + L"\\" + Morvane::kRunRecordFileName);
    return json::parse(text, nullptr, false);
}

// The windows of a record by handle.
std::map<std::string, json> WindowsByHandle(const json& record)
{
    std::map<std::string, json> windows;
    for (const json& window : record["windows"]) {
        windows[window["handle"].get<std::string>()] = window;
    }
    return windows;
}

std::string HandleOf(const FixtureWindow& window)
{
    return FormatHandle(reinterpret_cast<ULONG_PTR>(window.handle));
}

// The value after "<label>: " in a text record, up to the line end (or, for the caption, up to
// the class name line, since a caption may hold line breaks of its own).
std::string RecordValue(const std::string& text, const std::string& label, const std::string& next = {})
{
    const std::string start = "\r\n" + label + ": ";
    const size_t at = text.find(start);
    if (at == std::string::npos) {
        return "<missing " + label + ">";
    }
    const size_t from = at + start.size();
    const size_t end = next.empty() ? text.find("\r\n", from) : text.find("\r\n" + next + ": ", from);
    return text.substr(from, end - from);
}

std::string Number(const json& value)
{
    return std::to_string(value.get<long long>());
}

std::string HexAndDecimal(const json& value)
{
    char text[48];
    std::snprintf(text, sizeof text, "0x%x, %u", value.get<unsigned>(), value.get<unsigned>());
    return text;
}

BOOL CALLBACK AddTopLevelWindow(HWND window, LPARAM handles)
{
    reinterpret_cast<std::set<std::string>*>(handles)->insert(FormatHandle(reinterpret_cast<ULONG_PTR>(window)));
    return TRUE;
}

std::set<std::string> TopLevelWindows()
{
    std::set<std::string> handles;
    ::EnumWindows(AddTopLevelWindow, reinterpret_cast<LPARAM>(&handles));
    return handles;
}

class RunRecordEndToEnd : public ::testing::Test {
protected:
    static std::wstring LongCaption()
    {
        std::wstring caption;
        while (caption.size() < 70000) {
            caption += L"long caption \x6F22\x5B57 ";
        }
        caption.resize(70000);
        return caption;
    }

    static void SetUpTestSuite()
    {
        sFixture = new FixtureProcess();
        ASSERT_TRUE(sFixture->Start()) << sFixture->Failure();
        sLayouts = {
            {{100, 100, 500, 400},
             L"\x6F22\x5B57 \x00E9\x20AC caption",
             L"MorvaneRecordCjk",
             WS_POPUP | WS_VISIBLE,
             WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
             RGB(200, 30, 30)},
            {{600, 100, 900, 400},
             L"first line\r\nsecond line\nthird",
             L"MorvaneRecordLines",
             WS_POPUP | WS_VISIBLE,
             0,
             RGB(30, 200, 30)},
            {{100, 500, 500, 800}, LongCaption(), L"MorvaneRecordLong", WS_POPUP | WS_VISIBLE, 0, RGB(30, 30, 200)},
            {{600, 500, 900, 800},
             L"<img src=x onerror=alert(1)></script><b id=\"injected\">bold</b>",
             L"MorvaneRecordMarkup",
             WS_POPUP | WS_VISIBLE,
             0,
             RGB(200, 200, 30)},
            {{1000, 100, 1200, 300}, L"hidden", L"MorvaneRecordHidden", WS_POPUP, 0, RGB(0, 0, 0)},
            {{1300, 100, 1303, 300}, L"three wide", L"MorvaneRecordNarrow", WS_POPUP | WS_VISIBLE, 0, RGB(0, 0, 0)},
        };
        for (const FixtureWindowSpec& layout : sLayouts) {
            sWindows.push_back(sFixture->Open(layout));
            ASSERT_TRUE(sWindows.back()) << sWindows.back().failure;
        }
        sBefore = TopLevelWindows();
        sRun = new DebugCaptureResult(RunMorvane());
        sAfter = TopLevelWindows();
        sRecord = ReadRecord(CompletionDirectory(*sRun));
    }

    static void TearDownTestSuite()
    {
        delete sRun;
        delete sFixture;
        sRun = nullptr;
        sFixture = nullptr;
        sWindows.clear();
    }

    void SetUp() override
    {
        ASSERT_NE(sRun, nullptr);
        ASSERT_TRUE(sRun->failure.empty()) << sRun->failure;
        ASSERT_FALSE(CompletionDirectory(*sRun).empty());
        ASSERT_TRUE(sRecord.is_object()) << "Morvane.Run.json missing or not JSON";
    }

    static inline FixtureProcess* sFixture = nullptr;
    static inline std::vector<FixtureWindowSpec> sLayouts;
    static inline std::vector<FixtureWindow> sWindows;
    static inline DebugCaptureResult* sRun = nullptr;
    static inline json sRecord;
    static inline std::set<std::string> sBefore; // top-level windows just before the run
    static inline std::set<std::string> sAfter;  // and just after it
};

TEST_F(RunRecordEndToEnd, DescribesTheRun)
{
    const std::wstring directory = CompletionDirectory(*sRun);
    EXPECT_EQ(sRecord["tool"], "Morvane");
    EXPECT_EQ(sRecord["formatVersion"], 1);
    EXPECT_EQ(sRecord["outputDirectory"], ToUtf8(directory));
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(::GetComputerNameW(name, &length));
    EXPECT_EQ(sRecord["computerName"], ToUtf8(name));
    long long started = 0;
    long long ended = 0;
    ASSERT_TRUE(Morvane::ParseLocalTime(sRecord["startedAt"].get<std::string>(), started)) << sRecord["startedAt"];
    ASSERT_TRUE(Morvane::ParseLocalTime(sRecord["endedAt"].get<std::string>(), ended)) << sRecord["endedAt"];
    EXPECT_LE(started, ended);

    ASSERT_FALSE(sRecord["monitors"].empty());
    const json& monitor = sRecord["monitors"][0];
    EXPECT_EQ(monitor["rect"]["right"].get<int>() - monitor["rect"]["left"].get<int>(), 1920);
    EXPECT_EQ(monitor["workRect"]["bottom"].get<int>(), 1040) << "the display's work area";
    ASSERT_TRUE(monitor["picture"].is_string());
    std::wstring picture = directory + L"\\";
    for (const char character : monitor["picture"].get<std::string>()) {
        picture += character == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(character));
    }
    EXPECT_FALSE(ReadWholeFile(picture).empty()) << monitor["picture"];

    const std::string page = ReadWholeFile(directory + L"\\" + Morvane::kRunPageFileName);
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_EQ(page.find("<b id=\"injected\">"), std::string::npos) << "markup travels only escaped";
}

TEST_F(RunRecordEndToEnd, HasOneEntryPerWindowWithItsOutcome)
{
    std::set<std::string> handles;
    for (const json& window : sRecord["windows"]) {
        EXPECT_TRUE(handles.insert(window["handle"].get<std::string>()).second) << window["handle"];
        const bool saved = window["outcome"] == "saved";
        EXPECT_TRUE(saved || window["outcome"] == "skipped");
        EXPECT_EQ(window["skipReason"].is_null(), saved);
        EXPECT_EQ(window["folder"].is_null(), !saved);
        EXPECT_EQ(window["results"].is_null(), !saved);
        EXPECT_TRUE(window["newSinceLastRun"].is_boolean());
    }
    // Every window that existed from before the run until after it was enumerated by the run.
    size_t lasting = 0;
    for (const std::string& handle : sBefore) {
        if (sAfter.count(handle) != 0) {
            EXPECT_EQ(handles.count(handle), 1u) << handle << " has no entry";
            ++lasting;
        }
    }
    EXPECT_GE(lasting, sWindows.size());
    const std::map<std::string, json> windows = WindowsByHandle(sRecord);
    const char* expected[] = {"saved", "saved", "saved", "saved", "invisible", "tooSmall"};
    for (size_t index = 0; index < sWindows.size(); ++index) {
        const auto found = windows.find(HandleOf(sWindows[index]));
        ASSERT_NE(found, windows.end()) << index;
        const json& window = found->second;
        const bool saved = std::string(expected[index]) == "saved";
        EXPECT_EQ(window["outcome"], saved ? "saved" : "skipped") << index;
        if (!saved) {
            EXPECT_EQ(window["skipReason"], expected[index]) << index;
        } else {
            // Windows of another process paint black into PrintWindow under Wine: their pictures
            // come from the screen.
            EXPECT_EQ(window["pictureSource"], "screen") << index;
            EXPECT_EQ(window["results"]["record"], 0) << index;
            EXPECT_EQ(window["results"]["window"], 0) << index;
            EXPECT_EQ(window["results"]["monitor"], 0) << index;
        }
        EXPECT_EQ(window["processId"], sWindows[index].processId) << index;
        EXPECT_EQ(window["threadId"], sWindows[index].threadId) << index;
        EXPECT_EQ(window["className"], ToUtf8(sLayouts[index].className)) << index;
        EXPECT_EQ(window["caption"], ToUtf8(sLayouts[index].caption)) << index;
        EXPECT_EQ(window["rect"]["left"], sLayouts[index].rect.left) << index;
        EXPECT_EQ(window["rect"]["bottom"], sLayouts[index].rect.bottom) << index;
        EXPECT_EQ(window["style"].get<unsigned>() & WS_VISIBLE, sLayouts[index].style & WS_VISIBLE) << index;
        EXPECT_EQ(window["imagePath"], ToUtf8(DesktopFixturePath())) << index;
    }
    EXPECT_EQ(windows.at(HandleOf(sWindows[2]))["caption"].get<std::string>().size(),
              ToUtf8(sLayouts[2].caption).size())
        << "all 70,000 characters";
}

TEST_F(RunRecordEndToEnd, AgreesWithTheTextRecordsOfTheSameRun)
{
    const std::wstring directory = CompletionDirectory(*sRun);
    std::map<std::string, json> monitors;
    for (const json& monitor : sRecord["monitors"]) {
        monitors[monitor["handle"].get<std::string>()] = monitor;
    }
    size_t compared = 0;
    for (const json& window : sRecord["windows"]) {
        if (window["outcome"] != "saved") {
            continue;
        }
        std::wstring folder = directory + L"\\";
        const std::wstring relative = Morvane::FromUtf8(window["folder"].get<std::string>());
        for (const wchar_t character : relative) {
            folder += character == L'/' ? L'\\' : character;
        }
        const std::string text = ReadWholeFile(folder + L"\\" + Morvane::kInfoFileName);
        ASSERT_FALSE(text.empty()) << window["folder"];
        const std::string handle = window["handle"].get<std::string>();
        EXPECT_EQ(RecordValue(text, "WindowHandle"), handle);
        EXPECT_EQ(RecordValue(text, "WindowStyle"), HexAndDecimal(window["style"])) << handle;
        EXPECT_EQ(RecordValue(text, "WindowExtendedStyle"), HexAndDecimal(window["exStyle"])) << handle;
        EXPECT_EQ(RecordValue(text, "ProcessId"), Number(window["processId"])) << handle;
        EXPECT_EQ(RecordValue(text, "ThreadId"), Number(window["threadId"])) << handle;
        EXPECT_EQ(RecordValue(text, "WindowRectangle.left"), Number(window["rect"]["left"])) << handle;
        EXPECT_EQ(RecordValue(text, "WindowRectangle.top"), Number(window["rect"]["top"])) << handle;
        EXPECT_EQ(RecordValue(text, "WindowRectangle.right"), Number(window["rect"]["right"])) << handle;
        EXPECT_EQ(RecordValue(text, "WindowRectangle.bottom"), Number(window["rect"]["bottom"])) << handle;
        EXPECT_EQ(
            text.substr(text.find("ZonePosition: ") + 14, text.find("\r\n\r\n") - text.find("ZonePosition: ") - 14),
            window["zone"].get<std::string>())
            << handle;
        // The text record holds the caption as the run's buffer cut it, in the ANSI code page,
        // with its line breaks written as \r and \n.
        const std::wstring caption = Morvane::FromUtf8(window["caption"].get<std::string>());
        EXPECT_EQ(RecordValue(text, "WindowCaption", "WindowClassName"),
                  EscapeLineBreaks(ToThreadAnsi(caption.substr(0, 65534))))
            << handle;
        EXPECT_EQ(RecordValue(text, "WindowClassName"),
                  EscapeLineBreaks(ToThreadAnsi(Morvane::FromUtf8(window["className"].get<std::string>()))))
            << handle;
        EXPECT_EQ(RecordValue(text, "ProcessDosPath"),
                  EscapeLineBreaks(ToThreadAnsi(Morvane::FromUtf8(window["imagePath"].get<std::string>()))))
            << handle;
        EXPECT_EQ(RecordValue(text, "DisplayMonitorHandle"), window["monitor"].get<std::string>()) << handle;
        const json& monitor = monitors[window["monitor"].get<std::string>()];
        ASSERT_TRUE(monitor.is_object()) << "the window's monitor is listed";
        EXPECT_EQ(RecordValue(text, "DisplayMonitorRectangle.right"), Number(monitor["rect"]["right"])) << handle;
        EXPECT_EQ(RecordValue(text, "DisplayMonitorWorkRectangle.bottom"), Number(monitor["workRect"]["bottom"]))
            << handle;
        EXPECT_EQ(
            RecordValue(text, "DisplayMonitorFlags"), "0x" +
                                                          [&] {
                                                              char hex[16];
                                                              std::snprintf(hex, sizeof hex, "%x",
                                                                            monitor["flags"].get<unsigned>());
                                                              return std::string(hex);
                                                          }())
            << handle;
        ++compared;
    }
    EXPECT_GE(compared, 4u);
}

} // namespace
