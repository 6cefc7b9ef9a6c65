// Line breaks inside the values of the text record are written as "\r" and "\n", so that no
// caption, class name, image path or device name can forge a line of the record.

#include "capture/WindowRecordText.h"

#include "support/TestText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(WindowRecordEscaping, ValuesWithLineBreaksStayOnTheirOwnLine)
{
    Morvane::WindowInfo record;
    record.mCaption = L"x\r\nProcessDosPath: C:\\Windows\\explorer.exe";
    record.mClassName = L"class\nWindowCaption: forged\r";
    record.mProcessDosPath = L"C:\\a\rb\\c\n\td.exe";
    const wchar_t device[] = L"\\\\.\\DISPLAY1\r\n\x6F22";
    std::copy(std::begin(device), std::end(device), record.mDisplayMonitorInfo.szDevice);
    const std::string text = Morvane::MakeInfoText(record, SYSTEMTIME{});

    const std::vector<std::string> lines = TestSupport::CrLfLines(text);
    ASSERT_EQ(lines.size(), 34u) << text;
    EXPECT_EQ(lines[14], "WindowCaption: x\\r\\nProcessDosPath: C:\\Windows\\explorer.exe");
    EXPECT_EQ(lines[15], "WindowClassName: class\\nWindowCaption: forged\\r");
    // A tab stays a tab and a backslash a backslash.
    EXPECT_EQ(lines[16], "ProcessDosPath: C:\\a\\rb\\c\\n\td.exe");
    // The character outside the code page still becomes its default character.
    EXPECT_EQ(lines[32], "DisplayMonitorName: \\\\.\\DISPLAY1\\r\\n?");
    EXPECT_EQ(lines[33], "");
    EXPECT_EQ(text.find("\r\nProcessDosPath: C:\\Windows"), std::string::npos);
}

} // namespace
