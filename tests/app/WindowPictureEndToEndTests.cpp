// The window pictures that the real Morvane.exe saves for windows of other processes, where
// Wine's PrintWindow paints nothing, and for a hung window: each shows the window's own pixels,
// taken from the screen, with one line that says so before the step's result. Two windows alike
// (size, colour, caption) give one picture, stored once.

#include "capture/OutputFileNames.h"
#include "support/FileIdentity.h"
#include "support/FixtureProcess.h"
#include "support/JpegReader.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "system/HResult.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using TestSupport::FixtureWindow;
using TestSupport::FixtureWindowSpec;

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (const wchar_t character : text) {
        narrow += static_cast<char>(character < 0x80 ? character : '?');
    }
    return narrow;
}

std::string Handle(HWND window)
{
    char text[24];
    std::snprintf(text, sizeof(text), "0x%016llX", TalvexBasic::PointerBits(window));
    return text;
}

struct Window {
    FixtureWindow window;
    FixtureWindowSpec layout;
};

std::wstring FolderOf(const std::wstring& shotFolder, const Window& window)
{
    wchar_t numbers[80];
    std::swprintf(numbers, 80, L"]-0x%016llX-%lu-%lu", TalvexBasic::PointerBits(window.window.handle),
                  static_cast<unsigned long>(window.window.processId),
                  static_cast<unsigned long>(window.window.threadId));
    return shotFolder + L"\\[DesktopFixture.exe" + numbers;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 2;
    }
    return lines;
}

::testing::AssertionResult ShowsColour(const TestSupport::DecodedImage& image, int x, int y, COLORREF colour)
{
    if (image.width == 0) {
        return ::testing::AssertionFailure() << "no picture";
    }
    const TestSupport::Rgb found = image.MeanAround(x, y, 4);
    if (TestSupport::IsNear(found, GetRValue(colour), GetGValue(colour), GetBValue(colour))) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "found " << TestSupport::Describe(found) << " at " << x << ", " << y;
}

// One run of Morvane.exe over windows of two other processes, one of them hung and one reaching
// beyond the monitor's right edge.
class WindowPictureRun : public ::testing::Test {
protected:
    struct Run {
        TestSupport::FixtureProcess mFirst;
        TestSupport::FixtureProcess mSecond;
        Window mRed;      // first process
        Window mBeyond;   // first process, 80 pixels beyond the right edge
        Window mGreen;    // second process
        Window mRedAgain; // second process: mRed's size, colour and caption, elsewhere
        Window mHung;     // second process, its thread no longer pumps messages
        TestSupport::DebugCaptureResult mResult;
        std::wstring mOutputDirectory;
        std::wstring mShotFolder;
        std::vector<std::string> mLogLines;
        std::string mFailure;

        ~Run()
        {
            if (mHung.window) {
                (void)mSecond.Close(mHung.window.handle);
            }
            (void)mSecond.Quit();
            (void)mFirst.Quit();
            if (!mOutputDirectory.empty()) {
                TestSupport::RemoveTree(mOutputDirectory);
            }
        }

        bool Open(TestSupport::FixtureProcess& process, Window& into, RECT rect, const wchar_t* className,
                  COLORREF fill, bool hung = false)
        {
            into.layout.rect = rect;
            into.layout.caption = className;
            into.layout.className = className;
            into.layout.fill = fill;
            into.window = hung ? process.OpenHung(into.layout) : process.Open(into.layout);
            if (!into.window) {
                mFailure = "cannot open " + Narrow(className) + ": " + into.window.failure;
            }
            return static_cast<bool>(into.window);
        }

