// The run record and its comparison with an earlier run, in-process: the skip reasons from real
// samples of real windows, the time texts, the JSON as a reader sees it, the multiset matching,
// and the search for the previous run among real folders.

#include "capture/OutputFileNames.h"
#include "record/RunHistory.h"
#include "record/RunPage.h"
#include "record/RunRecord.h"
#include "record/RunRecorder.h"
#include "RunClock.h"
#include "capture/WindowInfo.h"
#include "capture/WindowSample.h"
#include "capture/WindowShotFolder.h"
#include "basic/PathParts.h"
#include "support/DebugLineCapture.h"
#include "support/FixtureWindows.h"
#include "support/ImportPatch.h"
#include "support/TestPaths.h"
#include "system/File.h"
#include "system/HResult.h"
#include "system/TextConversion.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <utility>

TEST_SUPPORT_IMPORT_SLOT(OpenProcess);

namespace {

using namespace Morvane;
using nlohmann::json;
using TestSupport::FixtureWindowSpec;

HANDLE WINAPI DeniedOpenProcess(DWORD, BOOL, DWORD)
{
    ::SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

TEST(RunRecordSkipReason, FollowsWhereTheRealSampleStopped)
{
    TestSupport::FixtureWindows windows;
    const auto hidden = windows.Open({{10, 10, 200, 200}, L"hidden", L"MorvaneSkipHidden", WS_POPUP, 0, 0});
    const auto narrow = windows.Open({{10, 10, 13, 200}, L"narrow", L"MorvaneSkipNarrow", WS_POPUP | WS_VISIBLE, 0, 0});
    const auto plain = windows.Open({{300, 300, 500, 500}, L"plain", L"MorvaneSkipPlain", WS_POPUP | WS_VISIBLE, 0, 0});
    ASSERT_TRUE(hidden && narrow && plain);

    const auto reasonOf = [](HWND window) { return SampleWindow(window).skipReason; };
    EXPECT_EQ(reasonOf(hidden.handle), SkipReason::Invisible);
    EXPECT_EQ(reasonOf(narrow.handle), SkipReason::TooSmall);
    EXPECT_EQ(reasonOf(plain.handle), SkipReason::None);
    {
        TestSupport::ImportPatch<decltype(&::OpenProcess)> patch(__imp_OpenProcess, &DeniedOpenProcess);
        EXPECT_EQ(reasonOf(plain.handle), SkipReason::ProcessNotOpened);
    }
}

TEST(RunRecorderEntry, CopiesWhatTheSampleSawOfASkippedWindow)
{
    TestSupport::FixtureWindows windows;
    const auto hidden = windows.Open(
        {{20, 30, 220, 230}, L"hidden \x6F22", L"MorvaneEntryHidden", WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, 0});
    ASSERT_TRUE(hidden);
    const WindowSample sample = SampleWindow(hidden.handle);
    ASSERT_EQ(sample.skipReason, SkipReason::Invisible);
    EXPECT_EQ(sample.result, E_ABORT);

    RunRecorder recorder;
    const RunWindow entry = recorder.AddSkipped(sample);
    EXPECT_EQ(entry.handle, TalvexBasic::PointerBits(hidden.handle));
    EXPECT_EQ(entry.skipReason, SkipReason::Invisible);
    EXPECT_EQ(entry.caption, L"hidden \x6F22");
    EXPECT_EQ(entry.className, L"MorvaneEntryHidden");
    EXPECT_EQ(entry.processId, ::GetCurrentProcessId());
    EXPECT_EQ(entry.threadId, hidden.threadId);
    EXPECT_EQ(entry.rect.left, 20);
    EXPECT_EQ(entry.rect.bottom, 230);
    EXPECT_NE(entry.exStyle & WS_EX_TOOLWINDOW, 0u);
    EXPECT_FALSE(entry.imagePath.empty());
    EXPECT_EQ(entry.monitor, 0u) << "no monitor is looked for";
    ASSERT_EQ(recorder.Summary().windows.size(), 1u);
    EXPECT_EQ(recorder.Summary().windows[0].caption, entry.caption);
}

TEST(RunRecordTime, WritesAndReadsLocalTimesWithTheirOffset)
{
    SYSTEMTIME time{};
    time.wYear = 2026;
    time.wMonth = 12;
    time.wDay = 7;
    time.wHour = 5;
    time.wMinute = 59;
    time.wSecond = 57;
    time.wMilliseconds = 4;
    EXPECT_EQ(FormatLocalTime(time, 0), "2026-12-07T05:59:57.004+00:00");
    EXPECT_EQ(FormatLocalTime(time, -330), "2026-12-07T05:59:57.004-05:30");
    EXPECT_EQ(FormatLocalTime(time, 60), "2026-12-07T05:59:57.004+01:00");

    long long utc = 0;
    long long sameInstant = 0;
    long long later = 0;
    ASSERT_TRUE(ParseLocalTime("2026-12-07T05:59:57.704+00:00", utc));
    ASSERT_TRUE(ParseLocalTime("2026-12-07T06:59:57.704+01:00", sameInstant));
    ASSERT_TRUE(ParseLocalTime("2026-12-07T01:00:00.000-05:00", later));
    EXPECT_EQ(utc, sameInstant);
    EXPECT_EQ(later - utc, 2'000LL + 296LL);
    long long newYear = 0;
    long long yearEnd = 0;
    ASSERT_TRUE(ParseLocalTime("2025-01-01T00:00:00.000+00:00", newYear));
    ASSERT_TRUE(ParseLocalTime("2024-12-31T00:00:00.000+00:00", yearEnd));
    EXPECT_EQ(newYear - yearEnd, 86'400'000LL);
    long long epoch = -1;
    ASSERT_TRUE(ParseLocalTime("1970-01-01T01:00:00.250+01:00", epoch));
    EXPECT_EQ(epoch, 250);
    ASSERT_TRUE(ParseLocalTime("2026-12-07T05:59:57.704+00:00", utc));
    EXPECT_EQ(utc, 1'796'623'197'704LL);

    for (const char* bad :
         {"", "2026-12-07 05:59:57.704+00:00", "2026-12-07T05:59:57+00:00", "2026-13-07T05:59:57.704+00:00",
          "2026-12-07T05:59:57.704Z", "2026-12-07T05:5x:57.704+00:00"}) {
        EXPECT_FALSE(ParseLocalTime(bad, utc)) << bad;
    }
    const LocalInstant instant = RunClock().Now();
    const std::string now = FormatLocalTime(instant.time, instant.offsetMinutes);
    EXPECT_TRUE(ParseLocalTime(now, utc)) << now;
}

RunWindow SavedWindow(std::wstring caption, std::wstring className, std::wstring imagePath)
{
    RunWindow window;
    window.caption = std::move(caption);
    window.className = std::move(className);
    window.imagePath = std::move(imagePath);
    return window;
}

TEST(RunRecordJson, WritesEveryFieldAsAReaderSeesIt)
{
    RunSummary run;
    run.startedAt = "2026-12-07T05:59:57.704+00:00";
    run.endedAt = "2026-12-07T05:59:58.001+00:00";
    run.outputDirectory = L"C:\\Tools\\Morvane\\Output\\\x6F22";
    run.computerName = L"HOST";
    run.monitors.push_back({0x10001, {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, MONITORINFOF_PRIMARY, L"\\\\.\\DISPLAY1"});

    RunWindow saved = SavedWindow(L"\x6F22\x5B57\r\nline <b>", L"Cls", L"C:\\app\\a.exe");
    saved.handle = 0xA0B2C;
    saved.processId = 12;
    saved.threadId = 13;
    saved.style = 0x94000000u;
    saved.exStyle = WS_EX_TOPMOST;
    saved.rect = {-8, 10, 300, 400};
    saved.zone = LeftTopCornet;
    saved.monitor = 0x10001;
    saved.folder = L"WindowShot/[a.exe]-0x00000000000A0B2C-12-13";
    saved.shot = {S_OK, E_FAIL, S_OK, PictureSource::Screen, true, saved.folder};
    saved.newSinceLastRun = true;
    RunWindow skipped;
    skipped.handle = 0x20;
    skipped.caption = std::wstring(L"lone \xD800 surrogate");
    skipped.skipReason = SkipReason::TooSmall;
    skipped.exStyle = WS_EX_TOOLWINDOW;
    run.windows = {saved, skipped};
    run.previousRun = L"20261206-101010-5-1-2";
    run.gone.push_back({{"C:\\b.exe", "Gone", "was here"}, 2});

    const std::string text = MakeRunRecordJson(run);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.substr(0, 3), "\xEF\xBB\xBF");
    const json record = json::parse(text);
    EXPECT_EQ(nlohmann::ordered_json::parse(text).begin().key(), "tool") << "members in the documented order";
    EXPECT_EQ(record["tool"], "Morvane");
    EXPECT_EQ(record["formatVersion"], 1);
    EXPECT_EQ(record["startedAt"], run.startedAt);
    EXPECT_EQ(record["outputDirectory"], "C:\\Tools\\Morvane\\Output\\\xE6\xBC\xA2");
    EXPECT_EQ(record["monitors"][0]["handle"], "0x0000000000010001");
    EXPECT_EQ(record["monitors"][0]["workRect"]["bottom"], 1040);
    EXPECT_EQ(record["monitors"][0]["flags"], 1);
    EXPECT_EQ(record["monitors"][0]["picture"],
              "WindowShot/[a.exe]-0x00000000000A0B2C-12-13/Morvane.DisplayMonitor.jpg");

    const json& first = record["windows"][0];
    EXPECT_EQ(first["handle"], "0x00000000000A0B2C");
    EXPECT_EQ(first["caption"], "\xE6\xBC\xA2\xE5\xAD\x97\r\nline <b>");
    EXPECT_EQ(first["style"], 0x94000000u);
    EXPECT_EQ(first["topmost"], true);
    EXPECT_EQ(first["toolWindow"], false);
    EXPECT_EQ(first["rect"]["left"], -8);
    EXPECT_EQ(first["zone"], "LeftTopCornet");
    EXPECT_EQ(first["outcome"], "saved");
    EXPECT_TRUE(first["skipReason"].is_null());
    EXPECT_EQ(first["pictureSource"], "screen");
    EXPECT_EQ(first["results"]["record"], 0);
    EXPECT_EQ(first["results"]["window"], static_cast<std::int32_t>(E_FAIL));
    EXPECT_EQ(first["newSinceLastRun"], true);

    const json& second = record["windows"][1];
    EXPECT_EQ(second["outcome"], "skipped");
    EXPECT_EQ(second["skipReason"], "tooSmall");
    EXPECT_TRUE(second["zone"].is_null());
    EXPECT_TRUE(second["folder"].is_null());
    EXPECT_TRUE(second["pictureSource"].is_null());
    EXPECT_TRUE(second["results"].is_null());
    EXPECT_EQ(second["topmost"], false);
    EXPECT_EQ(second["toolWindow"], true);
    EXPECT_EQ(second["caption"], "lone \xEF\xBF\xBD surrogate");

    EXPECT_EQ(record["previousRun"], "20261206-101010-5-1-2");
    EXPECT_EQ(record["goneSinceLastRun"][0]["count"], 2);
    EXPECT_EQ(record["goneSinceLastRun"][0]["className"], "Gone");

    run.previousRun.clear();
    run.gone.clear();
    run.windows[0].shot.monitor = E_FAIL;
    const json alone = json::parse(MakeRunRecordJson(run));
    EXPECT_TRUE(alone["previousRun"].is_null());
    EXPECT_TRUE(alone["goneSinceLastRun"].is_array() && alone["goneSinceLastRun"].empty());
    EXPECT_TRUE(alone["monitors"][0]["picture"].is_null()) << "no monitor picture was written";
    EXPECT_EQ(alone["windows"][0]["results"]["monitor"], static_cast<std::int32_t>(E_FAIL));

    // A watch writes the record while a window's monitor picture is still to take.
    run.windows[0].shot.monitor = E_PENDING;
    const json pending = json::parse(MakeRunRecordJson(run));
    EXPECT_TRUE(pending["windows"][0]["results"]["monitor"].is_null());
    EXPECT_EQ(pending["windows"][0]["results"]["window"], static_cast<std::int32_t>(E_FAIL));
    EXPECT_EQ(pending["windows"][0]["kind"], "window");
    EXPECT_TRUE(pending["windows"][0]["monitorSkipped"].is_null());
    EXPECT_TRUE(pending["windows"][1]["monitorSkipped"].is_null()) << "a skipped window takes no step";

    // A menu's monitor picture is left out on purpose: no failure, and no picture for its monitor.
    run.windows[0].className = L"#32768";
    run.windows[0].shot.monitor = S_FALSE;
    run.windows[0].shot.monitorSkipped = "kind";
    const json menu = json::parse(MakeRunRecordJson(run));
    EXPECT_EQ(menu["windows"][0]["kind"], "menu");
    EXPECT_EQ(menu["windows"][0]["results"]["monitor"], 1);
    EXPECT_EQ(menu["windows"][0]["monitorSkipped"], "kind");
    EXPECT_TRUE(menu["monitors"][0]["picture"].is_null()) << "the menu's folder holds no monitor picture";
}

TEST(RunRecordJson, NamesHandlesInFull)
{
    EXPECT_EQ(FormatHandle(0xA0B2C), "0x00000000000A0B2C");
}

TEST(RunHistory, MatchesSavedWindowsAsAMultiset)
{
    std::vector<RunWindow> windows = {SavedWindow(L"A", L"C", L"p"), SavedWindow(L"A", L"C", L"p"),
                                      SavedWindow(L"A", L"C", L"p"), SavedWindow(L"B", L"C", L"p"),
                                      SavedWindow(L"D", L"C", L"p")};
    windows[4].skipReason = SkipReason::Invisible;
    const std::vector<WindowKey> earlier = {
        {"p", "C", "A"}, {"p", "C", "A"}, {"p", "C", "E"}, {"p", "C", "E"}, {"q", "C", "B"}};
    const std::vector<GoneWindow> gone = CompareWithEarlierRun(windows, earlier);
    EXPECT_FALSE(windows[0].newSinceLastRun);
    EXPECT_FALSE(windows[1].newSinceLastRun);
    EXPECT_TRUE(windows[2].newSinceLastRun) << "a third A where there were two";
    EXPECT_TRUE(windows[3].newSinceLastRun) << "same caption, other image";
    EXPECT_FALSE(windows[4].newSinceLastRun) << "skipped windows are never new";
    ASSERT_EQ(gone.size(), 2u);
    EXPECT_EQ(gone[0].key.caption, "E");
    EXPECT_EQ(gone[0].count, 2u);
    EXPECT_EQ(gone[1].key.imagePath, "q");
    EXPECT_EQ(gone[1].count, 1u);
}

// saved: how many saved windows of that caption; some tens make a record larger than the part
// read for its start.
std::string RecordText(const char* startedAt, const wchar_t* caption, int saved = 1)
{
    RunSummary run;
    run.startedAt = startedAt;
    for (int index = 0; index < saved; ++index) {
        run.windows.push_back(SavedWindow(caption, L"Cls", L"C:\\a.exe"));
    }
    RunWindow skipped = SavedWindow(L"skipped", L"Cls", L"C:\\a.exe");
    skipped.skipReason = SkipReason::Invisible;
    run.windows.push_back(skipped);
    return MakeRunRecordJson(run);
}

TEST(RunHistory, ReadsOnlyUsableRecords)
{
    EarlierRun run;
    std::string why;
    ASSERT_TRUE(ReadEarlierRun(RecordText("2026-12-07T05:59:57.704+00:00", L"\x6F22"), run, why)) << why;
    ASSERT_EQ(run.savedWindows.size(), 1u) << "skipped windows are not compared";
    EXPECT_EQ(run.savedWindows[0].caption, "\xE6\xBC\xA2");
    EXPECT_EQ(run.savedWindows[0].imagePath, "C:\\a.exe");

    const std::string whole = RecordText("2026-12-07T05:59:57.704+00:00", L"x");
    EXPECT_FALSE(ReadEarlierRun(whole.substr(0, whole.size() / 2), run, why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(ReadEarlierRun(RecordText("yesterday", L"x"), run, why));
    EXPECT_FALSE(
        ReadEarlierRun(R"({"tool":"Else","startedAt":"2026-12-07T05:59:57.704+00:00","windows":[]})", run, why));
    EXPECT_FALSE(ReadEarlierRun(R"({"tool":"Morvane","startedAt":"2026-12-07T05:59:57.704+00:00"})", run, why));
    EXPECT_FALSE(ReadEarlierRun(
        R"({"tool":"Morvane","startedAt":"2026-12-07T05:59:57.704+00:00","windows":[{"outcome":"saved","caption":7}]})",
        run, why));
}

void PutRecord(const std::wstring& folder, const std::string& text)
{
    ASSERT_EQ(TalvexBasic::Files::File::WriteToFile$Static(folder + L"\\" + Morvane::kRunRecordFileName, text.data(),
                                                           static_cast<unsigned>(text.size()), CREATE_ALWAYS),
              S_OK);
}

TEST(RunHistory, FindsTheLatestStartAmongReadableSiblings)
{
    const std::wstring output = TestSupport::MakeScratchDirectory(L"RunHistory");
    // By local text "zzz-early" starts later; by the instant it starts two hours earlier. Large
    // records are told apart by their first bytes, and only the latest usable one is read whole.
    PutRecord(output + L"\\aaa-late", RecordText("2026-12-07T10:00:00.000+00:00", L"late", 40));
    PutRecord(output + L"\\zzz-early", RecordText("2026-12-07T13:00:00.000+05:00", L"early", 40));
    PutRecord(output + L"\\small-early", RecordText("2026-12-07T09:00:00.000+00:00", L"small"));
    for (const auto& [name, saved] : {std::make_pair(L"corrupt", 1), std::make_pair(L"corrupt-large", 40)}) {
        const std::string corrupt = RecordText("2999-01-01T00:00:00.000+00:00", L"corrupt", saved);
        ASSERT_GT(corrupt.size(), saved == 1 ? 0u : 16u * 1024);
        PutRecord(output + L"\\" + name, corrupt.substr(0, corrupt.size() - 20));
    }
    PutRecord(output + L"\\own", RecordText("3000-01-01T00:00:00.000+00:00", L"own"));
    ASSERT_TRUE(::CreateDirectoryW((output + L"\\empty").c_str(), nullptr));

    EarlierRun previous;
    TestSupport::DebugLineCapture lines;
    ASSERT_TRUE(FindPreviousRun(output + L"\\own", previous));
    EXPECT_EQ(previous.folderName, L"aaa-late");
    ASSERT_EQ(previous.savedWindows.size(), 40u);
    EXPECT_EQ(previous.savedWindows[0].caption, "late");
    EXPECT_EQ(lines.CountContaining(" Morvane::FindPreviousRun,"), 3u) << "one line for each corrupt one and empty";
    EXPECT_EQ(lines.CountContaining("corrupt\\Morvane.Run.json passed over"), 1u);
    EXPECT_EQ(lines.CountContaining("corrupt-large\\Morvane.Run.json passed over"), 1u);
    EXPECT_EQ(lines.CountContaining("empty\\Morvane.Run.json passed over, record missing."), 1u);

    EarlierRun none;
    EXPECT_FALSE(FindPreviousRun(output + L"\\empty\\only", none)) << "a folder without siblings";
    TestSupport::RemoveTree(output);
}

TEST(RunPageText, KeepsHostileTextInertInsideTheDataBlock)
{
    EXPECT_EQ(EscapeJsonForScript(R"({"c":"</script><b id=\"x\">&amp;"})"),
              R"({"c":"\u003c/script\u003e\u003cb id=\"x\"\u003e\u0026amp;"})");

    RunSummary run;
    run.startedAt = "2026-12-07T05:59:57.704+00:00";
    run.windows.push_back(SavedWindow(L"</script><script>alert(1)</script><img src=x onerror=alert(2)>", L"c", L"p"));
    const std::string record = MakeRunRecordJson(run);
    const std::string page = MakeRunPage(record, "0123abcd");

    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(page.find("script-src 'nonce-0123abcd'"), std::string::npos);
    EXPECT_EQ(page.find("@NONCE@"), std::string::npos);
    EXPECT_EQ(page.find("<img src=x"), std::string::npos);
    const std::string open = "<script type=\"application/json\" id=\"run-data\" nonce=\"0123abcd\">";
    const size_t start = page.find(open);
    ASSERT_NE(start, std::string::npos);
    const size_t end = page.find("</script>", start);
    const std::string data = page.substr(start + open.size(), end - start - open.size());
    EXPECT_EQ(json::parse(data), json::parse(record)) << "the data block holds the record exactly";
    // Two script elements of the page's own, every one with the nonce or inert.
    size_t scripts = 0;
    for (size_t at = page.find("<script"); at != std::string::npos; at = page.find("<script", at + 1)) {
        const std::string tag = page.substr(at, page.find('>', at) - at);
        EXPECT_TRUE(tag.find("nonce=\"0123abcd\"") != std::string::npos ||
                    tag.find("type=\"application/json\"") != std::string::npos)
            << tag;
        ++scripts;
    }
    EXPECT_EQ(scripts, 2u);
}

// A run's output directory in a scratch folder, for the length of a test.
class ScratchOutput {
public:
    ScratchOutput() : mRoot(TestSupport::MakeScratchDirectory(L"RunRecorder")) {}
    ~ScratchOutput() { TestSupport::RemoveTree(mRoot); }
    ScratchOutput(const ScratchOutput&) = delete;
    ScratchOutput& operator=(const ScratchOutput&) = delete;

    [[nodiscard]] std::wstring Directory() const { return mRoot + L"\\Output\\this-run"; }

private:
    std::wstring mRoot;
};

TEST(RunRecorderFinish, WritesTheRecordAndThePageBesideTheEarlierRun)
{
    const ScratchOutput output;
    const std::wstring directory = output.Directory();
    const RunClock clock;
    const std::wstring earlier = std::wstring(Basic::Paths::FolderPart(directory)) + L"\\earlier-run";
    PutRecord(earlier, RecordText("2026-01-01T00:00:00.000+00:00", L"gone window"));
    TestSupport::FixtureWindows windows;
    const auto shown =
        windows.Open({{40, 40, 240, 240}, L"shown \x6F22", L"MorvaneRecorderShown", WS_POPUP | WS_VISIBLE, 0, 0});
    ASSERT_TRUE(shown);

    RunRecorder recorder;
    recorder.Start(clock);
    WindowInfo record;
    ASSERT_EQ(record.SampleInitialize(shown.handle), S_OK);
    record.mCaption = L"shown \x6F22";
    record.mClassName = L"MorvaneRecorderShown";
    recorder.AddSaved(record, {S_OK, S_OK, S_OK, PictureSource::PrintWindow, true, MakeRelativeWindowShotFolder(record)});
    TestSupport::DebugLineCapture lines;
    recorder.Finish(directory, clock);
    EXPECT_EQ(lines.CountContaining(" Morvane::RunRecorder::Finish,"), 0u) << "nothing to say when both are written";

    const json written = json::parse(TestSupport::ReadWholeFile(directory + L"\\" + Morvane::kRunRecordFileName));
    EXPECT_EQ(written["previousRun"], "earlier-run");
    ASSERT_EQ(written["windows"].size(), 1u);
    EXPECT_EQ(written["windows"][0]["newSinceLastRun"], true);
    EXPECT_EQ(written["windows"][0]["folder"].get<std::string>().rfind("WindowShot/[", 0), 0u);
    EXPECT_EQ(written["goneSinceLastRun"][0]["caption"], "gone window");
    const std::string page = TestSupport::ReadWholeFile(directory + L"\\" + Morvane::kRunPageFileName);
    EXPECT_NE(page.find("MorvaneRecorderShown"), std::string::npos);
}

TEST(RunRecorderFinish, CostsOneTraceLineForEachFileItCannotWrite)
{
    const ScratchOutput output;
    const std::wstring directory = output.Directory();
    const RunClock clock;
    // A folder in the way of each file.
    ASSERT_EQ(
        TalvexBasic::Files::File::MakeSureParentDirectoryExists$Static(directory + L"\\Morvane.Run.json\\"),
        S_OK);
    ASSERT_TRUE(::CreateDirectoryW((directory + L"\\" + Morvane::kRunRecordFileName).c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((directory + L"\\" + Morvane::kRunPageFileName).c_str(), nullptr));

    RunRecorder recorder;
    recorder.Start(clock);
    TestSupport::DebugLineCapture lines;
    recorder.Finish(directory, clock);
    std::vector<std::string> own;
    for (const std::string& line : lines.Lines()) {
        if (line.find(" Morvane::RunRecorder::Finish,") != std::string::npos) {
            own.push_back(line);
        }
    }
    ASSERT_EQ(own.size(), 2u);
    EXPECT_NE(own[0].find("]:WriteToFile$Static(" + TalvexBasic::ToThreadAnsi(directory) +
                          "\\Morvane.Run.json) return:0x80070005."),
              std::string::npos)
        << own[0];
    EXPECT_NE(own[1].find("\\this-run\\Morvane.Run.html) return:0x80070005."), std::string::npos) << own[1];
}

} // namespace
