#include "record/RunJournal.h"

#include "MorvaneTrace.h"
#include "basic/PathParts.h"
#include "record/CompactJsonText.h"
#include "record/RecordJson.h"
#include "record/RunFiles.h"
#include "record/RunRecord.h"
#include "record/RunRecordMembers.h"
#include "capture/OutputFileNames.h"
#include "system/HResult.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <unordered_map>
#include <utility>

namespace Morvane {
namespace {

using json = RecordJson;
namespace Member = RecordMember;

constexpr const char* kRunJournal = "Morvane::RunJournal";
constexpr const char* kFinishUnendedRuns = "Morvane::FinishUnendedRuns";

// The last bytes of a file, enough for its last line; empty where it cannot be read.
std::string ReadTail(const std::wstring& path)
{
    constexpr LONGLONG kTailBytes = 64 * 1024;
    const TalvexBasic::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size)) {
        return {};
    }
    const LONGLONG start = size.QuadPart > kTailBytes ? size.QuadPart - kTailBytes : 0;
    LARGE_INTEGER offset{};
    offset.QuadPart = start;
    std::string tail(static_cast<size_t>(size.QuadPart - start), '\0');
    DWORD read = 0;
    if (!::SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN) ||
        !::ReadFile(file.get(), tail.data(), static_cast<DWORD>(tail.size()), &read, nullptr)) {
        return {};
    }
    tail.resize(read);
    return tail;
}

json LineOf(const char* kind, const std::string& at)
{
    return json{{Member::kLine, kind}, {Member::kAt, at}};
}

// One line: no line break can stand inside, as JSON escapes them in strings.
std::string Dump(const json& line)
{
    return DumpCompact(line) + "\n";
}

// An update names its entry by handle and folder, and carries the entry's members that changed.
std::string UpdateLine(const char* kind, const std::string& at, const RunWindow& window,
                       std::initializer_list<const char*> members)
{
    const json entry = WindowJson(window);
    json line = LineOf(kind, at);
    for (const char* member : {Member::kHandle, Member::kFolder}) {
        line[member] = entry[member];
    }
    for (const char* member : members) {
        line[member] = entry[member];
    }
    return Dump(line);
}

