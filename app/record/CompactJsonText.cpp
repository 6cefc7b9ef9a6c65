#include "record/CompactJsonText.h"

#include "record/RecordJson.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace Morvane {
namespace {

// Deeper text is left to the library's parser; no record nests nearly so deep.
constexpr unsigned kDeepest = 100;

// A comma, a line break and the most tabs an indent can take.
const std::string kBreak = ",\n" + std::string(kDeepest + 2, '\t');

// The bytes that stand in a string as they are: a string is copied without looking further.
struct PlainBytes {
    bool plain[256];
    constexpr PlainBytes() : plain()
    {
        for (int c = 0x20; c < 0x80; ++c) {
            plain[c] = c != '"' && c != '\\';
        }
    }
};
constexpr PlainBytes kPlain;

bool IsDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

bool IsLowerHex(char c) noexcept
{
    return IsDigit(c) || (c >= 'a' && c <= 'f');
}

// The largest magnitudes the library reads as whole numbers: larger ones it reads as doubles.
constexpr std::string_view kLargestUnsigned = "18446744073709551615";
constexpr std::string_view kLargestNegative = "9223372036854775808";

bool FitsWhole(std::string_view digits, std::string_view largest) noexcept
{
    return digits.size() < largest.size() || (digits.size() == largest.size() && digits <= largest);
}

// One walk over the text that checks it is in the compact form and, given out, writes it indented.
// Text checked before is walked for its structure alone: checking the numbers, keys and characters
// again would cost as much as the walk.
class CompactWalk {
public:
    CompactWalk(std::string_view text, std::string* out, bool check) : mText(text), mOut(out), mCheck(check) {}

    // The value of this member of the object at depth is written as given, in place of its own.
    void Replace(const CompactMember& replacement, unsigned depth) noexcept
    {
        mReplacement = &replacement;
        mReplacementDepth = depth;
    }

    [[nodiscard]] bool AtEnd() const noexcept { return mAt == mText.size(); }

    bool Value(unsigned depth)
    {
        if (mAt >= mText.size() || depth > kDeepest) {
            return false;
        }
        switch (mText[mAt]) {
        case '{':
            return Object(depth, nullptr);
        case '[':
            return Array(depth);
        case '"': {
            const size_t start = mAt;
            if (!String()) {
                return false;
            }
            Write(mText.substr(start, mAt - start));
            return true;
        }
        case 't':
            return Literal("true");
        case 'f':
            return Literal("false");
        case 'n':
            return Literal("null");
        default:
            return Number();
        }
    }

    bool Object(unsigned depth, std::vector<CompactMember>* members)
    {
        if (mAt >= mText.size() || mText[mAt] != '{' || depth > kDeepest) {
            return false;
        }
        ++mAt;
        if (Next('}')) {
            Write("{}");
            return true;
        }
        Write('{');
        const size_t firstKey = mKeys.size();
        // A bit for each key's length and first letter: only keys that share one are compared.
        std::uint64_t seen = 0;
        for (bool first = true;; first = false) {
            NewLine(depth + 1, !first);
            const size_t keyStart = mAt;
            if (mAt >= mText.size() || mText[mAt] != '"' || !String()) {
                return false;
            }
            const std::string_view key = mText.substr(keyStart, mAt - keyStart);
            if (mCheck) {
                const std::uint64_t bit = std::uint64_t{1}
                                          << ((key.size() * 7 + static_cast<unsigned char>(key[1])) & 63);
                if ((seen & bit) != 0 && !KeyIsNew(firstKey, key)) {
                    return false;
                }
                seen |= bit;
                mKeys.push_back(key);
            }
            if (!Next(':')) {
                return false;
            }
            Write(mText.substr(keyStart, key.size() + 1)); // with its colon
            Write(' ');
            const size_t valueStart = mAt;
            if (mReplacement != nullptr && depth == mReplacementDepth && key == mReplacement->key) {
                std::string* const out = std::exchange(mOut, nullptr);
                const bool walked = Value(depth + 1);
                mOut = out;
                if (!walked) {
                    return false;
                }
                Write(mReplacement->value);
            } else if (!Value(depth + 1)) {
                return false;
            }
            if (members != nullptr) {
                members->push_back({key, mText.substr(valueStart, mAt - valueStart)});
            }
            if (Next(',')) {
                continue;
            }
            if (!Next('}')) {
                return false;
            }
            NewLine(depth, false);
            Write('}');
            mKeys.resize(firstKey);
            return true;
        }
    }

private:
    bool Next(char expected) noexcept
    {
        if (mAt < mText.size() && mText[mAt] == expected) {
            ++mAt;
            return true;
        }
        return false;
    }

