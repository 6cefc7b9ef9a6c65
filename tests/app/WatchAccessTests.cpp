// A watch run as administrator refuses to be opened by --stop or a second --watch that are not:
// each says so, with the exit code of the refusal, and writes nothing. Wine has no elevation, so
// the refusal comes through the import slots of the opening routines.

#include "ProgramEntry.h"
#include "support/ImportPatch.h"
#include "support/MessageBoxCollector.h"
#include "support/TestPaths.h"
#include "watch/WatchSignals.h"

#include <gtest/gtest.h>

#include <string>

TEST_SUPPORT_IMPORT_SLOT(OpenEventW);
TEST_SUPPORT_IMPORT_SLOT(OpenFileMappingW);
TEST_SUPPORT_IMPORT_SLOT(CreateFileMappingW);

namespace {

using TestSupport::ImportPatch;

// No watch is reachable: each opening routine fails with its error.
struct Refusals {
    static inline DWORD openEvent = ERROR_FILE_NOT_FOUND;
    static inline DWORD openMapping = ERROR_FILE_NOT_FOUND;
    static inline DWORD createMapping = ERROR_FILE_NOT_FOUND;

    static HANDLE WINAPI OpenEvent(DWORD, BOOL, LPCWSTR) { return Fail(openEvent); }
    static HANDLE WINAPI OpenMapping(DWORD, BOOL, LPCWSTR) { return Fail(openMapping); }
    static HANDLE WINAPI CreateMapping(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD, LPCWSTR)
    {
        return Fail(createMapping);
    }
    static HANDLE Fail(DWORD error)
    {
        ::SetLastError(error);
        return nullptr;
    }
};

TEST(WatchAccess, OpenErrorsTellARefusalFromNoWatch)
{
    const struct {
        DWORD error;
        Morvane::RunningWatch running;
    } cases[] = {
        {ERROR_ACCESS_DENIED, Morvane::RunningWatch::Refused},
        {ERROR_FILE_NOT_FOUND, Morvane::RunningWatch::Absent},
        {ERROR_INVALID_HANDLE, Morvane::RunningWatch::Absent}, // the name is another kind of object
        {ERROR_SUCCESS, Morvane::RunningWatch::Absent},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(Morvane::RunningWatchFromOpenError(example.error), example.running) << example.error;
    }
}

TEST(WatchAccess, RefusedStopAndSecondWatchSaySoWithTheirExitCode)
{
    struct Case {
        const wchar_t* commandLine;
        // The errors of the opening routines; 0 where the routine is not reached.
        DWORD openEvent;
        DWORD openMapping;
        DWORD createMapping;
        int exitCode;
        const wchar_t* boxText;
        UINT boxIcon;
    };
    const Case cases[] = {
        {L"Morvane.exe --stop", ERROR_ACCESS_DENIED, 0, 0, 5, Morvane::kWatchRefusedStopText, MB_ICONWARNING},
        {L"Morvane.exe /STOP", ERROR_FILE_NOT_FOUND, 0, 0, 1, L"No watch is running.", MB_ICONINFORMATION},
        {L"Morvane.exe --watch", 0, ERROR_ACCESS_DENIED, 0, 5, Morvane::kWatchRefusedWatchText, MB_ICONWARNING},
        // Made by a watch run as administrator between the look and the making.
        {L"Morvane.exe --watch --for 10s", 0, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, 5,
         Morvane::kWatchRefusedWatchText, MB_ICONWARNING},
    };
    EXPECT_NE(std::wstring(Morvane::kWatchRefusedStopText).find(L"access to it was refused"), std::wstring::npos);
    EXPECT_NE(std::wstring(Morvane::kWatchRefusedWatchText).find(L"access to it was refused"), std::wstring::npos);

    const std::wstring outputs = TestSupport::ProgramDirectory() + L"\\Morvane\\Output";
    const size_t before = TestSupport::NamesIn(outputs).size();
    for (const Case& example : cases) {
        SCOPED_TRACE(std::string(example.commandLine, example.commandLine + wcslen(example.commandLine)));
        Refusals::openEvent = example.openEvent;
        Refusals::openMapping = example.openMapping;
        Refusals::createMapping = example.createMapping;
        const TestSupport::MessageBoxCollector boxes;
        int exitCode = -1;
        {
            const ImportPatch<decltype(&::OpenEventW)> openEvent(__imp_OpenEventW, &Refusals::OpenEvent);
            const ImportPatch<decltype(&::OpenFileMappingW)> openMapping(__imp_OpenFileMappingW,
                                                                         &Refusals::OpenMapping);
            const ImportPatch<decltype(&::CreateFileMappingW)> createMapping(__imp_CreateFileMappingW,
                                                                             &Refusals::CreateMapping);
            exitCode = Morvane::RunCommandLine(example.commandLine);
        }
        EXPECT_EQ(exitCode, example.exitCode);
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].text, example.boxText);
        EXPECT_EQ(boxes.Boxes()[0].flags & MB_ICONMASK, example.boxIcon);
    }
    EXPECT_EQ(TestSupport::NamesIn(outputs).size(), before);
}

} // namespace
