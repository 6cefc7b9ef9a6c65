#pragma once

#include "record/RunEntry.h"
#include "record/RunHistory.h"
#include "system/UniqueResource.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace Morvane {

constexpr wchar_t kRunJournalFileName[] = L"Morvane.Run.jsonl";

// The lines of a watch's journal: one JSON object a line, its kind in "line" and when it was
// written in "at". Entries and processes carry the record's own members, so that the record is a
// fold over the lines.
[[nodiscard]] std::string JournalStartLine(const std::string& at, const RunSummary& run);
[[nodiscard]] std::string JournalMonitorsLine(const std::string& at, const std::vector<RunMonitor>& monitors);
[[nodiscard]] std::string JournalWindowLine(const std::string& at, const RunWindow& window);
// Updates of an entry written before: its monitor picture taken, its window gone.
[[nodiscard]] std::string JournalMonitorPictureLine(const std::string& at, const RunWindow& window);
[[nodiscard]] std::string JournalGoneLine(const std::string& at, const RunWindow& window);
[[nodiscard]] std::string JournalProcessLine(const std::string& at, const RunProcess& process);
// ended: "stopped", or "unexpectedly" where a later start wrote the record of a watch that never ended.
// The watch's summary as it stands now (its disk budget stopped pictures, or the watch ends).
[[nodiscard]] std::string JournalWatchLine(const std::string& at, const WatchSummary& watch);
[[nodiscard]] std::string JournalEndLine(const std::string& at, const char* ended);

// What a journal says of its run as a whole.
struct JournalState {
    bool started = false;     // it has its start line
    bool ended = false;       // it has an end line
    std::string lastAt;       // the time of its last line
    std::string previousRun;  // the run it is compared with (UTF-8 folder name); empty for none
    unsigned unreadLines = 0; // lines that are no JSON object (a line cut short by a power loss)
};
[[nodiscard]] JournalState ReadJournalState(std::string_view journal);

// Whether the last whole line of a journal's tail (its last bytes; the cut first line is passed
// over) is its end line: a start then need not read the whole journal of every earlier run.
[[nodiscard]] bool TailEndsTheRun(std::string_view tail);

// The run record folded from a journal. previous: the earlier run named by its start line, when
// it could be read. A journal without an end line is of a watch that still runs (endedAt is then
// now), or, when it no longer runs, of one that ended unexpectedly at the time of its last line.
[[nodiscard]] std::string FoldJournal(std::string_view journal, const EarlierRun* previous, bool watchRuns,
                                      const std::string& now);

// A watch's journal, open for appending. Each line goes to the file with one WriteFile, so that
// it survives the end of the process at any instant; the system writes it to the disk later.
class RunJournal {
public:
    [[nodiscard]] bool Open(const std::wstring& runFolder);
    void Append(const std::string& line);
    // Asks the disk to keep what was written, once at the end: costly on Windows for every line.
    void Close();
    [[nodiscard]] bool IsOpen() const noexcept { return static_cast<bool>(mFile); }

private:
    TalvexBasic::UniqueFileHandle mFile;
    bool mFailed = false;
};

// Writes the record and page of the run in runFolder from its journal (previous read as its start
// line names it, unless given).
void WriteRunFilesFromJournal(const std::wstring& runFolder, bool watchRuns, const std::string& now,
                              const wchar_t* temporarySuffix, const EarlierRun* previous = nullptr);

// Each other run beside the output directory whose journal has no end line and whose watch no
// longer runs (runningWatchFolder: the folder of the watch that runs, if any) gets its record and
// page from its journal, ended unexpectedly, and an end line that says so.
void FinishUnendedRuns(const std::wstring& outputDirectory, const std::wstring& runningWatchFolder);

} // namespace Morvane
