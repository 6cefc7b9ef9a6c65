#include "record/RunPage.h"

#include "RunPageCss.h"
#include "RunPageHtml.h"
#include "RunPageJs.h"

namespace Morvane {
namespace {

constexpr std::string_view kNonceMark = "@NONCE@";
constexpr std::string_view kStyleMark = "@STYLE@";
constexpr std::string_view kRunDataMark = "@RUN_DATA@";
constexpr std::string_view kScriptMark = "@SCRIPT@";

void AppendWithNonce(std::string& page, std::string_view part, std::string_view nonce)
{
    size_t start = 0;
    for (size_t mark = part.find(kNonceMark); mark != std::string_view::npos; mark = part.find(kNonceMark, start)) {
        page.append(part.substr(start, mark - start));
        page.append(nonce);
        start = mark + kNonceMark.size();
    }
    page.append(part.substr(start));
}

} // namespace

std::string EscapeJsonForScript(std::string_view json)
{
    std::string escaped;
    escaped.reserve(json.size() + json.size() / 16);
    // Runs without a character to escape go in whole: a record of a long watch is tens of MB.
    size_t start = 0;
    for (size_t at = json.find_first_of("<>&"); at != std::string_view::npos; at = json.find_first_of("<>&", start)) {
        escaped.append(json.substr(start, at - start));
        escaped += json[at] == '<' ? "\\u003c" : json[at] == '>' ? "\\u003e" : "\\u0026";
        start = at + 1;
    }
    escaped.append(json.substr(start));
    return escaped;
}

std::string MakeRunPage(std::string_view recordJson, std::string_view nonce)
{
    // The page file holds the nonce mark on every script and style, and one mark for each of the
    // other parts, in this order; what is put in is not searched for marks again.
    std::string page;
    page.reserve(recordJson.size() + sizeof kRunPageHtml + sizeof kRunPageCss + sizeof kRunPageJs + 256);
    AppendWithNonce(page, kRunPageHtml, nonce);
    size_t from = 0;
    const auto put = [&](std::string_view mark, std::string_view content) {
        const size_t at = page.find(mark, from);
        if (at != std::string::npos) {
            page.replace(at, mark.size(), content);
            from = at + content.size();
        }
    };
    put(kStyleMark, kRunPageCss);
    put(kRunDataMark, EscapeJsonForScript(recordJson));
    put(kScriptMark, kRunPageJs);
    return page;
}

} // namespace Morvane