        void Prepare()
        {
            if (::GetSystemMetrics(SM_CMONITORS) != 1) {
                mFailure = "the black part beyond the edge needs a single monitor";
                return;
            }
            const LONG edge = ::GetSystemMetrics(SM_CXSCREEN);
            if (!mFirst.Start() || !mSecond.Start()) {
                mFailure = "DesktopFixture.exe: " + mFirst.Failure() + mSecond.Failure();
                return;
            }
            if (!Open(mFirst, mRed, RECT{60, 80, 360, 280}, L"PictureRed", RGB(220, 30, 30)) ||
                !Open(mFirst, mBeyond, RECT{edge - 120, 80, edge + 80, 240}, L"PictureBeyond", RGB(40, 70, 220)) ||
                !Open(mSecond, mGreen, RECT{420, 80, 720, 280}, L"PictureGreen", RGB(30, 190, 60)) ||
                !Open(mSecond, mRedAgain, RECT{60, 340, 360, 540}, L"PictureRed", RGB(220, 30, 30)) ||
                !Open(mSecond, mHung, RECT{780, 80, 1000, 280}, L"PictureHung", RGB(240, 150, 20), true)) {
                return;
            }
            mResult = TestSupport::RunMorvane();
            if (!mResult.failure.empty()) {
                mFailure = "Morvane.exe: " + mResult.failure;
                return;
            }
            mOutputDirectory = TestSupport::CompletionDirectory(mResult);
            if (mOutputDirectory.empty()) {
                mFailure = "no completion message";
                return;
            }
            mShotFolder = mOutputDirectory + L"\\WindowShot";
            // The tool's lines are in its log file while its logger is installed.
            const std::wstring logFolder = mOutputDirectory + L"\\Log";
            for (const std::wstring& name : TestSupport::FilesIn(logFolder)) {
                for (std::string& line : SplitLines(TestSupport::ReadWholeFile(logFolder + L"\\" + name))) {
                    mLogLines.push_back(std::move(line));
                }
            }
        }
    };

    static void SetUpTestSuite()
    {
        sRun = std::make_unique<Run>();
        sRun->Prepare();
    }
    static void TearDownTestSuite() { sRun.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(sRun->mFailure.empty()) << sRun->mFailure;
        ASSERT_TRUE(mGdiplus.Started());
    }

    // The window's picture, at the window's size.
    static void ExpectPicture(const Window& window, TestSupport::DecodedImage& picture)
    {
        std::string reason;
        const std::wstring path = FolderOf(sRun->mShotFolder, window) + L"\\" + Morvane::kWindowPictureFileName;
        ASSERT_TRUE(TestSupport::DecodeJpegFile(path, picture, reason)) << Narrow(path) << ": " << reason;
        const RECT& rect = window.layout.rect;
        EXPECT_EQ(picture.width, rect.right - rect.left);
        EXPECT_EQ(picture.height, rect.bottom - rect.top);
    }

    // Exactly one fallback line for the window, right before its step's result 0x0.
    static void ExpectFallbackLine(const Window& window, const std::string& reason)
    {
        const std::string expected = " Morvane::SaveWindowShot,";
        const std::string text = "]:Window picture of " + Handle(window.window.handle) + " " + reason;
        const std::vector<std::string>& lines = sRun->mLogLines;
        size_t found = lines.size();
        size_t count = 0;
        for (size_t index = 0; index < lines.size(); ++index) {
            if (lines[index].find("]:Window picture of " + Handle(window.window.handle)) != std::string::npos) {
                ++count;
                found = index;
            }
        }
        ASSERT_EQ(count, 1u) << text;
        EXPECT_NE(lines[found].find(expected), std::string::npos) << lines[found];
        EXPECT_NE(lines[found].find(text), std::string::npos) << lines[found];
        ASSERT_LT(found + 1, lines.size());
        const std::string returned = "]:CaptureWindowToJpegFile$Static(" + Narrow(FolderOf(sRun->mShotFolder, window)) +
                                     "\\Morvane.Window.jpg) return:0x0.";
        EXPECT_NE(lines[found + 1].find(returned), std::string::npos) << lines[found + 1];
    }

    static inline std::unique_ptr<Run> sRun;
    TestSupport::GdiplusSession mGdiplus;
};

} // namespace

TEST_F(WindowPictureRun, WindowsOfOtherProcessesShowTheirOwnColours)
{
    for (const Window* window : {&sRun->mRed, &sRun->mGreen}) {
        SCOPED_TRACE(Narrow(window->layout.className));
        TestSupport::DecodedImage picture;
        ExpectPicture(*window, picture);
        const RECT& rect = window->layout.rect;
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        for (const POINT point : {POINT{width / 2, height / 2}, POINT{5, 5}, POINT{width - 6, height - 6}}) {
            EXPECT_TRUE(ShowsColour(picture, point.x, point.y, window->layout.fill));
        }
        ExpectFallbackLine(*window, "from the screen: PrintWindow pictures were black.");
    }
}