std::string TextOf(const json& line, const char* member)
{
    const auto found = line.find(member);
    return found != line.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::string TextOf(const std::vector<CompactMember>& members, const char* member)
{
    return CompactString(CompactMemberValue(members, member));
}

// An entry is named by its handle (a string) and folder (null for an entry without one); compact
// strings are equal exactly when their texts are. The texts stay in the journal: no string is
// made for each of tens of thousands of lines.
struct EntryName {
    std::string_view handle;
    std::string_view folder;

    [[nodiscard]] bool operator==(const EntryName& other) const noexcept
    {
        return handle == other.handle && folder == other.folder;
    }
};

struct EntryNameHash {
    [[nodiscard]] size_t operator()(const EntryName& name) const noexcept
    {
        const std::hash<std::string_view> hash;
        return hash(name.handle) * 31 + hash(name.folder);
    }
};

EntryName NameOf(const std::vector<CompactMember>& members)
{
    const std::string_view handle = CompactMemberValue(members, Member::kHandle);
    const std::string_view folder = CompactMemberValue(members, Member::kFolder);
    return {handle.empty() || handle.front() != '"' ? std::string_view() : handle,
            folder.empty() ? std::string_view("null") : folder};
}

// A line of the journal as compact text, with its members.
struct JournalLine {
    std::string_view text;
    std::vector<CompactMember> members;

    [[nodiscard]] json Parsed() const { return json::parse(text, nullptr, false); }
};

// Each line that is a JSON object with its kind, in order; the others are counted. Lines that
// are not in the compact form (not written by Morvane) are parsed and kept in madeCompact as the
// library writes them, so that every line read is compact text. mustHold: when given, lines
// without that text are passed over.
template <typename Visit>
void ForEachLine(std::string_view journal, unsigned& unread, std::deque<std::string>& madeCompact, Visit visit,
                 std::string_view mustHold = {})
{
    JournalLine line;
    // Lines that must hold a text are found by that text: a search that skips ahead is faster than
    // looking into each of 50,000 lines.
    const std::boyer_moore_horspool_searcher holding(mustHold.begin(), mustHold.end());
    size_t begin = 0;
    while (begin < journal.size()) {
        if (!mustHold.empty()) {
            const auto found =
                std::search(journal.begin() + static_cast<std::ptrdiff_t>(begin), journal.end(), holding);
            if (found == journal.end()) {
                break;
            }
            const size_t lineBreak = journal.rfind('\n', static_cast<size_t>(found - journal.begin()));
            begin = lineBreak == std::string_view::npos || lineBreak < begin ? begin : lineBreak + 1;
        }
        size_t end = journal.find('\n', begin);
        if (end == std::string_view::npos) {
            end = journal.size();
        }
        line.text = journal.substr(begin, end - begin);
        begin = end + 1;
        if (line.text.find_first_not_of(" \r\t") == std::string_view::npos) {
            continue;
        }
        if (!ReadCompactObject(line.text, line.members)) {
            const json parsed = line.Parsed();
            if (parsed.is_discarded() || !parsed.is_object()) {
                ++unread;
                continue;
            }
            line.text = madeCompact.emplace_back(DumpCompact(parsed));
            (void)ReadCheckedObject(line.text, line.members);
        }
        if (CompactMemberValue(line.members, Member::kLine).empty()) {
            ++unread;
            continue;
        }
        visit(line);
    }
}

// The earlier run named by the journal's start line, as ReadJournalState gives it; a line that
// holds no "start" cannot be a start line, so the window lines are not read for it.
std::string PreviousRunOf(std::string_view journal)
{
    std::string previousRun;
    unsigned unread = 0;
    std::deque<std::string> madeCompact;
    ForEachLine(
        journal, unread, madeCompact,
        [&](const JournalLine& line) {
            if (TextOf(line.members, Member::kLine) == Member::kLineStart) {
                previousRun = TextOf(line.members, Member::kPreviousRun);
            }
        },
        "\"start\"");
    return previousRun;
}

// Whether a member's compact text stands for the value whose compact text is valueText.
bool HoldsValue(std::string_view text, const json& value, std::string_view valueText)
{
    // Compact texts are equal exactly when their values are, but for numbers of different kinds.
    return !text.empty() && (text == valueText ||
                             (text.front() != '"' && !value.is_string() && json::parse(text, nullptr, false) == value));
}

// A whole number, not negative, in compact text.
bool IsCountText(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The monitor picture of the first saved entry on that monitor whose monitor picture was written.
json MonitorPictureOf(const json& monitor, const std::vector<std::string_view>& windows)
{
    const auto handle = monitor.find(Member::kHandle);
    if (handle == monitor.end()) {
        return nullptr;
    }
    const std::string handleText = DumpCompact(*handle);
    std::vector<CompactMember> members;
    std::vector<CompactMember> results;
    for (const std::string_view entry : windows) {
        if (ReadCheckedObject(entry, members) && TextOf(members, Member::kOutcome) == Member::kSaved &&
            HoldsValue(CompactMemberValue(members, Member::kMonitor), *handle, handleText) &&
            ReadCheckedObject(CompactMemberValue(members, Member::kResults), results) &&
            IsCountText(CompactMemberValue(results, Member::kMonitorResult))) {
            return TextOf(members, Member::kFolder) + "/" + ToUtf8(kMonitorPictureFileName);
        }
    }
    return nullptr;
}

// What the comparison with the earlier run needs of an entry, as text in the journal: read as the
// fold reads each entry, so that the entries are not walked again for it.
struct EntryFacts {
    std::string_view outcome;
    std::string_view imagePath;
    std::string_view className;
    std::string_view caption;
    bool hasMark = false; // the entry has its "newSinceLastRun"
};

EntryFacts FactsOf(const std::vector<CompactMember>& members)
{
    return {CompactMemberValue(members, Member::kOutcome), CompactMemberValue(members, Member::kImagePath),
            CompactMemberValue(members, Member::kClassName), CompactMemberValue(members, Member::kCaption),
            !CompactMemberValue(members, Member::kNewSinceLastRun).empty()};
}

// Marks the saved entries new where the earlier run has no counterpart, as a record written at
// once does, and gives the earlier run's windows left over. The marks go in as the record is
// written; an entry without a mark of its own (not written by Morvane) gets one, written anew
// into madeCompact.
json CompareEntries(std::vector<std::string_view>& windows, const std::vector<EntryFacts>& facts,
                    std::vector<RecordParts::NewMark>& marks, const EarlierRun& previous,
                    std::deque<std::string>& madeCompact)
{
    // Compact strings are equal exactly when their texts are.
    const std::string savedText = std::string("\"") + Member::kSaved + "\"";
    std::vector<WindowKey> keys;
    std::vector<size_t> saved;
    std::vector<CompactMember> members;
    for (size_t index = 0; index < windows.size(); ++index) {
        const EntryFacts& entry = facts[index];
        if (entry.outcome != savedText) {
            continue;
        }
        keys.push_back({CompactString(entry.imagePath), CompactString(entry.className), CompactString(entry.caption)});
        saved.push_back(index);
        if (!entry.hasMark && ReadCheckedObject(windows[index], members)) {
            members.push_back({RecordParts::kNewMarkKey, "false"});
            windows[index] = madeCompact.emplace_back(CompactObject(members));
        }
    }
    std::vector<bool> isNew;
    const std::vector<GoneWindow> gone = CompareKeysWithEarlierRun(keys, isNew, previous.savedWindows);
    marks.assign(windows.size(), RecordParts::NewMark::Unmarked);
    for (size_t index = 0; index < saved.size(); ++index) {
        marks[saved[index]] = isNew[index] ? RecordParts::NewMark::New : RecordParts::NewMark::Old;
    }
    return GoneJson(gone);
}

} // namespace

std::string JournalStartLine(const std::string& at, const RunSummary& run)
{
    json line = LineOf(Member::kLineStart, at);
    line[Member::kStartedAt] = run.startedAt;
    line[Member::kOutputDirectory] = ToUtf8(run.outputDirectory);
    line[Member::kComputerName] = ToUtf8(run.computerName);
    line[Member::kPreviousRun] = run.previousRun.empty() ? json(nullptr) : json(ToUtf8(run.previousRun));
    line[Member::kWatch] = WatchJson(run.watch);
    return Dump(line);
}

std::string JournalMonitorsLine(const std::string& at, const std::vector<RunMonitor>& monitors)
{
    json line = LineOf(Member::kLineMonitors, at);
    json list = json::array();
    for (const RunMonitor& monitor : monitors) {
        list.push_back(MonitorJson(monitor, nullptr));
    }
    line[Member::kMonitors] = std::move(list);
    return Dump(line);
}

std::string JournalWindowLine(const std::string& at, const RunWindow& window)
{
    json line = LineOf(Member::kLineWindow, at);
    line[Member::kEntry] = WindowJson(window);
    return Dump(line);
}

std::string JournalMonitorPictureLine(const std::string& at, const RunWindow& window)
{
    return UpdateLine(Member::kLineMonitorPicture, at, window, {Member::kResults, Member::kMonitorSkipped, Member::kPicturesStopped, Member::kPictureDropped});
}

std::string JournalGoneLine(const std::string& at, const RunWindow& window)
{
    return UpdateLine(Member::kLineGone, at, window, {Member::kGoneAt, Member::kShownForMs});
}

std::string JournalProcessLine(const std::string& at, const RunProcess& process)
{
    json line = LineOf(Member::kLineProcess, at);
    line[Member::kProcess] = ProcessJson(process);
    return Dump(line);
}

std::string JournalWatchLine(const std::string& at, const WatchSummary& watch)
{
    json line = LineOf(Member::kLineWatch, at);
    line[Member::kWatch] = WatchJson(watch);
    return Dump(line);
}

std::string JournalEndLine(const std::string& at, const char* ended)
{
    json line = LineOf(Member::kLineEnd, at);
    line[Member::kEnded] = ended;
    return Dump(line);
}

JournalState ReadJournalState(std::string_view journal)
{
    JournalState state;
    std::deque<std::string> madeCompact;
    std::string_view lastAtText;
    ForEachLine(journal, state.unreadLines, madeCompact, [&](const JournalLine& line) {
        const std::string kind = TextOf(line.members, Member::kLine);
        if (kind == Member::kLineStart) {
            state.started = true;
            state.previousRun = TextOf(line.members, Member::kPreviousRun);
        } else if (kind == Member::kLineEnd) {
            state.ended = true;
        }
        lastAtText = CompactMemberValue(line.members, Member::kAt);
    });
    state.lastAt = CompactString(lastAtText);
    return state;
}

bool TailEndsTheRun(std::string_view tail)
{
    // A journal ends with a line break after each whole line; anything after the last one is a
    // line cut short, so the run did not end.
    if (tail.empty() || tail.back() != '\n') {
        return false;
    }
    tail.remove_suffix(1);
    const size_t lastBreak = tail.rfind('\n');
    const std::string_view last = lastBreak == std::string_view::npos ? tail : tail.substr(lastBreak + 1);
    const json line = json::parse(last.begin(), last.end(), nullptr, false);
    return line.is_object() && TextOf(line, Member::kLine) == Member::kLineEnd;
}

std::string FoldJournal(std::string_view journal, const EarlierRun* previous, bool watchRuns, const std::string& now)
{
    RecordParts parts;
    parts.watch = nullptr;
    parts.previousRun = nullptr;
    // The time of the last line, as its text: read once, at the end.
    std::string_view lastAtText;
    bool ended = false;
    // The entries stay the journal's text; those updated, and lines written otherwise, live here.
    std::deque<std::string> madeCompact;
    // The latest entry of each window and folder, to which updates apply.
    std::unordered_map<EntryName, size_t, EntryNameHash> latest;
    std::map<std::pair<long long, std::string>, size_t> processIndex;
    std::vector<CompactMember> entry;
    // One for each entry, as it stands after its updates.
    std::vector<EntryFacts> facts;
    unsigned unread = 0;
    ForEachLine(journal, unread, madeCompact, [&](const JournalLine& line) {
        const std::string kind = TextOf(line.members, Member::kLine);
        lastAtText = CompactMemberValue(line.members, Member::kAt);
        if (kind == Member::kLineWindow) {
            // The bulk of a journal: its entry goes to the record as it was written.
            const std::string_view text = CompactMemberValue(line.members, Member::kEntry);
            if (!text.empty()) {
                (void)ReadCheckedObject(text, entry);
                latest[NameOf(entry)] = parts.windows.size();
                parts.windows.push_back(text);
                facts.push_back(FactsOf(entry));
            }
        } else if (kind == Member::kLineMonitorPicture || kind == Member::kLineGone) {
            const auto found = latest.find(NameOf(line.members));
            if (found == latest.end() || !ReadCheckedObject(parts.windows[found->second], entry)) {
                return;
            }
            bool changed = false;
            for (const CompactMember& update : line.members) {
                if (CompactString(update.key) == Member::kLine || CompactString(update.key) == Member::kAt) {
                    continue;
                }
                for (CompactMember& own : entry) {
                    if (own.key == update.key) {
                        own.value = update.value;
                        changed = true;
                    }
                }
            }
            if (changed) {
                parts.windows[found->second] = madeCompact.emplace_back(CompactObject(entry));
                facts[found->second] = FactsOf(entry);
            }
        } else {
            // The few lines of the record's other parts.
            json parsed = line.Parsed();
            if (kind == Member::kLineStart) {
                parts.startedAt = TextOf(parsed, Member::kStartedAt);
                parts.outputDirectory = TextOf(parsed, Member::kOutputDirectory);
                parts.computerName = TextOf(parsed, Member::kComputerName);
                parts.previousRun = parsed.value(Member::kPreviousRun, json(nullptr));
                parts.watch = parsed.value(Member::kWatch, json(nullptr));
            } else if (kind == Member::kLineWatch && parsed.contains(Member::kWatch)) {
                parts.watch = std::move(parsed[Member::kWatch]);
            } else if (kind == Member::kLineMonitors) {
                parts.monitors = parsed.value(Member::kMonitors, json::array());
            } else if (kind == Member::kLineProcess && parsed.contains(Member::kProcess)) {
                json& process = parsed[Member::kProcess];
                const auto key =
                    std::make_pair(process.value(Member::kProcessId, 0LL), TextOf(process, Member::kStartedAt));
                const auto known = processIndex.find(key);
                if (known == processIndex.end()) {
                    processIndex[key] = parts.processes.size();
                    parts.processes.push_back(std::move(process));
                } else {
                    parts.processes[known->second] = std::move(process);
                }
            } else if (kind == Member::kLineEnd) {
                ended = true;
                parts.endedAt = CompactString(lastAtText);
                parts.ended = TextOf(parsed, Member::kEnded);
            }
        }
    });
    if (!ended) {
        parts.endedAt = watchRuns ? now : CompactString(lastAtText);
        parts.ended = watchRuns ? std::string() : std::string(Member::kEndedUnexpectedly);
    }
    if (parts.watch.is_object()) {
        parts.watch[Member::kRunning] = !ended && watchRuns;
    }
    for (json& monitor : parts.monitors) {
        monitor[Member::kPicture] = MonitorPictureOf(monitor, parts.windows);
    }
    if (previous != nullptr) {
        parts.gone = CompareEntries(parts.windows, facts, parts.newSinceLastRun, *previous, madeCompact);
    }
    return DumpRecord(std::move(parts));
}

bool RunJournal::Open(const std::wstring& runFolder)
{
    const std::wstring path = runFolder + L"\\" + kRunJournalFileName;
    // Readers (jq, the icon's menu, a later start) may read it while it grows.
    mFile.reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!mFile) {
        (void)MORVANE_FAIL_LAST_ERROR(kRunJournal, TalvexBasic::LastErrorRule::Standard, "CreateFileW error:%u.");
        return false;
    }
    return true;
}

