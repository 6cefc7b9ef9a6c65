#include "capture/WindowInfo.h"
#include "capture/WindowSample.h"
#include "support/DebugLineCapture.h"
#include "support/FixtureWindows.h"
#include "support/ImportPatch.h"
#include "system/Module.h"
#include "system/ModuleHolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST_SUPPORT_IMPORT_SLOT(OpenProcess);
TEST_SUPPORT_IMPORT_SLOT(GetProcessTimes);
TEST_SUPPORT_IMPORT_SLOT(LoadLibraryW);

namespace {

using Morvane::WindowInfo;
using TestSupport::FixtureWindow;
using TestSupport::FixtureWindowSpec;
using TestSupport::ImportPatch;

constexpr char kSampleFunction[] = " Morvane::WindowInfo::SampleInitialize,";

// Injected failures: the first `sPassing` calls go through, later ones fail with `sError`.
struct Injection {
    static inline int sPassing = 0;
    static inline int sCalls = 0;
    static inline DWORD sError = 0;
    static inline decltype(&::OpenProcess) sRealOpenProcess = nullptr;

    static void Arm(int passing, DWORD error)
    {
        sPassing = passing;
        sCalls = 0;
        sError = error;
    }

    static HANDLE WINAPI OpenProcess(DWORD access, BOOL inherit, DWORD id)
    {
        if (sCalls++ < sPassing) {
            return sRealOpenProcess(access, inherit, id);
        }
        ::SetLastError(sError);
        return nullptr;
    }

    static BOOL WINAPI GetProcessTimes(HANDLE, LPFILETIME, LPFILETIME, LPFILETIME, LPFILETIME)
    {
        ::SetLastError(sError);
        return FALSE;
    }

    static HMODULE WINAPI LoadLibraryW(LPCWSTR)
    {
        ++sCalls;
        ::SetLastError(sError);
        return nullptr;
    }
};

std::wstring OwnExecutable()
{
    std::wstring path;
    EXPECT_EQ(TalvexBasic::Modules::Module::GetModuleFullFileName$Static(path), S_OK);
    return path;
}

class WindowSampling : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sWindows = new TestSupport::FixtureWindows();
        sWindow = sWindows->Open(FixtureWindowSpec{{100, 120, 500, 420},
                                                   L"Sampled",
                                                   L"MorvaneSampled",
                                                   WS_POPUP | WS_VISIBLE | WS_BORDER,
                                                   WS_EX_TOOLWINDOW,
                                                   RGB(10, 200, 30)});
    }
    static void TearDownTestSuite()
    {
        delete sWindows;
        sWindows = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(sWindow) << sWindow.failure; }

    static inline TestSupport::FixtureWindows* sWindows = nullptr;
    static inline FixtureWindow sWindow;
};