    void Write(std::string_view part)
    {
        if (mOut != nullptr) {
            mOut->append(part);
        }
    }

    void Write(char part)
    {
        if (mOut != nullptr) {
            mOut->push_back(part);
        }
    }

    // A line break, after a comma where the list goes on.
    void NewLine(unsigned depth, bool comma)
    {
        if (mOut != nullptr) {
            mOut->append(kBreak, comma ? 0 : 1, depth + (comma ? 2 : 1));
        }
    }

    bool Array(unsigned depth)
    {
        ++mAt;
        if (Next(']')) {
            Write("[]");
            return true;
        }
        Write('[');
        for (bool first = true;; first = false) {
            NewLine(depth + 1, !first);
            if (!Value(depth + 1)) {
                return false;
            }
            if (Next(',')) {
                continue;
            }
            if (!Next(']')) {
                return false;
            }
            NewLine(depth, false);
            Write(']');
            return true;
        }
    }

    bool Literal(std::string_view word)
    {
        if (mText.substr(mAt, word.size()) != word) {
            return false;
        }
        mAt += word.size();
        Write(word);
        return true;
    }

    // A key given twice is read by the library as one member, in the first one's place.
    bool KeyIsNew(size_t firstKey, std::string_view key) const noexcept
    {
        for (size_t index = firstKey; index < mKeys.size(); ++index) {
            if (mKeys[index] == key) {
                return false;
            }
        }
        return true;
    }

    // The escapes the library writes: the short ones, and \u00xx (lower case) for the other
    // control characters.
    bool Escape() noexcept
    {
        if (mAt + 1 >= mText.size()) {
            return false;
        }
        switch (mText[mAt + 1]) {
        case '"':
        case '\\':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            mAt += 2;
            return true;
        case 'u':
            break;
        default:
            return false;
        }
        const std::string_view digits = mText.substr(mAt + 2, 4);
        if (digits.size() != 4 || digits[0] != '0' || digits[1] != '0' || (digits[2] != '0' && digits[2] != '1') ||
            !IsLowerHex(digits[3])) {
            return false;
        }
        const int code = (digits[2] - '0') * 16 + (IsDigit(digits[3]) ? digits[3] - '0' : digits[3] - 'a' + 10);
        if (code == 0x08 || code == 0x09 || code == 0x0A || code == 0x0C || code == 0x0D) {
            return false;
        }
        mAt += 6;
        return true;
    }

    // One character of two to four bytes, well formed as the library's reader demands.
    bool Utf8() noexcept
    {
        const auto byte = [&](size_t offset) {
            return mAt + offset < mText.size() ? static_cast<unsigned char>(mText[mAt + offset]) : 0u;
        };
        const unsigned lead = byte(0);
        unsigned count = 0;
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            count = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            count = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            count = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (byte(1) < low || byte(1) > high) {
            return false;
        }
        for (unsigned next = 2; next <= count; ++next) {
            if (byte(next) < 0x80 || byte(next) > 0xBF) {
                return false;
            }
        }
        mAt += count + 1;
        return true;
    }

    bool String() noexcept
    {
        ++mAt;
        for (;;) {
            while (mAt < mText.size() && kPlain.plain[static_cast<unsigned char>(mText[mAt])]) {
                ++mAt;
            }
            if (mAt >= mText.size()) {
                return false;
            }
            const auto c = static_cast<unsigned char>(mText[mAt]);
            if (c == '"') {
                ++mAt;
                return true;
            }
            if (!mCheck && c != '\\') {
                ++mAt;
            } else if (c < 0x20 || !(c == '\\' ? Escape() : Utf8())) {
                return false;
            }
        }
    }

