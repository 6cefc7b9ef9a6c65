#pragma once

#include "record/RunEntry.h"

#include <string>
#include <string_view>
#include <vector>

namespace Morvane {

// What a later run needs of a run record, read as the text streams by rather than parsed into a
// copy: the record of a long watch is tens of MB, and a parsed copy of it many times that, which
// the heap keeps for the rest of the watch.
struct EarlierRecord {
    std::string startedAt;              // as written
    std::vector<WindowKey> savedWindows; // the saved entries' keys, in order
};

enum class EarlierRecordPart {
    Start, // the tool and start time alone: reading ends as soon as both are read
    Whole, // the whole record, its saved windows with it
};

enum class EarlierRecordVerdict {
    Usable,
    NotARecord,    // not JSON, not an object, not of this tool, or entries it cannot be compared by
    NoStartTime,   // a start time missing or not a string
    NoWindowList,  // no list of windows
    CutShort,      // Start only: the part read does not tell; the whole record will
};

// Reads the part of the record's text, with the same verdicts as a whole parse of it: the tool
// named in "tool", a string "startedAt", a list "windows" whose entries are objects, the saved ones
// with string "imagePath", "className" and "caption". why: the reason where it is not usable.
[[nodiscard]] EarlierRecordVerdict ReadEarlierRecord(std::string_view text, EarlierRecordPart part,
                                                     EarlierRecord& record, std::string& why);

} // namespace Morvane
