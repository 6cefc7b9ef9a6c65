#pragma once

#include <string>

namespace MorvaneBench {

// Prints what a watch's journal costs: one window line appended at the start and after 50,000
// windows, against the whole record the watch used to rewrite every second, and the fold of the
// whole journal into the record at the end.
void RunJournalCost();
// The end's time on a journal a watch wrote (the benchmark's long watch keeps one with
// MORVANE_BENCH_KEEP set): its lines and digests are those of that run.
void RunJournalCost(const std::wstring& journalPath);

} // namespace MorvaneBench
