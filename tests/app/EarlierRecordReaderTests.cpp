// An earlier run's record read as it streams by, against the library's whole parse of the same
// text: the same records usable, the same saved windows.

#include "record/EarlierRecordReader.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
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

TEST(EarlierRecordReader, AgreesWithTheWholeParse)
{
    const std::string saved = kSaved;
    const std::string head = kHead;
    struct Case {
        const char* name;
        std::string text;
        EarlierRecordVerdict verdict;
        size_t saved;
    };
    const Case cases[] = {
        {"a record", head + R"("monitors":[{"windows":1}],"windows":[)" + saved + R"(,{"outcome":"missed"},)" + saved +
                         R"(],"watch":{"tool":"x"}})",
         EarlierRecordVerdict::Usable, 2},
        {"no windows saved", head + R"("windows":[{"outcome":"missed","caption":7},{}]})", EarlierRecordVerdict::Usable,
         0},
        {"cut short", head + R"("windows":[)" + saved, EarlierRecordVerdict::NotARecord, 0},
        {"trailing text", head + R"("windows":[]} x)", EarlierRecordVerdict::NotARecord, 0},
        {"no object", R"(["tool","Morvane"])", EarlierRecordVerdict::NotARecord, 0},
        {"another tool", R"({"tool":"Else","startedAt":"2026-12-07T05:59:57.704+00:00","windows":[]})",
         EarlierRecordVerdict::NotARecord, 0},
        {"a tool that is no string", R"({"tool":1,"startedAt":"x","windows":[]})", EarlierRecordVerdict::NotARecord,
         0},
        {"no start", R"({"tool":"Morvane","windows":[]})", EarlierRecordVerdict::NoStartTime, 0},
        {"a start that is no string", R"({"tool":"Morvane","startedAt":{},"windows":[]})",
         EarlierRecordVerdict::NoStartTime, 0},
        {"no window list", head + R"("windows":{}})", EarlierRecordVerdict::NoWindowList, 0},
        {"an entry that is no object", head + R"("windows":[7]})", EarlierRecordVerdict::NotARecord, 0},
        {"an outcome that is no string", head + R"("windows":[{"outcome":["saved"]}]})",
         EarlierRecordVerdict::NotARecord, 0},
        {"a saved caption that is no string",
         head + R"("windows":[{"outcome":"saved","caption":7,"className":"C","imagePath":"p"}]})",
         EarlierRecordVerdict::NotARecord, 0},
        {"a saved entry without its class", head + R"("windows":[{"outcome":"saved","caption":"A","imagePath":"p"}]})",
         EarlierRecordVerdict::NotARecord, 0},
        {"a list given twice counts as the last",
         head + R"("windows":[7],"windows":[)" + saved + R"(],"tool":"Morvane"})", EarlierRecordVerdict::Usable, 1},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        EarlierRecord record;
        std::string why;
        const EarlierRecordVerdict verdict = ReadEarlierRecord(item.text, EarlierRecordPart::Whole, record, why);
        EXPECT_EQ(verdict, item.verdict);
        std::vector<WindowKey> whole;
        ASSERT_EQ(ReadWhole(item.text, whole), verdict == EarlierRecordVerdict::Usable);
        EXPECT_EQ(why.empty(), verdict == EarlierRecordVerdict::Usable);
        if (verdict != EarlierRecordVerdict::Usable) {
            continue;
        }
        EXPECT_EQ(record.startedAt, "2026-12-07T05:59:57.704+00:00");
        ASSERT_EQ(record.savedWindows.size(), item.saved);
        for (size_t index = 0; index < whole.size(); ++index) {
            EXPECT_EQ(record.savedWindows[index].caption, whole[index].caption);
            EXPECT_EQ(record.savedWindows[index].className, whole[index].className);
            EXPECT_EQ(record.savedWindows[index].imagePath, whole[index].imagePath);
        }
    }
}

TEST(EarlierRecordReader, ReadsTheStartFromTheFirstBytes)
{
    const std::string head = kHead;
    struct Case {
        const char* name;
        std::string text;
        EarlierRecordVerdict verdict;
    };
    const Case cases[] = {
        {"the first bytes of a record", head + R"("windows":[{"outcome":"sa)", EarlierRecordVerdict::Usable},
        {"start before the tool", R"({"startedAt":"2026-12-07T05:59:57.704+00:00","tool":"Morvane","windows)",
         EarlierRecordVerdict::Usable},
        {"cut before the start", R"({"tool":"Morvane","formatVersion":1,"startedAt":"2026-12)",
         EarlierRecordVerdict::CutShort},
        {"another tool", R"({"tool":"Else","startedAt":"2026-12-07T05:59:57.704+00:00")", EarlierRecordVerdict::CutShort},
        {"no JSON", "Morvane", EarlierRecordVerdict::CutShort},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        EarlierRecord record;
        std::string why;
        EXPECT_EQ(ReadEarlierRecord(item.text, EarlierRecordPart::Start, record, why), item.verdict);
        EXPECT_EQ(record.startedAt,
                  item.verdict == EarlierRecordVerdict::Usable ? "2026-12-07T05:59:57.704+00:00" : "");
        EXPECT_TRUE(record.savedWindows.empty());
    }
}

} // namespace
