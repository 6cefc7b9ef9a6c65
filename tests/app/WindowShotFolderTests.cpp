// The folder path of one window's shot, from an output folder passed in.

#include "capture/WindowShotFolder.h"

#include <gtest/gtest.h>

namespace {

Morvane::WindowInfo RecordOf(const wchar_t* processPath, ULONG_PTR handle, std::uint32_t processId,
                             std::uint32_t threadId)
{
    Morvane::WindowInfo record;
    record.mProcessDosPath = processPath;
    record.mWindowHandle = reinterpret_cast<HWND>(handle);
    record.mProcessId = processId;
    record.mThreadId = threadId;
    return record;
}

TEST(WindowShotFolder, ImageNameHandleAndIdsBelowTheOutputFolder)
{
    EXPECT_EQ(Morvane::MakeWindowShotFolder(L"D:\\Runs\\20240305-080709-70-1-2",
                                            RecordOf(L"C:\\Program Files\\Tool\\App.exe", 0x1A2B3C, 4312, 77)),
              L"D:\\Runs\\20240305-080709-70-1-2\\WindowShot\\[App.exe]-0x00000000001A2B3C-4312-77\\");
    // All 64 bits of the handle, the ids in full.
    EXPECT_EQ(Morvane::MakeWindowShotFolder(L".", RecordOf(L"C:\\a\\b c.exe", 0xFEDCBA9876543210ull, 4294967295u, 0)),
              L".\\WindowShot\\[b c.exe]-0xFEDCBA9876543210-4294967295-0\\");
    // The run record names the same folder relative to the output folder, with '/'.
    EXPECT_EQ(Morvane::MakeRelativeWindowShotFolder(RecordOf(L"C:\\a\\b c.exe", 0x1A2B3C, 4312, 77)),
              L"WindowShot/[b c.exe]-0x00000000001A2B3C-4312-77");
}

TEST(WindowShotFolder, PathWithoutAFolderIsItsOwnImageName)
{
    EXPECT_EQ(Morvane::MakeWindowShotFolder(L"out", RecordOf(L"App.exe", 1, 2, 3)),
              L"out\\WindowShot\\[App.exe]-0x0000000000000001-2-3\\");
    EXPECT_EQ(Morvane::MakeWindowShotFolder(L"out", RecordOf(L"", 1, 2, 3)),
              L"out\\WindowShot\\[]-0x0000000000000001-2-3\\");
}

} // namespace
