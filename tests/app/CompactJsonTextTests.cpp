// Compact JSON text against the library itself: the text it accepts is exactly the library's own
// compact dump of what it parses, and its indented text is the library's dump with one tab.

#include "record/CompactJsonText.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace {

using namespace Morvane;
using json = nlohmann::ordered_json;

std::string LibraryCompact(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Whether the library reads the text and writes it back the same.
bool LibraryWritesItSo(const std::string& text)
{
    const json value = json::parse(text, nullptr, false);
    return !value.is_discarded() && LibraryCompact(value) == text;
}

// The library's indented dump of a value that stands depth levels deep.
std::string LibraryIndented(const json& value, unsigned depth)
{
    std::string text = value.dump(1, '\t', false, json::error_handler_t::replace);
    std::string shifted;
    for (const char c : text) {
        shifted += c;
        if (c == '\n') {
            shifted.append(depth, '\t');
        }
    }
    return shifted;
}

TEST(CompactJsonText, IndentsAsTheLibraryDumps)
{
    const char* const values[] = {
        R"({"a":1})",
        R"({})",
        R"([])",
        R"({"empty":{},"list":[],"nested":{"inner":{"deeper":[{}, [], [[]], {"x":[1,{"y":null}]}]}}})",
        (R"({"quote":"a \"b\" c","slash":"C:\\Program Files\\x.exe","marks":"{[,:]} \"{\":\"[\"",)"
         R"("escapes":"\b\f\n\r\t\u0001\u001f\u000b","del":"\u007f","solidus":"a/b"})"),
        R"({"unicode":"漢字 é 😀 \u00e9","key \"quoted\" {,}":true})",
        R"({"numbers":[0,-1,7,18446744073709551615,-9223372036854775808,0.25,-0.0,0.1,1e-7,1.5e300,12345.678,5e-324]})",
        R"({"literals":[null,true,false],"mixed":[1,"two",[3],{"four":4}]})",
        R"([{"handle":"0x0000000000010001","rect":{"left":-10,"top":0,"right":1920,"bottom":1080},"coveredShare":0.3333}])",
        R"("a lone string")",
        R"(42)",
    };
    for (const char* source : values) {
        SCOPED_TRACE(source);
        const json value = json::parse(source);
        const std::string compact = LibraryCompact(value);
        for (const unsigned depth : {0u, 2u, 5u}) {
            std::string out = "before";
            ASSERT_TRUE(AppendIndented(out, compact, depth));
            EXPECT_EQ(out, "before" + LibraryIndented(value, depth));
        }
        std::vector<CompactMember> members;
        EXPECT_EQ(ReadCompactObject(compact, members), value.is_object());
        EXPECT_EQ(members.size(), value.is_object() ? value.size() : 0u);
        if (value.is_object()) {
            EXPECT_EQ(CompactObject(members), compact);
        }
    }
    // One member of the object itself given another value as it is indented; the same key deeper
    // down, or a key that only starts the same, keeps its own.
    struct Replaced {
        const char* source;
        CompactMember replacement;
        const char* expected;
    };
    const Replaced replaced[] = {
        {R"({"new":false,"inner":{"new":false}})", {R"("new")", "true"}, R"({"new":true,"inner":{"new":false}})"},
        {R"({"a":[1,{"new":0}],"new":{"x":[2]},"newer":1})", {R"("new")", "null"},
         R"({"a":[1,{"new":0}],"new":null,"newer":1})"},
        {R"({"other":1})", {R"("new")", "true"}, R"({"other":1})"},
    };
    for (const Replaced& item : replaced) {
        SCOPED_TRACE(item.source);
        for (const unsigned depth : {0u, 2u}) {
            std::string out = "before";
            ASSERT_TRUE(AppendIndented(out, item.source, depth, item.replacement));
            EXPECT_EQ(out, "before" + LibraryIndented(json::parse(item.expected), depth));
        }
    }
    std::string out = "kept";
    EXPECT_FALSE(AppendIndented(out, R"({"a":[1,2})", 0, {R"("a")", "1"}));
    EXPECT_FALSE(AppendIndented(out, R"([1])", 0, {R"("a")", "1"}));
    EXPECT_FALSE(AppendIndented(out, R"({"a":[1,2})", 0));
    EXPECT_FALSE(AppendIndented(out, R"({"a":1}})", 0));
    EXPECT_EQ(out, "kept");
}