void RunJournal::Append(const std::string& line)
{
    if (!mFile) {
        return;
    }
    DWORD written = 0;
    if ((!::WriteFile(mFile.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
         written != line.size()) &&
        !mFailed) {
        // Told once: a full disk fails every line after.
        mFailed = true;
        (void)MORVANE_FAIL_LAST_ERROR(kRunJournal, TalvexBasic::LastErrorRule::Standard, "WriteFile error:%u.");
    }
}

void RunJournal::Close()
{
    if (mFile) {
        (void)::FlushFileBuffers(mFile.get());
        mFile.reset();
    }
}

void WriteRunFilesFromJournal(const std::wstring& runFolder, bool watchRuns, const std::string& now,
                              const wchar_t* temporarySuffix, const EarlierRun* previous)
{
    std::string journal;
    if (ReadRunFile(runFolder + L"\\" + kRunJournalFileName, journal) != RunFileRead::Read) {
        MORVANE_TRACE_W(kRunJournal, L"%ls: its journal cannot be read.", runFolder.c_str());
        return;
    }
    EarlierRun named;
    if (previous == nullptr) {
        const std::string previousRun = PreviousRunOf(journal);
        std::string text;
        std::string why;
        const std::wstring path = std::wstring(Basic::Paths::FolderPart(runFolder)) + L"\\" +
                                  FromUtf8(previousRun) + L"\\" + kRunRecordFileName;
        if (!previousRun.empty() && ReadRunFile(path, text) == RunFileRead::Read &&
            ReadEarlierRun(text, named, why)) {
            previous = &named;
        }
    }
    WriteRecordAndPage(runFolder, FoldJournal(journal, previous, watchRuns, now), temporarySuffix);
}

void FinishUnendedRuns(const std::wstring& outputDirectory, const std::wstring& runningWatchFolder)
{
    const std::wstring outputFolder(Basic::Paths::FolderPart(outputDirectory));
    for (const std::wstring& name : FoldersIn(outputFolder)) {
        const std::wstring folder = outputFolder + L"\\" + name;
        if (folder == outputDirectory || ::lstrcmpiW(folder.c_str(), runningWatchFolder.c_str()) == 0) {
            continue;
        }
        const std::wstring journalPath = folder + L"\\" + kRunJournalFileName;
        std::string journal;
        if (TailEndsTheRun(ReadTail(journalPath)) || ReadRunFile(journalPath, journal) != RunFileRead::Read) {
            continue;
        }
        const JournalState state = ReadJournalState(journal);
        if (!state.started || state.ended) {
            continue;
        }
        // A watch that runs holds its journal open for writing, and no one else may open it so.
        RunJournal ending;
        if (!ending.Open(folder)) {
            continue;
        }
        WriteRunFilesFromJournal(folder, false, state.lastAt, L".tmp");
        ending.Append(JournalEndLine(state.lastAt, Member::kEndedUnexpectedly));
        ending.Close();
        MORVANE_TRACE_W(kFinishUnendedRuns, L"%ls ended unexpectedly at %ls: its record and page are written from its journal.",
                        folder.c_str(), FromUtf8(state.lastAt).c_str());
    }
}

} // namespace Morvane
