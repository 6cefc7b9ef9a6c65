#include "record/EarlierRecordReader.h"

#include "record/RunRecordMembers.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <utility>

namespace Morvane {
namespace {

namespace Member = RecordMember;
using json = nlohmann::json;

// A member read from the text: absent, a string, or some other value.
struct TextMember {
    enum class Kind { Absent, Text, Other } kind = Kind::Absent;
    std::string text;

    void Set(std::string value)
    {
        kind = Kind::Text;
        text = std::move(value);
    }
    void SetOther()
    {
        kind = Kind::Other;
        text.clear();
    }
};

// Depths: 1 inside the record, 2 inside its list of windows, 3 inside an entry. A key given twice
// counts as its last value, as the library reads it.
class RecordHandler final : public nlohmann::json_sax<json> {
public:
    explicit RecordHandler(EarlierRecordPart part) : mPart(part) {}

    bool null() override { return Scalar(); }
    bool boolean(bool) override { return Scalar(); }
    bool number_integer(number_integer_t) override { return Scalar(); }
    bool number_unsigned(number_unsigned_t) override { return Scalar(); }
    bool number_float(number_float_t, const string_t&) override { return Scalar(); }
    bool binary(binary_t&) override { return Scalar(); }

    bool string(string_t& value) override
    {
        if (mDepth == 1) {
            if (mKey == Member::kTool) {
                mTool.Set(std::move(value));
            } else if (mKey == Member::kStartedAt) {
                mStartedAt.Set(std::move(value));
            } else if (mKey == Member::kWindows) {
                mWindows = false;
            }
            return !HasStart();
        }
        if (mDepth == 3 && mInWindows) {
            if (TextMember* const member = EntryMember()) {
                member->Set(std::move(value));
            }
        }
        return true;
    }

    bool start_object(std::size_t) override { return Open(true); }
    bool start_array(std::size_t) override { return Open(false); }

    bool key(string_t& value) override
    {
        if (mDepth == 1) {
            mKey = std::move(value);
        } else if (mDepth == 3 && mInWindows) {
            mEntryKey = std::move(value);
        }
        return true;
    }

    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& failure) override
    {
        mParseError = failure.what();
        return false;
    }

    EarlierRecordVerdict Verdict(EarlierRecord& record, std::string& why)
    {
        if (mPart == EarlierRecordPart::Start) {
            // Whatever else the part holds, the whole record tells.
            if (!HasStart() || mTool.text != Member::kToolName) {
                why = "its start is not in the part read";
                return EarlierRecordVerdict::CutShort;
            }
            record.startedAt = mStartedAt.text;
            return EarlierRecordVerdict::Usable;
        }
        if (!mParseError.empty()) {
            why = mParseError;
            return EarlierRecordVerdict::NotARecord;
        }
        if (!mIsObject || mTool.kind != TextMember::Kind::Text || mTool.text != Member::kToolName) {
            why = "not a run record";
            return EarlierRecordVerdict::NotARecord;
        }
        if (mStartedAt.kind != TextMember::Kind::Text) {
            why = "no start time";
            return EarlierRecordVerdict::NoStartTime;
        }
        if (!mWindows) {
            why = "no window list";
            return EarlierRecordVerdict::NoWindowList;
        }
        if (!mEntryFault.empty()) {
            why = mEntryFault;
            return EarlierRecordVerdict::NotARecord;
        }
        record.startedAt = mStartedAt.text;
        record.savedWindows = std::move(mSaved);
        return EarlierRecordVerdict::Usable;
    }

private:
    [[nodiscard]] bool HasStart() const noexcept
    {
        return mPart == EarlierRecordPart::Start && mTool.kind == TextMember::Kind::Text &&
               mStartedAt.kind == TextMember::Kind::Text;
    }

    TextMember* EntryMember() noexcept
    {
        if (mEntryKey == Member::kOutcome) {
            return &mOutcome;
        }
        if (mEntryKey == Member::kImagePath) {
            return &mImagePath;
        }
        if (mEntryKey == Member::kClassName) {
            return &mClassName;
        }
        if (mEntryKey == Member::kCaption) {
            return &mCaption;
        }
        return nullptr;
    }

    bool Scalar()
    {
        if (mDepth == 0) {
            return true; // a record that is no object; told by the verdict
        }
        if (mDepth == 1) {
            if (mKey == Member::kTool) {
                mTool.SetOther();
            } else if (mKey == Member::kStartedAt) {
                mStartedAt.SetOther();
            } else if (mKey == Member::kWindows) {
                mWindows = false;
            }
        } else if (mDepth == 2 && mInWindows) {
            Fault("an entry that is no object");
        } else if (mDepth == 3 && mInWindows) {
            if (TextMember* const member = EntryMember()) {
                member->SetOther();
            }
        }
        return true;
    }

    bool Open(bool isObject)
    {
        if (mDepth == 0) {
            mIsObject = isObject;
        } else if (mDepth == 1) {
            if (mKey == Member::kTool) {
                mTool.SetOther();
            } else if (mKey == Member::kStartedAt) {
                mStartedAt.SetOther();
            } else if (mKey == Member::kWindows) {
                // A later list replaces an earlier one.
                mWindows = !isObject;
                mInWindows = !isObject;
                mSaved.clear();
                mEntryFault.clear();
            }
        } else if (mDepth == 2 && mInWindows) {
            if (!isObject) {
                Fault("an entry that is no object");
            }
            mOutcome = {};
            mImagePath = {};
            mClassName = {};
            mCaption = {};
        } else if (mDepth == 3 && mInWindows) {
            if (TextMember* const member = EntryMember()) {
                member->SetOther();
            }
        }
        ++mDepth;
        return true;
    }

    bool Close()
    {
        --mDepth;
        if (mDepth == 1) {
            mInWindows = false;
        } else if (mDepth == 2 && mInWindows) {
            EndEntry();
        }
        return true;
    }

    void EndEntry()
    {
        if (mOutcome.kind == TextMember::Kind::Other) {
            Fault("an outcome that is no string");
            return;
        }
        if (mOutcome.kind != TextMember::Kind::Text || mOutcome.text != Member::kSaved) {
            return;
        }
        for (const TextMember* member : {&mImagePath, &mClassName, &mCaption}) {
            if (member->kind != TextMember::Kind::Text) {
                Fault("a saved entry without its image path, class name and caption as strings");
                return;
            }
        }
        mSaved.push_back({std::move(mImagePath.text), std::move(mClassName.text), std::move(mCaption.text)});
    }

    void Fault(const char* what)
    {
        if (mEntryFault.empty()) {
            mEntryFault = what;
        }
    }

    EarlierRecordPart mPart;
    int mDepth = 0;
    bool mIsObject = false;
    std::string mKey;
    TextMember mTool;
    TextMember mStartedAt;
    bool mWindows = false;   // the last "windows" is a list
    bool mInWindows = false; // inside that list now
    std::string mEntryKey;
    TextMember mOutcome;
    TextMember mImagePath;
    TextMember mClassName;
    TextMember mCaption;
    std::vector<WindowKey> mSaved;
    std::string mEntryFault;
    std::string mParseError;
};

} // namespace

EarlierRecordVerdict ReadEarlierRecord(std::string_view text, EarlierRecordPart part, EarlierRecord& record,
                                       std::string& why)
{
    RecordHandler handler(part);
    (void)json::sax_parse(text.begin(), text.end(), &handler, json::input_format_t::json, true);
    return handler.Verdict(record, why);
}

} // namespace Morvane
