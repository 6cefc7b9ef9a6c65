// An earlier run's record read as it streams by, against the library's whole parse of the same
// text: the same records usable, the same saved windows.

#include "record/EarlierRecordReader.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace Morvane;
using nlohmann::json;

// The saved windows as a parse of the whole text gives them; false where it is no usable record.
bool ReadWhole(const std::string& text, std::vector<WindowKey>& saved)
{
    try {
        const json record = json::parse(text);
        if (!record.is_object() || record.value("tool", std::string()) != "Morvane" ||
            !record.contains("startedAt") || !record["startedAt"].is_string() || !record.contains("windows") ||
            !record["windows"].is_array()) {
            return false;
        }
        saved.clear();
        for (const json& window : record["windows"]) {
            if (window.value("outcome", std::string()) == "saved") {
                saved.push_back({window.at("imagePath").get<std::string>(), window.at("className").get<std::string>(),
                                 window.at("caption").get<std::string>()});
            }
        }
        return true;
    } catch (const json::exception&) {
        return false;
    }
}

constexpr char kHead[] = R"({"tool":"Morvane","formatVersion":1,"startedAt":"2026-12-07T05:59:57.704+00:00",)";
constexpr char kSaved[] =
    R"({"handle":"0x1","outcome":"saved","caption":"A \"b\" \u6f22","className":"C","imagePath":"C:\\a.exe","rect":{"caption":1}})";

// Whole records against the library's parse; the start alone from a record's first bytes, where a
// part that does not tell leaves it to the whole record.
TEST(EarlierRecordReader, AgreesWithTheWholeParse)
{
    const std::string saved = kSaved;
    const std::string head = kHead;
    constexpr auto Whole = EarlierRecordPart::Whole;
    constexpr auto Start = EarlierRecordPart::Start;
    using Verdict = EarlierRecordVerdict;
    struct Case {
        const char* name;
        EarlierRecordPart part;
        std::string text;
        Verdict verdict;
        size_t saved;
    };
    const Case cases[] = {
        {"a record", Whole,
         head + R"("monitors":[{"windows":1}],"windows":[)" + saved + R"(,{"outcome":"missed"},)" + saved +
             R"(],"watch":{"tool":"x"}})",
         Verdict::Usable, 2},
        {"no windows saved", Whole, head + R"("windows":[{"outcome":"missed","caption":7},{}]})", Verdict::Usable, 0},
        {"cut short", Whole, head + R"("windows":[)" + saved, Verdict::NotARecord, 0},
        {"trailing text", Whole, head + R"("windows":[]} x)", Verdict::NotARecord, 0},
        {"no object", Whole, R"(["tool","Morvane"])", Verdict::NotARecord, 0},
        {"another tool", Whole, R"({"tool":"Else","startedAt":"2026-12-07T05:59:57.704+00:00","windows":[]})",
         Verdict::NotARecord, 0},
        {"a tool that is no string", Whole, R"({"tool":1,"startedAt":"x","windows":[]})", Verdict::NotARecord, 0},
        {"no start", Whole, R"({"tool":"Morvane","windows":[]})", Verdict::NoStartTime, 0},
        {"a start that is no string", Whole, R"({"tool":"Morvane","startedAt":{},"windows":[]})",
         Verdict::NoStartTime, 0},
        {"no window list", Whole, head + R"("windows":{}})", Verdict::NoWindowList, 0},
        {"an entry that is no object", Whole, head + R"("windows":[7]})", Verdict::NotARecord, 0},
        {"an outcome that is no string", Whole, head + R"("windows":[{"outcome":["saved"]}]})", Verdict::NotARecord,
         0},
        {"a saved caption that is no string", Whole,
         head + R"("windows":[{"outcome":"saved","caption":7,"className":"C","imagePath":"p"}]})",
         Verdict::NotARecord, 0},
        {"a saved entry without its class", Whole,
         head + R"("windows":[{"outcome":"saved","caption":"A","imagePath":"p"}]})", Verdict::NotARecord, 0},
        {"a list given twice counts as the last", Whole,
         head + R"("windows":[7],"windows":[)" + saved + R"(],"tool":"Morvane"})", Verdict::Usable, 1},
        {"the first bytes of a record", Start, head + R"("windows":[{"outcome":"sa)", Verdict::Usable, 0},
        {"start before the tool", Start,
         R"({"startedAt":"2026-12-07T05:59:57.704+00:00","tool":"Morvane","windows)", Verdict::Usable, 0},
        {"cut before the start", Start, R"({"tool":"Morvane","formatVersion":1,"startedAt":"2026-12)",
         Verdict::CutShort, 0},
        {"the start of another tool", Start, R"({"tool":"Else","startedAt":"2026-12-07T05:59:57.704+00:00")",
         Verdict::CutShort, 0},
        {"no JSON", Start, "Morvane", Verdict::CutShort, 0},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        EarlierRecord record;
        std::string why;
        const Verdict verdict = ReadEarlierRecord(item.text, item.part, record, why);
        EXPECT_EQ(verdict, item.verdict);
        EXPECT_EQ(why.empty(), verdict == Verdict::Usable);
        EXPECT_EQ(record.startedAt, verdict == Verdict::Usable ? "2026-12-07T05:59:57.704+00:00" : "");
        std::vector<WindowKey> whole;
        if (item.part == Whole) {
            ASSERT_EQ(ReadWhole(item.text, whole), verdict == Verdict::Usable);
        }
        ASSERT_EQ(record.savedWindows.size(), item.saved);
        for (size_t index = 0; index < whole.size(); ++index) {
            const WindowKey& own = record.savedWindows[index];
            EXPECT_EQ(std::tie(own.caption, own.className, own.imagePath),
                      std::tie(whole[index].caption, whole[index].className, whole[index].imagePath));
        }
    }
}

} // namespace
