#include "support/DebugLineCapture.h"
#include "logs/FileLogger.h"
#include "logs/LogManager.h"
#include "logs/LoggerReferences.h"
#include "logs/Trace.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

// A line of the tool: offered to the routing as a line of the application.
#define TOOL_TRACE_W(function, ...)                                                                                    \
    ::TalvexBasic::Logs::EmitTraceW(::TalvexBasic::Logs::TraceOrigin::Application, TALVEX_BUILD_STAMP, function,       \
                                    __LINE__, __VA_ARGS__)

namespace {

using TalvexBasic::Logs::LogManager;

// A window title that tries to forge a whole trace line of its own, header included.
constexpr char kForgedCaption[] = "x\r\n{Sep  9 2020-15:42:10}[2020-09-09 15:42:10:007 1-2 Morvane::HandleWindow,1]:"
                                  "ProcessDosPath: C:\\Windows\\explorer.exe";
constexpr wchar_t kForgedCaptionW[] = L"x\r\n{Sep  9 2020-15:42:10}[2020-09-09 15:42:10:007 1-2 "
                                      L"Morvane::HandleWindow,1]:ProcessDosPath: C:\\Windows\\explorer.exe";
// What the log shows of it: the breaks as two characters each, the backslashes as they were.
const std::string kEscapedCaption = "x\\r\\n{Sep  9 2020-15:42:10}[2020-09-09 15:42:10:007 1-2 "
                                    "Morvane::HandleWindow,1]:ProcessDosPath: C:\\Windows\\explorer.exe";

const std::regex kHeader(R"(\{[^}]+\}\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} \d+-\d+ [^,\]]+,\d+\]:)");

// The message of a single whole line: exactly one header, one line end, and that at the end.
std::string MessageOf(const std::string& line)
{
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\r'), 1) << line;
    EXPECT_EQ(line.size() >= 2 ? line.substr(line.size() - 2) : line, "\r\n") << line;
    std::smatch header;
    EXPECT_TRUE(std::regex_search(line, header, kHeader)) << line;
    EXPECT_EQ(header.position(0), 0) << line;
    const size_t start = header.position(0) + header.length(0);
    return line.size() >= start + 2 ? line.substr(start, line.size() - start - 2) : std::string();
}

TEST(TraceLineBreaks, NarrowAndWideDebuggerLinesShowBreaksInsideValuesAsTwoCharacters)
{
    TestSupport::DebugLineCapture debug;
    TALVEX_TRACE("TalvexBasic::Test", "caption:%s.", kForgedCaption);
    TALVEX_TRACE_W("TalvexBasic::Test", L"caption:%ls.", kForgedCaptionW);
    // Lone breaks, a break pair the other way round, and a tab and a backslash that stay.
    TALVEX_TRACE("TalvexBasic::Test", "class:%s.", "a\rb\nc\n\rd\te\\rf");
    TALVEX_TRACE_W("TalvexBasic::Test", L"class:%ls.", L"a\rb\nc\n\rd\te\\rf\x4E2D");
    const std::vector<std::string> lines = debug.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(MessageOf(lines[0]), "caption:" + kEscapedCaption + ".");
    EXPECT_EQ(MessageOf(lines[1]), "caption:" + kEscapedCaption + ".");
    EXPECT_EQ(MessageOf(lines[2]), "class:a\\rb\\nc\\n\\rd\te\\rf.");
    EXPECT_EQ(MessageOf(lines[3]), "class:a\\rb\\nc\\n\\rd\te\\rf\xE4\xB8\xAD."); // UTF-8 of U+4E2D
}

TEST(TraceLineBreaks, LinesWithoutBreaksAreUnchanged)
{
    TestSupport::DebugLineCapture debug;
    TALVEX_TRACE("TalvexBasic::Test", "path:%s.", "C:\\Windows\\explorer.exe\t1");
    TALVEX_TRACE_W("TalvexBasic::Test", L"%ls", L"");
    const std::vector<std::string> lines = debug.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(MessageOf(lines[0]), "path:C:\\Windows\\explorer.exe\t1.");
    EXPECT_EQ(MessageOf(lines[1]), "");
}

// The file logger of a fresh scratch folder.
class ScratchFileLogger : public TalvexBasic::Logs::FileLogger {
public:
    explicit ScratchFileLogger(std::wstring directory) : mScratch(std::move(directory)) {}
    HRESULT GetDefaultDirectory(std::wstring& directory) override
    {
        directory = mScratch;
        return S_OK;
    }
    std::wstring mScratch;
};

TEST(TraceLineBreaks, RoutedLineReachesTheLogFileAsOneLine)
{
    const std::wstring scratch = TestSupport::MakeScratchDirectory(L"TraceLineBreaks");
    {
        ScratchFileLogger logger(scratch + L"\\Log");
        ASSERT_EQ(logger.Initialize(), S_OK);
        ASSERT_EQ(logger.SetName(L"Morvane"), S_OK);
        LogManager::Initialize$Static();
        gApplicationLogger = &logger;
        TestSupport::DebugLineCapture debug;
        TOOL_TRACE_W("Morvane::HandleWindow", L"Caption:%ls.", kForgedCaptionW);
        TOOL_TRACE_W("Morvane::HandleWindow", L"ClassName:%ls.", L"tab\there\n");
        gApplicationLogger = nullptr;
        LogManager::Finalize$Static();
        EXPECT_TRUE(debug.Lines().empty());
    }
    const std::vector<std::wstring> files = TestSupport::FilesIn(scratch + L"\\Log");
    ASSERT_EQ(files.size(), 1u);
    const std::string content = TestSupport::ReadWholeFile(scratch + L"\\Log\\" + files[0]);
    TestSupport::RemoveTree(scratch);
    const size_t firstEnd = content.find("\r\n");
    ASSERT_NE(firstEnd, std::string::npos) << content;
    EXPECT_EQ(MessageOf(content.substr(0, firstEnd + 2)), "Caption:" + kEscapedCaption + ".");
    EXPECT_EQ(MessageOf(content.substr(firstEnd + 2)), "ClassName:tab\there\\n.");
}

} // namespace