TEST(CompactJsonText, TakesOnlyTheFormTheLibraryWrites)
{
    struct Case {
        std::string text;
        bool compact;
    };
    const Case cases[] = {
        {R"({"a":1})", true},
        {R"({"a": 1})", false},
        {" {\"a\":1}", false},
        {"{\"a\":1}\r", false},
        {"\xEF\xBB\xBF{\"a\":1}", false},
        {R"({"a":1}x)", false},
        {R"({"a":1)", false},
        {R"({"a":[1,]})", false},
        {R"({"a":tru})", false},
        {R"({"a":1,"a":2})", false},
        {R"({"a":{"b":1,"b":1}})", false},
        {R"({"a":{"b":1},"b":{"a":1}})", true},
        {R"({"s":"a\/b"})", false},
        {R"({"s":"\u0041"})", false},
        {R"({"s":"\u000a"})", false},
        {R"({"s":"\u001F"})", false},
        {R"({"s":"\u001f"})", true},
        {R"({"s":"\ud83d\ude00"})", false},
        {"{\"s\":\"\xF0\x9F\x98\x80\"}", true},
        {"{\"s\":\"\xE6\xBC\xA2\"}", true},
        {"{\"s\":\"\xC0\x80\"}", false},
        {"{\"s\":\"\xE0\x80\x80\"}", false},
        {"{\"s\":\"\xED\xA0\x80\"}", false},
        {"{\"s\":\"\x80\"}", false},
        {"{\"s\":\"\xE6\xBC\"}", false},
        {"{\"s\":\"a\tb\"}", false},
        {std::string("{\"s\":\"a\0b\"}", 11), false},
        {R"({"n":1.0})", true},
        {R"({"n":1.50})", false},
        {R"({"n":1e2})", false},
        {R"({"n":100.0})", true},
        {R"({"n":1E5})", false},
        {R"({"n":1e+300})", true},
        {R"({"n":1e999})", false},
        {R"({"n":0.1})", true},
        {R"({"n":-0})", false},
        {R"({"n":-0.0})", true},
        {R"({"n":01})", false},
        {R"({"n":18446744073709551615})", true},
        {R"({"n":18446744073709551616})", false},
        {R"({"n":-9223372036854775808})", true},
        {R"({"n":-9223372036854775809})", false},
        {R"({"n":-})", false},
        {R"({"n":1.})", false},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.text);
        EXPECT_EQ(LibraryWritesItSo(item.text), item.compact) << "the table against the library";
        std::vector<CompactMember> members;
        EXPECT_EQ(ReadCompactObject(item.text, members), item.compact);
    }
    std::vector<CompactMember> members;
    EXPECT_TRUE(LibraryWritesItSo("[1]"));
    EXPECT_FALSE(ReadCompactObject("[1]", members)) << "compact, but no object";
}

TEST(CompactJsonText, ReadsMembersAndStrings)
{
    const std::string text =
        R"({"handle":"0x00A0","folder":null,"caption":"a \"b\"\r\n\u0001 \\ 漢","results":{"monitor":0},"n":-3})";
    std::vector<CompactMember> members;
    ASSERT_TRUE(ReadCompactObject(text, members));
    ASSERT_EQ(members.size(), 5u);
    EXPECT_EQ(members[0].key, "\"handle\"");
    EXPECT_EQ(CompactMemberValue(members, "folder"), "null");
    EXPECT_EQ(CompactMemberValue(members, "results"), R"({"monitor":0})");
    EXPECT_EQ(CompactMemberValue(members, "n"), "-3");
    EXPECT_TRUE(CompactMemberValue(members, "missing").empty());
    EXPECT_EQ(CompactString(CompactMemberValue(members, "caption")), json::parse(text)["caption"].get<std::string>());
    EXPECT_EQ(CompactString(CompactMemberValue(members, "handle")), "0x00A0");
    EXPECT_EQ(CompactString("null"), "");

    // Walked for its structure alone, text read before gives the same members.
    std::vector<CompactMember> again;
    ASSERT_TRUE(ReadCheckedObject(text, again));
    ASSERT_EQ(again.size(), members.size());
    for (size_t index = 0; index < members.size(); ++index) {
        EXPECT_EQ(again[index].key, members[index].key);
        EXPECT_EQ(again[index].value, members[index].value);
    }
    EXPECT_FALSE(ReadCheckedObject(R"({"a":[1})", again));
}

} // namespace
