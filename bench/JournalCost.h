#pragma once

namespace MorvaneBench {

// Prints what a watch's journal costs: one window line appended at the start and after 50,000
// windows, against the whole record the watch used to rewrite every second, and the fold of the
// whole journal into the record at the end.
void RunJournalCost();

} // namespace MorvaneBench
