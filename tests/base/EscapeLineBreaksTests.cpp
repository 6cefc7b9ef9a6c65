#include "basic/EscapeLineBreaks.h"

#include <gtest/gtest.h>

namespace {

using Basic::Text::EscapeLineBreaks;
using Basic::Text::HasLineBreak;

TEST(EscapeLineBreaks, OnlyCarriageReturnsAndLineFeedsChange)
{
    EXPECT_EQ(EscapeLineBreaks("x\r\nProcessDosPath: C:\\Windows\\explorer.exe"),
              "x\\r\\nProcessDosPath: C:\\Windows\\explorer.exe");
    EXPECT_EQ(EscapeLineBreaks("\n\n\r"), "\\n\\n\\r");
    EXPECT_EQ(EscapeLineBreaks("tab\there \\r stays"), "tab\there \\r stays");
    EXPECT_EQ(EscapeLineBreaks(""), "");
    // Other control characters are no line breaks.
    EXPECT_EQ(EscapeLineBreaks(std::string_view("\v\f\x85\0", 4)), std::string("\v\f\x85\0", 4));
}

TEST(EscapeLineBreaks, WideTextKeepsEveryOtherCharacter)
{
    EXPECT_EQ(EscapeLineBreaks(L"\x6F22\r\x5B57\n\xFF3C\x2028"), L"\x6F22\\r\x5B57\\n\xFF3C\x2028");
    EXPECT_EQ(EscapeLineBreaks(std::wstring(L"a\r\n")), L"a\\r\\n");
    EXPECT_TRUE(HasLineBreak(L"a\nb"));
    EXPECT_TRUE(HasLineBreak("a\rb"));
    EXPECT_FALSE(HasLineBreak(L"a\tb\\n"));
}

} // namespace
