// Sampling a window whose process fails to open with a last error of 0: the window is skipped
// all the same; and the process is opened once for the whole sample.

#include "capture/WindowInfo.h"

#include "support/DebugLineCapture.h"
#include "support/FixtureWindows.h"
#include "support/ImportPatch.h"

#include <gtest/gtest.h>

#include <string>

TEST_SUPPORT_IMPORT_SLOT(OpenProcess);

namespace {

using TestSupport::ImportPatch;

// The first `sPassing` calls go through; the others fail with a last error of 0.
struct SilentOpenProcess {
    static inline int sPassing = 0;
    static inline int sCalls = 0;
    static inline decltype(&::OpenProcess) sReal = nullptr;

    static HANDLE WINAPI Call(DWORD access, BOOL inherit, DWORD id)
    {
        if (sCalls++ < sPassing) {
            return sReal(access, inherit, id);
        }
        ::SetLastError(0);
        return nullptr;
    }
};

class SamplingLastErrorZero : public ::testing::Test {
protected:
    void SetUp() override
    {
        mWindow = mWindows.Open(TestSupport::FixtureWindowSpec{
            {140, 160, 460, 400}, L"Silent", L"MorvaneSilentOpen", WS_POPUP | WS_VISIBLE, 0, RGB(40, 90, 160)});
        ASSERT_TRUE(mWindow) << mWindow.failure;
    }

    HRESULT SampleWithPassingOpens(int passing, Morvane::WindowInfo& record)
    {
        SilentOpenProcess::sPassing = passing;
        SilentOpenProcess::sCalls = 0;
        ImportPatch<decltype(&::OpenProcess)> patch(__imp_OpenProcess, &SilentOpenProcess::Call);
        SilentOpenProcess::sReal = patch.Original();
        return record.SampleInitialize(mWindow.handle);
    }

    TestSupport::FixtureWindows mWindows;
    TestSupport::FixtureWindow mWindow;
};

TEST_F(SamplingLastErrorZero, FirstOpenGivesItsLineAndSkipsTheWindow)
{
    TestSupport::DebugLineCapture capture;
    Morvane::WindowInfo record;
    EXPECT_EQ(SampleWithPassingOpens(0, record), E_FAIL);
    EXPECT_EQ(record.mWindowHandle, nullptr);
    const std::string message = "]:OpenProcess(" + std::to_string(::GetCurrentProcessId()) + ") error:0.\r\n";
    EXPECT_EQ(capture.CountContaining(message), 1u);
    EXPECT_EQ(capture.CountContaining(" Morvane::WindowInfo::SampleInitialize,"), 1u);
}

TEST_F(SamplingLastErrorZero, OneOpenServesTheWholeSample)
{
    TestSupport::DebugLineCapture capture;
    Morvane::WindowInfo record;
    EXPECT_EQ(SampleWithPassingOpens(1, record), S_OK);
    EXPECT_EQ(SilentOpenProcess::sCalls, 1);
    EXPECT_EQ(record.mWindowHandle, mWindow.handle);
    EXPECT_FALSE(record.mProcessDosPath.empty());
    EXPECT_NE(record.mProcessCreationTime, 0u);
    EXPECT_EQ(capture.Lines().size(), 0u);
}

} // namespace