TEST_F(WindowSampling, VisibleWindowGivesACompleteRecord)
{
    TestSupport::DebugLineCapture capture;
    WindowInfo record;
    ASSERT_EQ(record.SampleInitialize(sWindow.handle), S_OK);
    EXPECT_EQ(record.mWindowHandle, sWindow.handle);
    EXPECT_EQ(record.mStyle, static_cast<std::uint32_t>(WS_POPUP | WS_VISIBLE | WS_BORDER | WS_CLIPSIBLINGS));
    EXPECT_NE(record.mExtendedStyle & WS_EX_TOOLWINDOW, 0u);
    EXPECT_EQ(record.mProcessId, ::GetCurrentProcessId());
    EXPECT_EQ(record.mThreadId, sWindow.threadId);
    FILETIME creation{}, scratch{};
    ASSERT_TRUE(::GetProcessTimes(::GetCurrentProcess(), &creation, &scratch, &scratch, &scratch));
    EXPECT_EQ(record.mProcessCreationTime,
              (static_cast<std::uint64_t>(creation.dwHighDateTime) << 32) + creation.dwLowDateTime);
    EXPECT_EQ(record.mWindowRectangle.left, 100);
    EXPECT_EQ(record.mWindowRectangle.top, 120);
    EXPECT_EQ(record.mWindowRectangle.right, 500);
    EXPECT_EQ(record.mWindowRectangle.bottom, 420);
    EXPECT_NE(record.mDisplayMonitorHandle, nullptr);
    EXPECT_EQ(record.mDisplayMonitorInfo.cbSize, 104u);
    EXPECT_EQ(record.mDisplayMonitorInfo.rcMonitor.right, 1920);
    EXPECT_EQ(record.mDisplayMonitorInfo.rcMonitor.bottom, 1080);
    EXPECT_EQ(record.mZonePosition, Morvane::LeftTopCornet);
    EXPECT_EQ(_wcsicmp(record.mProcessDosPath.c_str(), OwnExecutable().c_str()), 0);
    EXPECT_TRUE(record.mCaption.empty());
    EXPECT_TRUE(record.mClassName.empty());
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(WindowSampling, HiddenAndTooSmallWindowsAreRefusedSilently)
{
    TestSupport::DebugLineCapture capture;
    const FixtureWindow hidden =
        sWindows->Open(FixtureWindowSpec{{0, 0, 200, 200}, L"Hidden", L"MorvaneSampled", WS_POPUP, 0, RGB(1, 2, 3)});
    const FixtureWindow narrow = sWindows->Open(
        FixtureWindowSpec{{600, 0, 603, 200}, L"Narrow", L"MorvaneSampled", WS_POPUP | WS_VISIBLE, 0, RGB(1, 2, 3)});
    const FixtureWindow flat = sWindows->Open(
        FixtureWindowSpec{{700, 0, 900, 3}, L"Flat", L"MorvaneSampled", WS_POPUP | WS_VISIBLE, 0, RGB(1, 2, 3)});
    const FixtureWindow tiny = sWindows->Open(
        FixtureWindowSpec{{1000, 10, 1004, 14}, L"Tiny", L"MorvaneSampled", WS_POPUP | WS_VISIBLE, 0, RGB(1, 2, 3)});
    ASSERT_TRUE(hidden && narrow && flat && tiny);

    WindowInfo hiddenRecord;
    EXPECT_EQ(hiddenRecord.SampleInitialize(hidden.handle), E_ABORT);
    EXPECT_EQ(hiddenRecord.mWindowHandle, nullptr);
    EXPECT_EQ(hiddenRecord.mProcessId, 0u) << "refused before anything else was read";

    WindowInfo narrowRecord;
    EXPECT_EQ(narrowRecord.SampleInitialize(narrow.handle), E_ABORT);
    EXPECT_EQ(narrowRecord.mWindowHandle, nullptr);
    WindowInfo flatRecord;
    EXPECT_EQ(flatRecord.SampleInitialize(flat.handle), E_ABORT);

    WindowInfo tinyRecord;
    EXPECT_EQ(tinyRecord.SampleInitialize(tiny.handle), S_OK);
    EXPECT_EQ(tinyRecord.mZonePosition, Morvane::Center);
    EXPECT_TRUE(capture.Lines().empty());

    EXPECT_TRUE(sWindows->Close(hidden.handle));
    EXPECT_TRUE(sWindows->Close(narrow.handle));
    EXPECT_TRUE(sWindows->Close(flat.handle));
    EXPECT_TRUE(sWindows->Close(tiny.handle));
}

// One platform call of the sample failing, and what the sample must make of it.
struct InjectedFailure {
    const char* name;
    bool processTimes; // GetProcessTimes fails; otherwise OpenProcess
    int passing;       // calls that go through before the failing one
    DWORD error;
    HRESULT result;
    bool recordKept;        // the window is still sampled
    bool classified;        // its zone was found before the failure
    const char* lineFormat; // the one line expected, "%u" standing for the process id; null: none
    Morvane::SkipReason reason;
};

class WindowSamplingFailure : public WindowSampling, public ::testing::WithParamInterface<InjectedFailure> {};

TEST_P(WindowSamplingFailure, EndsTheSampleAsTheErrorRequires)
{
    const InjectedFailure& failure = GetParam();
    Injection::sRealOpenProcess = __imp_OpenProcess;
    ImportPatch<decltype(&::OpenProcess)> openPatch(
        __imp_OpenProcess, failure.processTimes ? Injection::sRealOpenProcess : &Injection::OpenProcess);
    ImportPatch<decltype(&::GetProcessTimes)> timesPatch(
        __imp_GetProcessTimes, failure.processTimes ? &Injection::GetProcessTimes : __imp_GetProcessTimes);
    TestSupport::DebugLineCapture capture;
    Injection::Arm(failure.passing, failure.error);
    const Morvane::WindowSample sample = Morvane::SampleWindow(sWindow.handle);
    const WindowInfo& record = sample.facts;
    EXPECT_EQ(sample.result, failure.result);
    EXPECT_EQ(sample.skipReason, failure.reason);
    EXPECT_EQ(record.mWindowHandle, failure.recordKept ? sWindow.handle : nullptr);
    EXPECT_EQ(record.mZonePosition, failure.classified ? Morvane::LeftTopCornet : Morvane::InvalidRectangle);
    if (failure.processTimes) {
        EXPECT_EQ(record.mProcessCreationTime, 0u);
    }
    const auto lines = capture.Lines();
    if (failure.lineFormat == nullptr) {
        EXPECT_TRUE(lines.empty());
        return;
    }
    char expected[128];
    std::snprintf(expected, sizeof expected, failure.lineFormat, static_cast<unsigned>(::GetCurrentProcessId()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(kSampleFunction), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(expected), std::string::npos) << lines[0];
}

INSTANTIATE_TEST_SUITE_P(
    InjectedFailures, WindowSamplingFailure,
    ::testing::Values(
        // Processes with higher rights than ours are skipped without a word.
        InjectedFailure{"ProcessThatMayNotBeOpenedIsSkippedWithoutALine", false, 0, ERROR_ACCESS_DENIED, E_ACCESSDENIED,
                        false, false, nullptr, Morvane::SkipReason::ProcessNotOpened},
        InjectedFailure{"ProcessThatFailsToOpenOtherwiseGivesOneLine", false, 0, ERROR_INVALID_PARAMETER,
                        HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), false, false, "]:OpenProcess(%u) error:87.\r\n",
                        Morvane::SkipReason::ProcessNotOpened},
        InjectedFailure{"FailedProcessTimesStillGiveARecordWithCreationTimeZero", true, 0, ERROR_ACCESS_DENIED, S_OK,
                        true, true, "]:GetProcessTimes(%u) error:5.\r\n", Morvane::SkipReason::None}),
    [](const ::testing::TestParamInfo<InjectedFailure>& info) { return std::string(info.param.name); });

TEST_F(WindowSampling, LibraryThatCannotBeLoadedFailsTheSampleWithAChainOfLines)
{
    using TalvexBasic::Modules::Module;
    using TalvexBasic::Modules::ModuleHolderMapManager;
    // Forget the routine and the loaded library so that the next query has to load it again.
    Module::sGetModuleFileNameExW$Routine = nullptr;
    ModuleHolderMapManager::sModuleHolderMap.erase(L"PsApi.dll");
    {
        ImportPatch<decltype(&::LoadLibraryW)> patch(__imp_LoadLibraryW, &Injection::LoadLibraryW);
        TestSupport::DebugLineCapture capture;
        Injection::Arm(0, ERROR_MOD_NOT_FOUND);
        const Morvane::WindowSample sample = Morvane::SampleWindow(sWindow.handle);
        EXPECT_EQ(sample.result, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
        EXPECT_EQ(sample.skipReason, Morvane::SkipReason::SampleFailed);
        EXPECT_EQ(sample.facts.mWindowHandle, nullptr);
        EXPECT_TRUE(sample.facts.mProcessDosPath.empty());
        EXPECT_EQ(Injection::sCalls, 1);
        const auto lines = capture.Lines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[0].find(" TalvexBasic::Modules::ModuleHolder::GetOrLoad,"), std::string::npos);
        EXPECT_NE(lines[0].find("]:LoadLibraryW(PsApi.dll) error:126.\r\n"), std::string::npos) << lines[0];
        EXPECT_NE(lines[1].find(" TalvexBasic::Modules::Module::QueryModuleDosFullFileName$Static,"),
                  std::string::npos);
        EXPECT_NE(lines[1].find("]:Modules::ModuleHolderMapManager::Get$Static(PsApi.dll) return:0x8007007e.\r\n"),
                  std::string::npos)
            << lines[1];
        EXPECT_EQ(Module::sGetModuleFileNameExW$Routine, nullptr);
    }
    // Nothing was stored, so the next sample loads the library and succeeds.
    WindowInfo record;
    EXPECT_EQ(record.SampleInitialize(sWindow.handle), S_OK);
    EXPECT_NE(Module::sGetModuleFileNameExW$Routine, nullptr);
}

} // namespace
