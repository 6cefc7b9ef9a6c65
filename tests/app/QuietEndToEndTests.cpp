// Quiet runs of the built program, as a script starts them: the exit code tells the outcome, no
// dialog of the program shows at any time while it runs (the debugger looks for one every 40 ms),
// and the text a box would have shown arrives on the standard error the script handed over.

#include "support/DebugCapture.h"
#include "support/TestPaths.h"
#include "support/TestText.h"
#include "system/UniqueResource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A file that a started program inherits as its standard error.
class InheritedErrorFile {
public:
    explicit InheritedErrorFile(const std::wstring& path) : mPath(path)
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        mFile.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                  CREATE_ALWAYS, 0, nullptr));
    }

    [[nodiscard]] HANDLE Handle() const noexcept { return mFile.get(); }
    [[nodiscard]] std::string Text() const { return TestSupport::ReadWholeFile(mPath); }

private:
    std::wstring mPath;
    TalvexBasic::UniqueFileHandle mFile;
};

// The folder that "Success Save All Window To \r\n"<folder>"." names; empty when none.
std::wstring NamedFolder(const std::string& text)
{
    const std::string prefix = "Success Save All Window To \r\n\"";
    const size_t start = text.find(prefix);
    const size_t end = start == std::string::npos ? start : text.find("\".", start + prefix.size());
    if (end == std::string::npos) {
        return {};
    }
    const std::string folder = text.substr(start + prefix.size(), end - start - prefix.size());
    return std::wstring(folder.begin(), folder.end()); // the build's output folder is ASCII
}

TEST(QuietEndToEnd, ExitCodeTellsTheOutcomeAndNoDialogShows)
{
    struct Case {
        const wchar_t* arguments;
        bool handsStandardError;
        DWORD exitCode;
        std::vector<std::string> errorParts; // in the standard error, in order
        bool namesRunFolder;                 // the text names a run folder holding the run record
    };
    const Case cases[] = {
        {L"--quiet", true, 0, {"Success Save All Window To \r\n\"", "\".\r\n"}, true},
        {L"--watch --quiet --for 3s", true, 0, {"Success Save All Window To \r\n\""}, true},
        {L"--stop --quiet", true, 1, {"No watch is running.\r\n"}, false},
        {L"--quiet --look", true, 2, {"Unknown or repeated argument \"--look\".", "Usage:", "Deployment:"}, false},
        // Without --quiet the usage goes to standard error too rather than into a box.
        {L"/?", true, 0, {"Usage:", "Watching:", "--quiet", "--register-events"}, false},
        // A scheduled task hands over no standard error: the exit code alone tells.
        {L"--stop --quiet", false, 1, {}, false},
        {L"/quiet /look", false, 2, {}, false},
    };
    const std::wstring folder = TestSupport::MakeScratchDirectory(L"QuietEndToEnd");
    int index = 0;
    for (const Case& example : cases) {
        SCOPED_TRACE(testing::Message() << std::string(example.arguments, example.arguments + wcslen(example.arguments))
                                        << (example.handsStandardError ? ", standard error to a file" : ""));
        const InheritedErrorFile error(folder + L"\\stderr" + std::to_wstring(++index) + L".txt");
        ASSERT_NE(error.Handle(), INVALID_HANDLE_VALUE);
        TestSupport::DebugCaptureOptions options;
        options.program = TestSupport::ProgramDirectory() + L"\\Morvane.exe";
        options.arguments = example.arguments;
        options.timeLimitMilliseconds = 120000;
        options.standardError = example.handsStandardError ? error.Handle() : nullptr;
        const TestSupport::DebugCaptureResult result = TestSupport::RunWithDebugCapture(options);
        ASSERT_TRUE(result.failure.empty()) << result.failure;
        ASSERT_TRUE(result.exited);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, example.exitCode);
        EXPECT_TRUE(result.dialogCaptions.empty()) << result.dialogCaptions.size();
        EXPECT_TRUE(result.messageBoxTexts.empty());

        const std::string text = error.Text();
        size_t at = 0;
        for (const std::string& part : example.errorParts) {
            at = text.find(part, at);
            ASSERT_NE(at, std::string::npos) << part << "\n" << text;
        }
        if (example.errorParts.empty()) {
            EXPECT_EQ(text, "");
        }
        if (example.namesRunFolder) {
            const std::wstring runFolder = NamedFolder(text);
            ASSERT_FALSE(runFolder.empty()) << text;
            EXPECT_NE(::GetFileAttributesW((runFolder + L"\\Morvane.Run.json").c_str()), INVALID_FILE_ATTRIBUTES);
        }
    }
    TestSupport::RemoveTree(folder);
}

} // namespace
