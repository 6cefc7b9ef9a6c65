#include "system/TextConversion.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using TalvexBasic::FromUtf8;
using TalvexBasic::ToThreadAnsi;
using TalvexBasic::ToUtf8;

struct Utf8Case {
    const char* what;
    std::wstring wide;
    std::string utf8;
};

// Text that goes both ways unchanged: each case is checked in both directions.
const Utf8Case kBothWays[] = {
    {"empty", L"", ""},
    {"ASCII", L"Morvane.Run.json", "Morvane.Run.json"},
    {"two-byte", L"caf\u00E9", "caf\xC3\xA9"},
    {"three-byte", L"\u20AC\u30A6", "\xE2\x82\xAC\xE3\x82\xA6"},
    {"outside the BMP, a surrogate pair", L"a\U0001F600b",
     "a\xF0\x9F\x98\x80"
     "b"},
    {"highest character", L"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
    {"embedded NUL", std::wstring(L"a\0b", 3), std::string("a\0b", 3)},
    {"line breaks", L"x\r\ny", "x\r\ny"},
};

TEST(TextConversion, Utf8GoesBothWaysForEveryCharacter)
{
    for (const Utf8Case& each : kBothWays) {
        EXPECT_EQ(ToUtf8(each.wide), each.utf8) << each.what;
        EXPECT_EQ(FromUtf8(each.utf8), each.wide) << each.what;
    }
}

// What is not valid on its side becomes U+FFFD; the valid text around it stays.
TEST(TextConversion, Utf8ReplacesWhatIsNotValid)
{
    const struct {
        const char* what;
        std::wstring wide;
        std::string utf8;
    } kToUtf8[] = {
        {"unpaired high surrogate",
         L"a\xD83D"
         L"b",
         "a\xEF\xBF\xBD"
         "b"},
        {"unpaired low surrogate at the end", L"a\xDE00", "a\xEF\xBF\xBD"},
        {"pair in the wrong order", L"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& each : kToUtf8) {
        EXPECT_EQ(ToUtf8(each.wide), each.utf8) << each.what;
    }
    const struct {
        const char* what;
        std::string utf8;
        std::wstring wide;
    } kFromUtf8[] = {
        {"byte that starts nothing",
         "a\xFF"
         "b",
         L"a\xFFFD"
         L"b"},
        {"lone continuation byte", "\x80", L"\xFFFD"},
        {"sequence cut at the end", "a\xE2\x82", L"a\xFFFD"},
    };
    for (const auto& each : kFromUtf8) {
        EXPECT_EQ(FromUtf8(each.utf8), each.wide) << each.what;
    }
}

// The thread's ANSI code page is 1252 here: what it lacks becomes its default character.
TEST(TextConversion, ThreadAnsiKeepsWhatTheCodePageHasAndMarksTheRest)
{
    EXPECT_EQ(ToThreadAnsi(L"caf\u00E9 \u20AC"), "caf\xE9 \x80");
    EXPECT_EQ(ToThreadAnsi(L"\u30A6\U0001F600"), "???");
    EXPECT_EQ(ToThreadAnsi(L""), "");
}

} // namespace
