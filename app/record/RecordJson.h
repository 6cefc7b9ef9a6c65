#pragma once

#include "record/RunEntry.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace Morvane {

// The run record's parts as JSON values, shared by the record written at once and the record
// folded from a watch's journal. Members keep the order in which they are written.
using RecordJson = nlohmann::ordered_json;

[[nodiscard]] RecordJson WindowJson(const RunWindow& window);
[[nodiscard]] RecordJson ProcessJson(const RunProcess& process);
// A monitor with its picture as given (a relative path, or null).
[[nodiscard]] RecordJson MonitorJson(const RunMonitor& monitor, RecordJson picture);
[[nodiscard]] RecordJson GoneJson(const std::vector<GoneWindow>& gone);
[[nodiscard]] RecordJson WatchJson(const WatchSummary& watch);

// A value on one line, in the compact form of CompactJsonText.h: a journal line, an entry.
[[nodiscard]] std::string DumpCompact(const RecordJson& value);

// The record's members in their order; parts given as made above. ended: absent when empty.
struct RecordParts {
    std::string startedAt;
    std::string endedAt;
    std::string ended;
    std::string outputDirectory; // UTF-8
    std::string computerName;    // UTF-8
    RecordJson monitors = RecordJson::array();
    // Each entry as compact text (CompactJsonText.h), which the record holds indented; the texts
    // outlive the parts.
    std::vector<std::string_view> windows;
    // Where not empty, one for each entry: whether it is new since the earlier run, as the fold
    // compared them, written in place of the entry's own mark; Unmarked keeps the entry's.
    enum class NewMark : signed char { Unmarked = -1, Old = 0, New = 1 };
    // The mark's key as compact text, with its quotes.
    static constexpr std::string_view kNewMarkKey = "\"newSinceLastRun\"";
    std::vector<NewMark> newSinceLastRun;
    RecordJson previousRun; // null when none
    RecordJson gone = RecordJson::array();
    RecordJson processes = RecordJson::array();
    RecordJson watch; // null without a watch
};
// The parts are moved into the record; the entries go in as text, a watch's fold hands over tens
// of thousands of them.
[[nodiscard]] std::string DumpRecord(RecordParts parts);

} // namespace Morvane
