// How an outcome is told: the box as ever, or with --quiet (and for the usage) the text on standard
// error when there is one. In this process, standard error is pointed at a real file with
// SetStdHandle, and the boxes are collected through the import slot of MessageBoxW.

#include "OutcomeNotice.h"
#include "support/MessageBoxCollector.h"
#include "support/TestPaths.h"
#include "support/TestText.h"
#include "system/UniqueResource.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Morvane::ErrorOutput;
using Morvane::NoticeRoute;

// With standard error at hand, QuietTextGoesToStandardErrorAndNoBoxShows tells each route for real.
TEST(OutcomeNotice, RouteWithoutStandardError)
{
    const struct {
        bool quiet;
        bool usage;
        bool hasStandardError;
        NoticeRoute route;
    } cases[] = {
        {false, false, false, NoticeRoute::Box},
        {false, true, false, NoticeRoute::Box},
        {true, false, false, NoticeRoute::Nowhere},
        {true, true, false, NoticeRoute::Nowhere},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(Morvane::ChooseNoticeRoute(example.quiet, example.usage, example.hasStandardError), example.route)
            << example.quiet << example.usage << example.hasStandardError;
    }
}

TEST(OutcomeNotice, ErrorOutputFollowsWhatTheSystemTells)
{
    const struct {
        bool hasHandle;
        bool consoleMode;
        DWORD fileType;
        bool attached;
        ErrorOutput output;
    } cases[] = {
        {true, true, FILE_TYPE_CHAR, false, ErrorOutput::Console},
        {true, true, FILE_TYPE_CHAR, true, ErrorOutput::Console},
        {true, false, FILE_TYPE_DISK, true, ErrorOutput::Bytes}, // "2> file" from a console
        {true, false, FILE_TYPE_PIPE, false, ErrorOutput::Bytes},
        {true, false, FILE_TYPE_CHAR, false, ErrorOutput::Bytes}, // NUL
        {true, false, FILE_TYPE_UNKNOWN, true, ErrorOutput::ParentConsole},
        {true, false, FILE_TYPE_UNKNOWN, false, ErrorOutput::None},
        {false, false, FILE_TYPE_UNKNOWN, true, ErrorOutput::ParentConsole},
        {false, false, FILE_TYPE_UNKNOWN, false, ErrorOutput::None}, // a scheduled task
    };
    for (const auto& example : cases) {
        EXPECT_EQ(Morvane::ChooseErrorOutput(example.hasHandle, example.consoleMode, example.fileType, example.attached),
                  example.output)
            << example.hasHandle << example.consoleMode << example.fileType << example.attached;
    }
}

// Standard error of this process is a file of its own for the life of the object.
class StandardErrorToFile {
public:
    explicit StandardErrorToFile(const std::wstring& path)
        : mBefore(::GetStdHandle(STD_ERROR_HANDLE)),
          mFile(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr))
    {
        if (mFile) {
            ::SetStdHandle(STD_ERROR_HANDLE, mFile.get());
        }
    }
    ~StandardErrorToFile() { ::SetStdHandle(STD_ERROR_HANDLE, mBefore); }
    StandardErrorToFile(const StandardErrorToFile&) = delete;
    StandardErrorToFile& operator=(const StandardErrorToFile&) = delete;

    [[nodiscard]] bool Open() const noexcept { return static_cast<bool>(mFile); }

private:
    HANDLE mBefore;
    TalvexBasic::UniqueFileHandle mFile;
};

// Each notice told once, with standard error a file: what reaches the file (UTF-8, every
// character kept) and which boxes show.
TEST(OutcomeNotice, QuietTextGoesToStandardErrorAndNoBoxShows)
{
    const std::wstring text = L"Success Save All Window To \r\n\"C:\\\u00c9t\u00e9\\\u5de5\u5177\".";
    const struct {
        bool quiet;
        bool usage;
        bool boxShown;
        bool textWritten;
    } cases[] = {
        {false, false, true, false},
        {true, false, false, true},
        {false, true, false, true},
        {true, true, false, true},
    };
    const std::wstring folder = TestSupport::MakeScratchDirectory(L"OutcomeNotice");
    int index = 0;
    for (const auto& example : cases) {
        SCOPED_TRACE(testing::Message() << "quiet " << example.quiet << ", usage " << example.usage);
        const std::wstring path = folder + L"\\stderr" + std::to_wstring(++index) + L".txt";
        const TestSupport::MessageBoxCollector boxes;
        {
            const StandardErrorToFile redirected(path);
            ASSERT_TRUE(redirected.Open());
            Morvane::OutcomeNotice notice(example.quiet);
            if (example.usage) {
                notice.TellUsage(text);
            } else {
                notice.Tell(text, MB_ICONERROR);
            }
        }
        EXPECT_EQ(TestSupport::ReadWholeFile(path), example.textWritten ? TestSupport::Utf8(text + L"\r\n") : "");
        ASSERT_EQ(boxes.Boxes().size(), example.boxShown ? 1u : 0u);
        if (example.boxShown) {
            EXPECT_EQ(boxes.Boxes()[0].text, text);
            EXPECT_EQ(boxes.Boxes()[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
        }
    }
    TestSupport::RemoveTree(folder);
}

} // namespace
