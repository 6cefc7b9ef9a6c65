#include "record/RunHistory.h"

#include "MorvaneTrace.h"
#include "record/EarlierRecordReader.h"
#include "record/RunRecord.h"
#include "record/RunRecordMembers.h"
#include "capture/OutputFileNames.h"
#include "basic/PathParts.h"
#include "system/FolderListing.h"
#include "system/UniqueResource.h"

#include <algorithm>
#include <map>
#include <utility>

namespace Morvane {
namespace {

using TalvexBasic::UniqueResource;
namespace Member = RecordMember;

constexpr const char* kFindPreviousRun = "Morvane::FindPreviousRun";

// A record larger than this is not one of ours.
constexpr size_t kLargestRecord = 512u * 1024 * 1024;
// Enough for a record's members before its monitors and windows.
constexpr size_t kRecordStartBytes = 16 * 1024;

using FileHolder = UniqueResource<TalvexBasic::FileHandleTraits>;

} // namespace

RunFileRead ReadRunFile(const std::wstring& path, std::string& content)
{
    bool whole = false;
    return ReadRunFileStart(path, kLargestRecord, content, whole);
}

RunFileRead ReadRunFileStart(const std::wstring& path, size_t bytes, std::string& content, bool& whole)
{
    // A running watch appends to its journal meanwhile.
    FileHolder file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? RunFileRead::Missing
                                                                              : RunFileRead::Unreadable;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || static_cast<unsigned long long>(size.QuadPart) > kLargestRecord) {
        return RunFileRead::Unreadable;
    }
    whole = static_cast<unsigned long long>(size.QuadPart) <= bytes;
    content.assign(whole ? static_cast<size_t>(size.QuadPart) : bytes, '\0');
    size_t done = 0;
    while (done < content.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 24));
        if (!::ReadFile(file.get(), content.data() + done, chunk, &read, nullptr) || read == 0) {
            return RunFileRead::Unreadable;
        }
        done += read;
    }
    return RunFileRead::Read;
}

std::vector<std::wstring> FoldersIn(const std::wstring& folder)
{
    std::vector<TalvexBasic::Files::FolderEntry> entries;
    std::vector<std::wstring> names;
    if (SUCCEEDED(TalvexBasic::Files::ListFolder(folder, entries))) {
        for (const TalvexBasic::Files::FolderEntry& entry : entries) {
            if (entry.IsFolder()) {
                names.push_back(entry.mName);
            }
        }
    }
    return names;
}

bool ReadEarlierRun(std::string_view text, EarlierRun& run, std::string& why)
{
    EarlierRecord record;
    if (ReadEarlierRecord(text, EarlierRecordPart::Whole, record, why) != EarlierRecordVerdict::Usable) {
        return false;
    }
    if (!ParseLocalTime(record.startedAt, run.startedAtUtc)) {
        why = "no start time";
        return false;
    }
    run.savedWindows = std::move(record.savedWindows);
    return true;
}

WindowKey KeyOf(const RunWindow& window)
{
    return {ToUtf8(window.imagePath), ToUtf8(window.className), ToUtf8(window.caption)};
}

std::vector<GoneWindow> CompareKeysWithEarlierRun(const std::vector<WindowKey>& keys, std::vector<bool>& isNew,
                                                  const std::vector<WindowKey>& earlierSaved)
{
    std::map<WindowKey, unsigned> unmatched;
    for (const WindowKey& key : earlierSaved) {
        ++unmatched[key];
    }
    isNew.assign(keys.size(), true);
    for (size_t index = 0; index < keys.size(); ++index) {
        const auto match = unmatched.find(keys[index]);
        if (match != unmatched.end() && match->second != 0) {
            isNew[index] = false;
            --match->second;
        }
    }
    std::vector<GoneWindow> gone;
    for (const auto& [key, count] : unmatched) {
        if (count != 0) {
            gone.push_back({key, count});
        }
    }
    return gone;
}

std::vector<GoneWindow> CompareWithEarlierRun(std::vector<RunWindow>& windows,
                                              const std::vector<WindowKey>& earlierSaved)
{
    std::vector<WindowKey> keys;
    std::vector<RunWindow*> saved;
    for (RunWindow& window : windows) {
        if (window.skipReason == SkipReason::None) {
            keys.push_back(KeyOf(window));
            saved.push_back(&window);
        }
    }
    std::vector<bool> isNew;
    std::vector<GoneWindow> gone = CompareKeysWithEarlierRun(keys, isNew, earlierSaved);
    for (size_t index = 0; index < saved.size(); ++index) {
        saved[index]->newSinceLastRun = isNew[index];
    }
    return gone;
}

bool FindPreviousRun(const std::wstring& outputDirectory, EarlierRun& previous)
{
    const std::wstring outputFolder(Basic::Paths::FolderPart(outputDirectory));
    const std::wstring ownName(Basic::Paths::FileNamePart(outputDirectory));
    const auto recordPath = [&](const std::wstring& name) {
        return outputFolder + L"\\" + name + L"\\" + kRunRecordFileName;
    };
    const auto passOver = [&](const std::wstring& name, const std::string& why) {
        MORVANE_TRACE_W(kFindPreviousRun, L"%ls passed over, record %ls.", recordPath(name).c_str(),
                        FromUtf8(why).c_str());
    };
    // The start of each record tells which is the latest; only that one is read whole, the next
    // where it is not usable.
    struct Candidate {
        std::wstring name;
        long long startedAtUtc = 0;
    };
    std::vector<Candidate> candidates;
    for (const std::wstring& name : FoldersIn(outputFolder)) {
        if (name == ownName) {
            continue;
        }
        std::string text;
        std::string why;
        bool whole = false;
        const RunFileRead read = ReadRunFileStart(recordPath(name), kRecordStartBytes, text, whole);
        if (read != RunFileRead::Read) {
            passOver(name, read == RunFileRead::Missing ? "missing" : "unreadable");
            continue;
        }
        EarlierRecord start;
        Candidate candidate{name};
        if (!whole && ReadEarlierRecord(text, EarlierRecordPart::Start, start, why) == EarlierRecordVerdict::Usable &&
            ParseLocalTime(start.startedAt, candidate.startedAtUtc)) {
            candidates.push_back(std::move(candidate));
            continue;
        }
        EarlierRun run;
        if ((whole || ReadRunFile(recordPath(name), text) == RunFileRead::Read) && ReadEarlierRun(text, run, why)) {
            candidates.push_back({name, run.startedAtUtc});
            continue;
        }
        passOver(name, why.empty() ? "unreadable" : why);
    }
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& one, const Candidate& other) {
        return one.startedAtUtc > other.startedAtUtc;
    });
    for (const Candidate& candidate : candidates) {
        std::string text;
        std::string why = "unreadable";
        EarlierRun run;
        if (ReadRunFile(recordPath(candidate.name), text) == RunFileRead::Read && ReadEarlierRun(text, run, why)) {
            run.folderName = candidate.name;
            previous = std::move(run);
            return true;
        }
        passOver(candidate.name, why);
    }
    return false;
}

} // namespace Morvane