    // Whole numbers as the library writes them, in its range; others only where the library
    // writes the double they stand for the same way.
    bool Number()
    {
        const size_t start = mAt;
        const bool negative = Next('-');
        const size_t firstDigit = mAt;
        if (Next('0')) {
        } else if (mAt < mText.size() && mText[mAt] >= '1' && mText[mAt] <= '9') {
            while (mAt < mText.size() && IsDigit(mText[mAt])) {
                ++mAt;
            }
        } else {
            return false;
        }
        const std::string_view digits = mText.substr(firstDigit, mAt - firstDigit);
        bool fraction = false;
        if (Next('.')) {
            fraction = true;
            if (!Digits()) {
                return false;
            }
        }
        if (Next('e') || Next('E')) {
            fraction = true;
            if (!Next('+')) {
                (void)Next('-');
            }
            if (!Digits()) {
                return false;
            }
        }
        const std::string_view number = mText.substr(start, mAt - start);
        if (!mCheck) {
        } else if (!fraction) {
            if (negative ? digits == "0" || !FitsWhole(digits, kLargestNegative)
                         : !FitsWhole(digits, kLargestUnsigned)) {
                return false;
            }
        } else {
            char buffer[64];
            if (number.size() >= sizeof buffer) {
                return false;
            }
            std::memcpy(buffer, number.data(), number.size());
            buffer[number.size()] = '\0';
            // Read as the library reads it, written as its dump writes a finite double (without
            // making a value and a string for each of tens of thousands of entries).
            const double value = std::strtod(buffer, nullptr);
            if (!std::isfinite(value)) {
                return false;
            }
            const char* const written = nlohmann::detail::to_chars(buffer, buffer + sizeof buffer, value);
            if (std::string_view(buffer, static_cast<size_t>(written - buffer)) != number) {
                return false;
            }
        }
        Write(number);
        return true;
    }

    bool Digits() noexcept
    {
        const size_t start = mAt;
        while (mAt < mText.size() && IsDigit(mText[mAt])) {
            ++mAt;
        }
        return mAt > start;
    }

    std::string_view mText;
    size_t mAt = 0;
    std::string* mOut;
    bool mCheck;
    const CompactMember* mReplacement = nullptr;
    unsigned mReplacementDepth = 0;
    // The keys of the objects open now, the innermost last.
    std::vector<std::string_view> mKeys;
};

void AppendUtf8(std::string& text, unsigned code)
{
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

bool ReadCompactObject(std::string_view text, std::vector<CompactMember>& members)
{
    members.clear();
    CompactWalk walk(text, nullptr, true);
    return walk.Object(0, &members) && walk.AtEnd();
}

bool ReadCheckedObject(std::string_view text, std::vector<CompactMember>& members)
{
    members.clear();
    CompactWalk walk(text, nullptr, false);
    return walk.Object(0, &members) && walk.AtEnd();
}

std::string_view CompactMemberValue(const std::vector<CompactMember>& members, std::string_view name)
{
    for (const CompactMember& member : members) {
        if (member.key.size() == name.size() + 2 && member.key.substr(1, name.size()) == name) {
            return member.value;
        }
    }
    return {};
}

std::string CompactObject(const std::vector<CompactMember>& members)
{
    // Made in one allocation: under Wine, a string grown piece by piece costs more in the heap
    // than in copying, tens of microseconds an entry once the heap holds a whole record.
    size_t size = 2;
    for (const CompactMember& member : members) {
        size += member.key.size() + member.value.size() + 2;
    }
    std::string text;
    text.reserve(size);
    text += '{';
    for (const CompactMember& member : members) {
        if (text.size() > 1) {
            text += ',';
        }
        text.append(member.key).append(":").append(member.value);
    }
    text += '}';
    return text;
}

std::string CompactString(std::string_view text)
{
    std::string value;
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
        return value;
    }
    text = text.substr(1, text.size() - 2);
    value.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\\' || at + 1 >= text.size()) {
            value += text[at];
            continue;
        }
        const char escaped = text[++at];
        switch (escaped) {
        case 'b':
            value += '\b';
            break;
        case 'f':
            value += '\f';
            break;
        case 'n':
            value += '\n';
            break;
        case 'r':
            value += '\r';
            break;
        case 't':
            value += '\t';
            break;
        case 'u':
            if (at + 4 < text.size()) {
                AppendUtf8(value, static_cast<unsigned>(
                                      std::strtoul(std::string(text.substr(at + 1, 4)).c_str(), nullptr, 16)));
                at += 4;
            }
            break;
        default:
            value += escaped;
            break;
        }
    }
    return value;
}

bool AppendIndented(std::string& out, std::string_view text, unsigned depth)
{
    const size_t mark = out.size();
    CompactWalk walk(text, &out, false);
    if (!walk.Value(depth) || !walk.AtEnd()) {
        out.resize(mark);
        return false;
    }
    return true;
}

bool AppendIndented(std::string& out, std::string_view text, unsigned depth, const CompactMember& replacement)
{
    const size_t mark = out.size();
    CompactWalk walk(text, &out, false);
    walk.Replace(replacement, depth);
    if (!walk.Object(depth, nullptr) || !walk.AtEnd()) {
        out.resize(mark);
        return false;
    }
    return true;
}

} // namespace Morvane
