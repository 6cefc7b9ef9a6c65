#pragma once

#include "record/RunEntry.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace Morvane {

// "2026-12-07T05:59:57.704+01:00": a local time and its offset from UTC in minutes.
[[nodiscard]] std::string FormatLocalTime(const SYSTEMTIME& local, int offsetMinutes);

// The instant of a FormatLocalTime text as milliseconds since 1970-01-01 00:00 UTC; false when the
// text is not in that form.
[[nodiscard]] bool ParseLocalTime(std::string_view text, long long& millisecondsUtc);

// "0x" and 16 upper-case hexadecimal digits.
[[nodiscard]] std::string FormatHandle(std::uint64_t handle);

[[nodiscard]] std::string ToUtf8(std::wstring_view text);
[[nodiscard]] std::wstring FromUtf8(std::string_view text);

// The run record: one JSON object, UTF-8 without byte order mark.
[[nodiscard]] std::string MakeRunRecordJson(const RunSummary& run);

} // namespace Morvane
