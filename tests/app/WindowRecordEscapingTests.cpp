// Line breaks inside the values of the text record are written as "\r" and "\n", so that no
// caption, class name, image path or device name can forge a line of the record.

#include "WindowRecordText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> RecordLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start) + "<no line end>");
    }
    return lines;
}

TEST(WindowRecordEscaping, ValuesWithLineBreaksStayOnTheirOwnLine)
{
    Morvane::WindowInfo record;
    record.mCaption = L"x\r\nProcessDosPath: C:\\Windows\\explorer.exe";
    record.mClassName = L"class\nWindowCaption: forged\r";
    record.mProcessDosPath = L"C:\\a\rb\\c\n\td.exe";
    const wchar_t device[] = L"\\\\.\\DISPLAY1\r\n\x6F22";
    std::copy(std::begin(device), std::end(device), record.mDisplayMonitorInfo.szDevice);
    const std::string text = Morvane::MakeInfoText(record, SYSTEMTIME{});

    const std::vector<std::string> lines = RecordLines(text);
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
