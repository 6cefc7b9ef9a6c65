#include "record/RunJournal.h"

#include "MorvaneTrace.h"
#include "basic/PathParts.h"
#include "record/RecordJson.h"
#include "record/RunFiles.h"
#include "record/RunRecord.h"
#include "record/RunRecordMembers.h"
#include "capture/OutputFileNames.h"
#include "system/HResult.h"

#include <initializer_list>
#include <map>
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
    return line.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
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

// An entry is named by its handle and folder (null for an entry without one).
std::string EntryKey(const json& members)
{
    return TextOf(members, Member::kHandle) + " " + members.value(Member::kFolder, json(nullptr)).dump();
}

// Each line that is a JSON object with its kind, in order; the others are counted. mustHold: when
// given, lines without that text are passed over unparsed.
template <typename Visit>
void ForEachLine(std::string_view journal, unsigned& unread, Visit visit, std::string_view mustHold = {})
{
    size_t begin = 0;
    while (begin < journal.size()) {
        size_t end = journal.find('\n', begin);
        if (end == std::string_view::npos) {
            end = journal.size();
        }
        const std::string_view text = journal.substr(begin, end - begin);
        begin = end + 1;
        if (text.find_first_not_of(" \r\t") == std::string_view::npos ||
            (!mustHold.empty() && text.find(mustHold) == std::string_view::npos)) {
            continue;
        }
        json line = json::parse(text, nullptr, false);
        if (line.is_discarded() || !line.is_object() || !line.contains(Member::kLine)) {
            ++unread;
            continue;
        }
        visit(line);
    }
}

// The earlier run named by the journal's start line, as ReadJournalState gives it; a line that
// holds no "start" cannot be a start line, so the window lines are not parsed for it.
std::string PreviousRunOf(std::string_view journal)
{
    std::string previousRun;
    unsigned unread = 0;
    ForEachLine(
        journal, unread,
        [&](const json& line) {
            if (TextOf(line, Member::kLine) == Member::kLineStart) {
                previousRun = TextOf(line, Member::kPreviousRun);
            }
        },
        "\"start\"");
    return previousRun;
}

// The monitor picture of the first saved entry on that monitor whose monitor picture was written.
json MonitorPictureOf(const json& monitor, const json& windows)
{
    for (const json& entry : windows) {
        const json& result = entry[Member::kResults];
        if (entry[Member::kOutcome] == Member::kSaved && entry[Member::kMonitor] == monitor[Member::kHandle] &&
            result.is_object() && result[Member::kMonitorResult].is_number_integer() &&
            result[Member::kMonitorResult].get<long long>() >= 0) {
            return entry[Member::kFolder].get<std::string>() + "/" + ToUtf8(kMonitorPictureFileName);
        }
    }
    return nullptr;
}

// Marks the saved entries new where the earlier run has no counterpart, as a record written at
// once does, and gives the earlier run's windows left over.
json CompareEntries(json& windows, const EarlierRun& previous)
{
    std::vector<RunWindow> keys;
    std::vector<json*> saved;
    for (json& entry : windows) {
        if (entry[Member::kOutcome] == Member::kSaved) {
            RunWindow key;
            key.imagePath = FromUtf8(entry[Member::kImagePath].get<std::string>());
            key.className = FromUtf8(entry[Member::kClassName].get<std::string>());
            key.caption = FromUtf8(entry[Member::kCaption].get<std::string>());
            keys.push_back(std::move(key));
            saved.push_back(&entry);
        }
    }
    const std::vector<GoneWindow> gone = CompareWithEarlierRun(keys, previous.savedWindows);
    for (size_t index = 0; index < saved.size(); ++index) {
        (*saved[index])[Member::kNewSinceLastRun] = keys[index].newSinceLastRun;
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
    ForEachLine(journal, state.unreadLines, [&](const json& line) {
        const std::string kind = TextOf(line, Member::kLine);
        if (kind == Member::kLineStart) {
            state.started = true;
            state.previousRun = TextOf(line, Member::kPreviousRun);
        } else if (kind == Member::kLineEnd) {
            state.ended = true;
        }
        state.lastAt = TextOf(line, Member::kAt);
    });
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
    std::string lastAt;
    bool ended = false;
    // The latest entry of each window and folder, to which updates apply.
    std::map<std::string, size_t> latest;
    std::map<std::pair<long long, std::string>, size_t> processIndex;
    unsigned unread = 0;
    ForEachLine(journal, unread, [&](json& line) {
        const std::string kind = TextOf(line, Member::kLine);
        lastAt = TextOf(line, Member::kAt);
        if (kind == Member::kLineStart) {
            parts.startedAt = TextOf(line, Member::kStartedAt);
            parts.outputDirectory = TextOf(line, Member::kOutputDirectory);
            parts.computerName = TextOf(line, Member::kComputerName);
            parts.previousRun = line.value(Member::kPreviousRun, json(nullptr));
            parts.watch = line.value(Member::kWatch, json(nullptr));
        } else if (kind == Member::kLineWatch && line.contains(Member::kWatch)) {
            parts.watch = std::move(line[Member::kWatch]);
        } else if (kind == Member::kLineMonitors) {
            parts.monitors = line.value(Member::kMonitors, json::array());
        } else if (kind == Member::kLineWindow && line.contains(Member::kEntry)) {
            latest[EntryKey(line[Member::kEntry])] = parts.windows.size();
            parts.windows.push_back(std::move(line[Member::kEntry]));
        } else if (kind == Member::kLineMonitorPicture || kind == Member::kLineGone) {
            const auto found = latest.find(EntryKey(line));
            if (found == latest.end()) {
                return;
            }
            json& entry = parts.windows[found->second];
            for (const auto& [member, value] : line.items()) {
                if (member != Member::kLine && member != Member::kAt && entry.contains(member)) {
                    entry[member] = value;
                }
            }
        } else if (kind == Member::kLineProcess && line.contains(Member::kProcess)) {
            json& process = line[Member::kProcess];
            const auto key = std::make_pair(process.value(Member::kProcessId, 0LL), TextOf(process, Member::kStartedAt));
            const auto known = processIndex.find(key);
            if (known == processIndex.end()) {
                processIndex[key] = parts.processes.size();
                parts.processes.push_back(std::move(process));
            } else {
                parts.processes[known->second] = std::move(process);
            }
        } else if (kind == Member::kLineEnd) {
            ended = true;
            parts.endedAt = lastAt;
            parts.ended = TextOf(line, Member::kEnded);
        }
    });
    if (!ended) {
        parts.endedAt = watchRuns ? now : lastAt;
        parts.ended = watchRuns ? std::string() : std::string(Member::kEndedUnexpectedly);
    }
    if (parts.watch.is_object()) {
        parts.watch[Member::kRunning] = !ended && watchRuns;
    }
    for (json& monitor : parts.monitors) {
        monitor[Member::kPicture] = MonitorPictureOf(monitor, parts.windows);
    }
    if (previous != nullptr) {
        parts.gone = CompareEntries(parts.windows, *previous);
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
