#include "capture/WindowShotFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

Morvane::WindowInfo RecordOf(const std::wstring& imagePath)
{
    Morvane::WindowInfo record;
    record.mWindowHandle = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0xA0B2C));
    record.mProcessId = 4312;
    record.mThreadId = 4316;
    record.mProcessDosPath = imagePath;
    return record;
}

std::wstring FolderFor(const std::wstring& imagePath)
{
    return Morvane::MakeWindowShotFolder(L"C:\\out", RecordOf(imagePath));
}

TEST(WindowShotFolderName, KeepsTheExactWideImageName)
{
    EXPECT_EQ(FolderFor(L"C:\\Windows\\System32\\notepad.exe"),
              L"C:\\out\\WindowShot\\[notepad.exe]-0x00000000000A0B2C-4312-4316\\");
    // CJK, Greek, Cyrillic and the fullwidth reverse solidus are plain characters of the name.
    EXPECT_EQ(FolderFor(L"D:\\t\\\x6F22\x5B57\x03A9\x0416.exe"),
              L"C:\\out\\WindowShot\\[\x6F22\x5B57\x03A9\x0416.exe]-0x00000000000A0B2C-4312-4316\\");
    EXPECT_EQ(FolderFor(L"D:\\t\\..\xFF3C..\xFF3C..\xFF3Cx.exe"),
              L"C:\\out\\WindowShot\\[..\xFF3C..\xFF3C..\xFF3Cx.exe]-0x00000000000A0B2C-4312-4316\\");
    // No backslash at all: the whole path is the name.
    EXPECT_EQ(FolderFor(L"x.exe"), L"C:\\out\\WindowShot\\[x.exe]-0x00000000000A0B2C-4312-4316\\");
}

TEST(WindowShotFolderName, NothingInTheNameLeavesItsOwnLevel)
{
    const std::wstring hostile = std::wstring(L"C:\\a\\../..//x\r\n\t:*?\"<>|") + L'\0' + L"y.exe";
    const std::wstring folder = FolderFor(hostile);
    EXPECT_EQ(folder, L"C:\\out\\WindowShot\\[.._..__x___________y.exe]-0x00000000000A0B2C-4312-4316\\");
    // Exactly the levels of the output directory, WindowShot and the window's own folder.
    EXPECT_EQ(std::count(folder.begin(), folder.end(), L'\\'), 4);
    EXPECT_EQ(folder.find(L'/'), std::wstring::npos);
}

} // namespace