TEST_F(WindowPictureRun, PartBeyondTheMonitorStaysBlack)
{
    TestSupport::DecodedImage picture;
    ExpectPicture(sRun->mBeyond, picture);
    EXPECT_TRUE(ShowsColour(picture, 60, 80, sRun->mBeyond.layout.fill));
    EXPECT_TRUE(ShowsColour(picture, 112, 80, sRun->mBeyond.layout.fill));
    EXPECT_TRUE(ShowsColour(picture, 128, 80, RGB(0, 0, 0)));
    EXPECT_TRUE(ShowsColour(picture, 190, 150, RGB(0, 0, 0)));
    ExpectFallbackLine(sRun->mBeyond, "from the screen: PrintWindow pictures were black.");
}

TEST_F(WindowPictureRun, HungWindowIsGivenUpOnAndShownFromTheScreen)
{
    TestSupport::DecodedImage picture;
    ExpectPicture(sRun->mHung, picture);
    EXPECT_TRUE(ShowsColour(picture, 110, 100, sRun->mHung.layout.fill));
    EXPECT_TRUE(ShowsColour(picture, 5, 5, sRun->mHung.layout.fill));
    ExpectFallbackLine(sRun->mHung, "from the screen: the window did not answer (0x800705b4).");
    // The capture's own line for the window given up on is still there.
    size_t given = 0;
    for (const auto& line : sRun->mResult.lines) {
        if (line.narrow.find("CaptureToBitmap$Static,") != std::string::npos &&
            line.narrow.find("SendMessageTimeoutW(" + Handle(sRun->mHung.window.handle)) != std::string::npos) {
            ++given;
        }
    }
    EXPECT_EQ(given, 1u);
}

// The run record marks only the window that was given up on as hung; a window whose picture came
// from the screen because PrintWindow painted it black answered in time.
TEST_F(WindowPictureRun, RunRecordCallsOnlyTheGivenUpWindowHung)
{
    const nlohmann::json record = nlohmann::json::parse(
        TestSupport::ReadWholeFile(sRun->mOutputDirectory + L"\\" + Morvane::kRunRecordFileName), nullptr, false);
    ASSERT_TRUE(record.is_object());
    std::map<std::string, bool> hungByHandle;
    for (const nlohmann::json& window : record["windows"]) {
        hungByHandle[window["handle"].get<std::string>()] = window.value("hung", false);
    }
    EXPECT_TRUE(hungByHandle.at(Handle(sRun->mHung.window.handle)));
    for (const Window* window : {&sRun->mRed, &sRun->mBeyond, &sRun->mGreen}) {
        EXPECT_FALSE(hungByHandle.at(Handle(window->window.handle))) << Handle(window->window.handle);
    }
}

// The same window shown twice in one run (another of its kind, alike to the pixel) is one picture
// stored once: its second folder holds a further name of the first file. Different windows do
// not share a file.
TEST_F(WindowPictureRun, EqualWindowPicturesAreNamesOfOneFile)
{
    const auto picturePath = [](const Window& window) {
        return FolderOf(sRun->mShotFolder, window) + L"\\" + Morvane::kWindowPictureFileName;
    };
    TestSupport::DecodedImage again;
    ExpectPicture(sRun->mRedAgain, again);
    EXPECT_TRUE(ShowsColour(again, 150, 100, sRun->mRedAgain.layout.fill));

    const TestSupport::FileIdentity red = TestSupport::IdentifyFile(picturePath(sRun->mRed));
    const TestSupport::FileIdentity redAgain = TestSupport::IdentifyFile(picturePath(sRun->mRedAgain));
    ASSERT_TRUE(red.read);
    EXPECT_TRUE(redAgain.SameFileAs(red));
    EXPECT_EQ(red.links, 2u);
    EXPECT_EQ(TestSupport::ReadWholeFile(picturePath(sRun->mRedAgain)),
              TestSupport::ReadWholeFile(picturePath(sRun->mRed)));
    for (const Window* other : {&sRun->mGreen, &sRun->mBeyond, &sRun->mHung}) {
        SCOPED_TRACE(Narrow(other->layout.className));
        const TestSupport::FileIdentity identity = TestSupport::IdentifyFile(picturePath(*other));
        ASSERT_TRUE(identity.read);
        EXPECT_FALSE(identity.SameFileAs(red));
        EXPECT_EQ(identity.links, 1u);
    }
}
