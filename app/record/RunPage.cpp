#include "record/RunPage.h"

#include "RunPageCss.h"
#include "RunPageHtml.h"
#include "RunPageJs.h"

#include <iterator>

namespace Morvane {
namespace {

constexpr std::string_view kNonceMark = "@NONCE@";
constexpr std::string_view kStyleMark = "@STYLE@";
constexpr std::string_view kRunDataMark = "@RUN_DATA@";
constexpr std::string_view kScriptMark = "@SCRIPT@";

// Appends the JSON text with '<', '>' and '&' escaped; runs without one go in whole.
void AppendEscapedForScript(std::string& out, std::string_view json)
{
    size_t start = 0;
    for (size_t at = 0; at < json.size(); ++at) {
        const char c = json[at];
        if (c == '<' || c == '>' || c == '&') {
            out.append(json.substr(start, at - start));
            out += c == '<' ? "\\u003c" : c == '>' ? "\\u003e" : "\\u0026";
            start = at + 1;
        }
    }
    out.append(json.substr(start));
}

} // namespace

std::string EscapeJsonForScript(std::string_view json)
{
    std::string escaped;
    escaped.reserve(json.size() + json.size() / 16);
    AppendEscapedForScript(escaped, json);
    return escaped;
}

std::string MakeRunPage(std::string_view recordJson, std::string_view nonce)
{
    // The page file holds the nonce mark on every script and style, and one mark for each of the
    // other parts, in this order; what is put in is not searched for marks. One pass: the record
    // of a long watch is tens of MB, and goes in once, escaped on the way.
    const std::string_view parts[] = {kRunPageCss, recordJson, kRunPageJs};
    const std::string_view marks[] = {kStyleMark, kRunDataMark, kScriptMark};
    std::string page;
    page.reserve(recordJson.size() + recordJson.size() / 64 + sizeof kRunPageHtml + sizeof kRunPageCss +
                 sizeof kRunPageJs + 256);
    const std::string_view html = kRunPageHtml;
    size_t next = 0;
    size_t start = 0;
    for (size_t at = html.find('@'); at != std::string_view::npos; at = html.find('@', at + 1)) {
        const std::string_view rest = html.substr(at);
        const bool isNonce = rest.substr(0, kNonceMark.size()) == kNonceMark;
        const bool isPart = next < std::size(marks) && rest.substr(0, marks[next].size()) == marks[next];
        if (!isNonce && !isPart) {
            continue;
        }
        page.append(html.substr(start, at - start));
        if (isNonce) {
            page.append(nonce);
            start = at + kNonceMark.size();
        } else {
            if (next == 1) {
                AppendEscapedForScript(page, parts[next]);
            } else {
                page.append(parts[next]);
            }
            start = at + marks[next].size();
            ++next;
        }
        at = start - 1;
    }
    page.append(html.substr(start));
    return page;
}

} // namespace Morvane
