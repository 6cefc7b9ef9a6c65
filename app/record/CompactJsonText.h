#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Morvane {

// JSON text in the one form that the record's library writes when it dumps a value compactly
// (UTF-8 kept as it is): no white space, strings with only the escapes it writes, numbers as it
// writes them, no key twice in an object. Text in that form stands for exactly one value and is
// what the library would write for it, so a journal line can go into the record as it is, indented,
// without being parsed: at 50,000 windows, parsing every line was most of a watch's end.

// A member of a compact object: its key as written (with its quotes) and its value's text.
struct CompactMember {
    std::string_view key;
    std::string_view value;
};

// The members of the object that text holds, in order; false when text is not one object in the
// compact form.
[[nodiscard]] bool ReadCompactObject(std::string_view text, std::vector<CompactMember>& members);

// The same for text known to be in the compact form (checked by ReadCompactObject, or written by
// the library), at a fraction of the cost: false only where its brackets do not match.
[[nodiscard]] bool ReadCheckedObject(std::string_view text, std::vector<CompactMember>& members);

// The value of the member named name (plain ASCII, no escapes); empty when there is none.
[[nodiscard]] std::string_view CompactMemberValue(const std::vector<CompactMember>& members, std::string_view name);

// The object of these members, in the compact form when each key and value is.
[[nodiscard]] std::string CompactObject(const std::vector<CompactMember>& members);

// The string a compact string value stands for (text with its quotes); empty when text is no string.
[[nodiscard]] std::string CompactString(std::string_view text);

// Appends the value of compact text (as ReadCheckedObject takes it) as the library's dump with one
// tab of indent writes it where the value stands depth levels deep (its inner lines indented by
// depth + 1 tabs); false, with nothing appended, where its brackets do not match.
[[nodiscard]] bool AppendIndented(std::string& out, std::string_view text, unsigned depth);
// The same for an object whose own member replacement.key (where it has one) is written with the
// value replacement.value, a number, literal or string: a fold can change one member of tens of
// thousands of entries without a copy of each.
[[nodiscard]] bool AppendIndented(std::string& out, std::string_view text, unsigned depth,
                                  const CompactMember& replacement);

} // namespace Morvane
